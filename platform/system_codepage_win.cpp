#include <windows.h>

#include "platform/system_codepage.h"

namespace system_codepage {

unsigned ansiCodePage() { return GetACP(); }

bool supports(unsigned codePage) { return IsValidCodePage(codePage) != 0; }

bool decode(unsigned codePage, const std::string& bytes, std::u32string& characters) {
    if (bytes.empty()) return true;
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) return false;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                        static_cast<int>(bytes.size()), &wide[0], length);
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        characters += c;
    }
    return true;
}

bool encode(unsigned codePage, char32_t character, std::string& bytes) {
    wchar_t wide[2] = {static_cast<wchar_t>(character), 0};
    int length = 1;
    if (character >= 0x10000) {
        wide[0] = static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
        wide[1] = static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
        length = 2;
    }
    char out[8];
    BOOL usedDefault = FALSE;
    // No best fit: Windows would otherwise quietly write "L" for "Ł".
    int got = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, length, out, sizeof out,
                                  nullptr, &usedDefault);
    if (got <= 0 || usedDefault) return false;
    bytes.append(out, static_cast<size_t>(got));
    return true;
}

}  // namespace system_codepage
