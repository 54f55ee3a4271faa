#include <windows.h>

#include <string>

#include "platform/console.h"

namespace console {

namespace {

DWORD firstOutputError = 0;  // of a write to standard output

void write(DWORD which, const std::string& utf8) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0, written = 0;
    if (utf8.empty() || handle == INVALID_HANDLE_VALUE) return;
    if (!GetConsoleMode(handle, &mode)) {
        if ((!WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) ||
             written != utf8.size()) &&
            which == STD_OUTPUT_HANDLE && !firstOutputError)
            firstOutputError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
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

bool readInput(std::string& bytes) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == INVALID_HANDLE_VALUE) return false;
    char buffer[1 << 16];
    bytes.clear();
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(input, buffer, sizeof buffer, &got, nullptr))
            return GetLastError() == ERROR_BROKEN_PIPE;  // the writer has closed its end
        if (got == 0) return true;
        bytes.append(buffer, got);
    }
}

int outputColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;  // the window, not the buffer
}

bool isOwnConsole() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void waitForEnter() {
    // A console in line mode hands a read nothing until Enter.
    char line[256];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), line, sizeof line, &got, nullptr) && got > 0 &&
           line[got - 1] != '\n') {
    }
}

bool flushOutput(std::string& why) {
    if (!firstOutputError) return true;
    why = firstOutputError == ERROR_DISK_FULL || firstOutputError == ERROR_HANDLE_DISK_FULL
              ? "the disk is full"
          : firstOutputError == ERROR_NO_DATA || firstOutputError == ERROR_BROKEN_PIPE
              ? "the pipe is closed"
              : "Windows error " + std::to_string(firstOutputError);
    return false;
}

}  // namespace console
