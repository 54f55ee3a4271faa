#include "platform/utf16_win.h"

#include <windows.h>

std::wstring utf16Of(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], length);
    return out;
}

std::string utf8Of(const wchar_t* text, size_t size) {
    if (!text || size == 0) return std::string();
    int length =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), &out[0], length, nullptr,
                        nullptr);
    return out;
}
