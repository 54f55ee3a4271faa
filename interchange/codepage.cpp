#include "interchange/codepage.h"

#include "interchange/utf8.h"
#include "platform/system_codepage.h"

namespace codepage {

namespace {

// Bytes 0x80 to 0x9F of code page 1252; the rest are Latin-1. The five undefined
// bytes map to the C1 controls of the same value, as Windows maps them.
const char16_t kWestern80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t westernCharacter(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWestern80[byte - 0x80] : byte;
}

int westernByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kWestern80[i] == c) return 0x80 + i;
    return -1;
}

}  // namespace

unsigned defaultCodePage() { return system_codepage::ansiCodePage(); }

bool isSupported(unsigned codePage) {
    return codePage == kWestern || system_codepage::supports(codePage);
}

bool isUndefinedByte(unsigned codePage, unsigned char byte) {
    if (codePage == kWestern)
        return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
    std::u32string text;
    return !system_codepage::decode(codePage, std::string(1, static_cast<char>(byte)), text);
}

bool toUtf8(unsigned codePage, const std::string& bytes, std::string& text) {
    text.clear();
    if (codePage != kWestern) {
        std::u32string decoded;
        if (!system_codepage::decode(codePage, bytes, decoded)) return false;
        for (char32_t c : decoded) utf8::append(text, c);
        return true;
    }
    text.reserve(bytes.size() + bytes.size() / 8);
    for (char byte : bytes) utf8::append(text, westernCharacter(static_cast<unsigned char>(byte)));
    return true;
}

namespace {

// The system converter holds a character exactly when its bytes read back as that
// character: glibc writes U+0340 (a tone mark) in 1258 as the grave accent's byte,
// which reads back as U+0300, and such a substitute is refused like any other.
bool encodeExactly(unsigned codePage, char32_t c, std::string& bytes) {
    const size_t start = bytes.size();
    if (!system_codepage::encode(codePage, c, bytes)) return false;
    std::u32string back;
    if (system_codepage::decode(codePage, bytes.substr(start), back) && back.size() == 1 &&
        back[0] == c)
        return true;
    bytes.resize(start);
    return false;
}

// Converters that combine a letter with the mark after it (1255 and 1258 in glibc)
// read "e" followed by a grave accent back as the one letter "è", which they write
// as another byte. The bytes kept are those of the text as it reads back, so that
// what is stored writes back the same after any number of rounds.
void settle(unsigned codePage, const std::u32string& written, std::string& bytes) {
    std::u32string readBack;
    if (!system_codepage::decode(codePage, bytes, readBack) || readBack == written) return;
    std::string settled;
    for (char32_t c : readBack)
        if (!system_codepage::encode(codePage, c, settled)) return;
    bytes = std::move(settled);
}

}  // namespace

bool fromUtf8(unsigned codePage, const std::string& text, std::string& bytes, char32_t& refused,
              char replacement, size_t* replaced) {
    bytes.clear();
    std::u32string written;  // what the system converter was given, to settle against
    for (size_t at = 0; at < text.size();) {
        char32_t c = utf8::next(text, at);
        bool held = false;
        if (c != utf8::kInvalid) {
            if (codePage == kWestern) {
                int byte = westernByte(c);
                held = byte >= 0;
                if (held) bytes += static_cast<char>(byte);
            } else {
                held = encodeExactly(codePage, c, bytes);
                if (held) written += c;
            }
        }
        if (held) continue;
        if (!replacement) {
            refused = c;
            return false;
        }
        bytes += replacement;
        if (codePage != kWestern) written += static_cast<char32_t>(replacement);
        if (replaced) ++*replaced;
    }
    if (codePage != kWestern) settle(codePage, written, bytes);
    return true;
}

}  // namespace codepage
