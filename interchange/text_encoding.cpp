#include "interchange/text_encoding.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "interchange/ascii.h"
#include "interchange/codepage.h"
#include "interchange/utf8.h"

namespace text_encoding {

namespace {

enum class Kind { guess, utf8, utf16, utf16le, utf16be, codePage, unknown };

Kind kindOf(const std::string& name, unsigned& page) {
    const std::string n = asciiUpper(name);
    if (n.empty()) return Kind::guess;
    if (n == "UTF-8" || n == "UTF8") return Kind::utf8;
    if (n == "UTF-16" || n == "UTF16") return Kind::utf16;
    if (n == "UTF-16LE") return Kind::utf16le;
    if (n == "UTF-16BE") return Kind::utf16be;
    for (const char* prefix : {"WINDOWS-", "CP", ""})
        if (n.rfind(prefix, 0) == 0 && n.size() > std::strlen(prefix) &&
            std::isdigit(static_cast<unsigned char>(n[std::strlen(prefix)]))) {
            page = static_cast<unsigned>(std::atoi(n.c_str() + std::strlen(prefix)));
            return codepage::isSupported(page) ? Kind::codePage : Kind::unknown;
        }
    return Kind::unknown;
}

bool startsWith(const std::string& bytes, const char* prefix) {
    return bytes.compare(0, std::strlen(prefix), prefix) == 0;
}

// UTF-16 in the byte order given, without a byte-order mark, as UTF-8.
bool fromUtf16(const std::string& bytes, size_t from, bool bigEndian, std::string& text) {
    if ((bytes.size() - from) % 2) return false;
    text.reserve((bytes.size() - from) / 2 * 3 / 2);
    auto unit = [&](size_t at) {
        auto a = static_cast<unsigned char>(bytes[at]),
             b = static_cast<unsigned char>(bytes[at + 1]);
        return static_cast<char32_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    };
    for (size_t at = from; at < bytes.size(); at += 2) {
        char32_t c = unit(at);
        if (c >= 0xDC00 && c < 0xE000) return false;
        if (c >= 0xD800 && c < 0xDC00) {
            if (at + 3 >= bytes.size()) return false;
            char32_t low = unit(at + 2);
            if (low < 0xDC00 || low >= 0xE000) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        }
        utf8::append(text, c);
    }
    return true;
}

}  // namespace

bool isKnown(const std::string& name) {
    unsigned page = 0;
    return kindOf(name, page) != Kind::unknown;
}

namespace {

// The encoding a file in `name` is read in, told by its start where `name` is empty.
Kind kindOfFile(const std::string& name, const std::string& start, unsigned& page) {
    const Kind kind = kindOf(name, page);
    if (kind != Kind::guess && kind != Kind::utf16) return kind;
    return startsWith(start, "\xFF\xFE")   ? Kind::utf16le
           : startsWith(start, "\xFE\xFF") ? Kind::utf16be
                                           : kind;
}

}  // namespace

bool isTakenAsItIs(const std::string& name, const std::string& start) {
    unsigned page = 0;
    const Kind kind = kindOfFile(name, start, page);
    return kind == Kind::guess || kind == Kind::utf8;
}

bool toUtf8(std::string bytes, const std::string& name, std::string& text, std::string& why) {
    unsigned page = 0;
    const Kind kind = kindOfFile(name, bytes, page);
    const bool littleMark = startsWith(bytes, "\xFF\xFE"), bigMark = startsWith(bytes, "\xFE\xFF");
    switch (kind) {
        case Kind::unknown:
            why = "the encoding " + name + " is not known here";
            return false;
        case Kind::utf16:
            why = "it has no UTF-16 byte-order mark: name UTF-16LE or UTF-16BE";
            return false;
        case Kind::utf16le:
        case Kind::utf16be:
            text.clear();
            if (fromUtf16(bytes, littleMark || bigMark ? 2 : 0, kind == Kind::utf16be, text))
                return true;
            why = "it is not UTF-16 text";
            return false;
        case Kind::codePage:
            return codepage::toUtf8(page, bytes, text) ||
                   (why = "it is not text in code page " + std::to_string(page), false);
        case Kind::guess:
        case Kind::utf8:
            text = std::move(bytes);
            return true;
    }
    return false;
}

}  // namespace text_encoding
