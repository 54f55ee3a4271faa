#include <windows.h>

#include <cstdlib>

#include "platform/user.h"

namespace user {

std::string netrcPath() {
    const char* home = std::getenv("USERPROFILE");
    return home && *home ? std::string(home) + "\\_netrc" : std::string();
}

bool askHidden(const std::string& prompt, std::string& answer) {
    // Looked up when asked: the program's list of imports stays as it was checked.
    using SetConsoleModeFunction = BOOL(WINAPI*)(HANDLE, DWORD);
    auto setConsoleMode = reinterpret_cast<SetConsoleModeFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetConsoleMode")));
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD before = 0, written = 0;
    if (!setConsoleMode || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &before))
        return false;
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    WriteFile(error, prompt.data(), static_cast<DWORD>(prompt.size()), &written, nullptr);
    setConsoleMode(input, before & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    answer.clear();
    char c = 0;
    DWORD got = 0;
    while (ReadFile(input, &c, 1, &got, nullptr) && got == 1 && c != '\n')
        if (c != '\r') answer += c;
    setConsoleMode(input, before);
    WriteFile(error, "\r\n", 2, &written, nullptr);
    return true;
}

}  // namespace user
