#include "interchange/text_encoding.h"

#include <gtest/gtest.h>

namespace {

// The bytes of a literal, zero bytes included.
template <size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

TEST(TextEncodingTest, ReadsWhatItIsToldOrWhatTheByteOrderMarkSays) {
    const struct {
        std::string bytes, encoding, text;
        bool ok;
    } cases[] = {
        {"Ren\xC3\xA9"
         "e",
         "",
         "Ren\xC3\xA9"
         "e",
         true},
        {bytes("\xFF\xFE"
               "A\0\xE9\0"),
         "", "A\xC3\xA9", true},  // UTF-16LE by its mark
        {bytes("\xFE\xFF\0A\xD8\x3D\xDE\x00"), "", "A\xF0\x9F\x98\x80", true},  // UTF-16BE, a pair
        {bytes("A\0"), "UTF-16LE", "A", true},
        {bytes("A\0"), "UTF-16", "", false},       // no mark, no byte order
        {bytes("\xFF\xFE\0\xDC"), "", "", false},  // a lone low surrogate
        {"Ren\xE9"
         "e",
         "1252",
         "Ren\xC3\xA9"
         "e",
         true},
        {"Ren\xE9"
         "e",
         "windows-1252",
         "Ren\xC3\xA9"
         "e",
         true},
        {"x", "ebcdic", "", false},
    };
    for (const auto& c : cases) {
        std::string text, why;
        EXPECT_EQ(text_encoding::toUtf8(c.bytes, c.encoding, text, why), c.ok) << c.encoding;
        if (c.ok) {
            EXPECT_EQ(text, c.text) << c.encoding;
        }
        EXPECT_EQ(why.empty(), c.ok) << c.encoding;
    }
}

}  // namespace
