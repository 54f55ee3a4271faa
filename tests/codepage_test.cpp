#include "interchange/codepage.h"

#include <gtest/gtest.h>

#include "interchange/contact.h"

namespace {

TEST(CodePageTest, Western1252RoundTripsEveryByteAndRefusesWhatItCannotHold) {
    const struct {
        std::string bytes, text;
    } cases[] = {
        {"A", "A"},           {"\x80", "\xE2\x82\xAC"},  // €
        {"\x9F", "\xC5\xB8"},                            // Ÿ
        {"\xE9", "\xC3\xA9"},                            // é
        {"\x81", "\xC2\x81"},  // undefined: the C1 control of the same value
        {"\xFF", "\xC3\xBF"},  // ÿ
    };
    for (const auto& c : cases) {
        std::string text, bytes;
        char32_t refused = 0;
        ASSERT_TRUE(codepage::toUtf8(1252, c.bytes, text));
        EXPECT_EQ(text, c.text);
        ASSERT_TRUE(codepage::fromUtf8(1252, c.text, bytes, refused));
        EXPECT_EQ(bytes, c.bytes);
    }
    EXPECT_TRUE(codepage::isUndefinedByte(1252, 0x9D));
    EXPECT_FALSE(codepage::isUndefinedByte(1252, 0x9C));

    std::string bytes;
    char32_t refused = 0;
    EXPECT_FALSE(codepage::fromUtf8(1252, "\xC5\x81ukasz", bytes, refused));  // Ł, never "L"
    EXPECT_EQ(refused, U'\u0141');
    size_t replaced = 0;
    EXPECT_TRUE(codepage::fromUtf8(1252, "\xC5\x81ukasz", bytes, refused, '?', &replaced));
    EXPECT_EQ(bytes, "?ukasz");
    EXPECT_EQ(replaced, 1u);
}

// A converter with a shift state holds back the last letter, waiting for a mark that
// might combine with it, until it is told the text has ended.
TEST(CodePageTest, CodePagesThatCombineLettersKeepTheLastOne) {
    for (unsigned page : {1255u, 1258u, 1250u}) {
        std::string text, bytes;
        char32_t refused = 0;
        ASSERT_TRUE(codepage::toUtf8(page, "Anna", text)) << page;
        EXPECT_EQ(text, "Anna") << page;
        ASSERT_TRUE(codepage::fromUtf8(page, "Anna", bytes, refused)) << page;
        EXPECT_EQ(bytes, "Anna") << page;
    }
}

// What is stored reads back and writes back the same bytes: a mark the converter
// composes with the letter before it, and a character it would write as another.
TEST(CodePageTest, StoredTextWritesBackTheSameBytes) {
    const struct {
        unsigned page;
        std::string text;
    } cases[] = {
        {1258, "INTBENARe\xCD\x80"},  // U+0340, which glibc writes as U+0300
        {1258, "e\xCC\x80"},          // e, combining grave: reads back as è
        {1258, "a\xCD\x81z"},         // U+0341, written as U+0301
        {1258, "\xC6\xA0\xCC\x83"},   // Ơ with a tilde
        {1255, "\xD7\xA9\xD7\x81"},   // shin with its dot
    };
    for (const auto& c : cases) {
        std::string first, text, second;
        char32_t refused = 0;
        ASSERT_TRUE(codepage::fromUtf8(c.page, c.text, first, refused, '?')) << c.text;
        ASSERT_TRUE(codepage::toUtf8(c.page, first, text)) << c.text;
        ASSERT_TRUE(codepage::fromUtf8(c.page, text, second, refused, '?')) << c.text;
        EXPECT_EQ(second, first) << c.text;
    }
    std::string bytes;
    char32_t refused = 0;
    EXPECT_FALSE(codepage::fromUtf8(1258, "e\xCD\x80", bytes, refused));  // no substitute
    EXPECT_EQ(refused, U'\u0340');
}

TEST(CodePageTest, AnEntryIsRefusedForACharacterTheCardFileCannotStore) {
    const struct {
        std::string lastName;
        bool lossy;
        std::string stored, why;
    } cases[] = {
        {"Dub\xC3\xA9\nX", false, "Dub\xE9\r\nX", ""},
        {"Novotn\xC3\xBD", false, "",
         "Last Name holds \"\xC3\xBD\" (U+00FD), which the card file cannot store"},
        {"\xC5\x81"
         "a",
         false, "", "Last Name holds \"\xC5\x81\" (U+0141), which code page 1252 cannot hold"},
        {"Novotn\xC3\xBD", true, "Novotn?", ""},
    };
    for (const auto& c : cases) {
        Contact contact;
        contact.lastName = c.lastName;
        Entry entry;
        std::string why;
        size_t replaced = 0;
        EXPECT_EQ(entryOf(contact, 1252, c.lossy, entry, why, replaced), c.why.empty());
        EXPECT_EQ(why, c.why);
        if (c.why.empty()) {
            EXPECT_EQ(entry.lastName, c.stored);
        }
    }
}

}  // namespace
