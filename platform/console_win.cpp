#include <windows.h>

#include "platform/console.h"

namespace console {

namespace {

void write(DWORD which, const std::string& utf8) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0, written = 0;
    if (utf8.empty() || handle == INVALID_HANDLE_VALUE) return;
    if (!GetConsoleMode(handle, &mode)) {
        WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        return;
    }
    int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

}  // namespace

void out(const std::string& utf8) { write(STD_OUTPUT_HANDLE, utf8); }

void error(const std::string& utf8) { write(STD_ERROR_HANDLE, utf8); }

}  // namespace console
