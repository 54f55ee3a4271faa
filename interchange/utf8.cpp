#include "interchange/utf8.h"

#include <cstdio>

namespace utf8 {

char32_t next(const std::string& text, size_t& at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || at + length > text.size()) {
        ++at;
        return kInvalid;
    }
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kInvalid;
        }
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[length] || (value >= 0xD800 && value < 0xE000) || value > 0x10FFFF) {
        ++at;
        return kInvalid;
    }
    at += length;
    return value;
}

void append(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isValid(const std::string& text) {
    for (size_t at = 0; at < text.size();)
        if (next(text, at) == kInvalid) return false;
    return true;
}

namespace {

char32_t foldedLetter(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // Latin-1, but for ×
    // Latin Extended-A pairs its capitals and small letters as even and odd...
    if (c >= 0x100 && c <= 0x137) return c | 1;
    if (c >= 0x14A && c <= 0x177) return c | 1;
    // ...and here as odd and even.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;  // Ÿ
    return c;
}

// The text with each code point given to `put`, which appends what stands for it;
// a byte that starts no well-formed sequence is kept as it is.
template <typename Put>
std::string eachCodePoint(const std::string& text, Put put) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t start = at;
        char32_t c = next(text, at);
        if (c == kInvalid)
            out.append(text, start, at - start);
        else
            put(out, c);
    }
    return out;
}

// The base letters of U+00C0 to U+017F in small letters; "." where there is none.
constexpr const char kBaseLetters[] =
    "aaaaaa.ceeeeiiiidnooooo.ouuuuy.."  // U+00C0
    "aaaaaa.ceeeeiiiidnooooo.ouuuuy.y"  // U+00E0
    "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiii..jjkk.llllllllllnnnnnn..."
    "oooooo..rrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzzs";

}  // namespace

std::string folded(const std::string& text) {
    return eachCodePoint(text, [](std::string& out, char32_t c) { append(out, foldedLetter(c)); });
}

std::string matchKey(const std::string& text) {
    return eachCodePoint(text, [](std::string& out, char32_t c) {
        c = foldedLetter(c);
        if (c == 0xDF)
            out += "ss";
        else if (c == 0xE6)
            out += "ae";
        else if (c == 0x153)
            out += "oe";
        else if (c >= 0xC0 && c <= 0x17F && kBaseLetters[c - 0xC0] != '.')
            out += kBaseLetters[c - 0xC0];
        else
            append(out, c);
    });
}

size_t length(const std::string& text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); ++count) next(text, at);
    return count;
}

std::string name(char32_t codePoint) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04lX", static_cast<unsigned long>(codePoint));
    return text;
}

size_t afterByteOrderMark(const std::string& text) {
    return text.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
}

}  // namespace utf8
