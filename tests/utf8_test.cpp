#include "interchange/utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8Test, DecodesWellFormedSequencesAndRefusesTheRest) {
    const struct {
        std::string text;
        std::u32string codePoints;  // utf8::kInvalid for each byte refused
    } cases[] = {
        {"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", {'A', 0xE9, 0x20AC, 0x1F600}},
        {"\xC0\xAF", {utf8::kInvalid, utf8::kInvalid}},                      // overlong
        {"\xED\xA0\x80", {utf8::kInvalid, utf8::kInvalid, utf8::kInvalid}},  // a surrogate
        {"\xF4\x90\x80\x80", {utf8::kInvalid, utf8::kInvalid, utf8::kInvalid, utf8::kInvalid}},
        {"\xE2\x82", {utf8::kInvalid, utf8::kInvalid}},  // cut short
        {"\x80", {utf8::kInvalid}},
    };
    for (const auto& c : cases) {
        std::u32string got;
        for (size_t at = 0; at < c.text.size();) got += utf8::next(c.text, at);
        EXPECT_EQ(got, c.codePoints) << c.text;
        EXPECT_EQ(utf8::isValid(c.text), c.codePoints.find(utf8::kInvalid) == std::u32string::npos);
        if (!utf8::isValid(c.text)) continue;
        std::string again;
        for (char32_t code : c.codePoints) utf8::append(again, code);
        EXPECT_EQ(again, c.text);
    }
}

TEST(Utf8Test, FoldsLatinLettersCountsCodePointsAndNamesThem) {
    EXPECT_EQ(utf8::folded("ÀÉÎ×Ÿ ŁĄŽ Abc"), "àéî×ÿ łąž abc");
    EXPECT_EQ(utf8::folded("a\xFF"), "a\xFF");  // an invalid byte is kept as it is
    EXPECT_EQ(utf8::matchKey("Dubé ŁÓDŹ Straße Œuvre Æ"), "dube lodz strasse oeuvre ae");
    EXPECT_EQ(utf8::length("Dubé€"), 5u);
    EXPECT_EQ(utf8::name(0x141), "U+0141");
    EXPECT_EQ(utf8::name(0x1F600), "U+1F600");
    EXPECT_EQ(utf8::afterByteOrderMark("\xEF\xBB\xBFx"), 3u);
    EXPECT_EQ(utf8::afterByteOrderMark("\xEF\xBBx"), 0u);
}

}  // namespace
