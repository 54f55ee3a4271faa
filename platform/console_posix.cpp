#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/console.h"

namespace console {

namespace {
int firstError = 0;  // of a write to standard output
}

void out(const std::string& utf8) {
    if (std::fwrite(utf8.data(), 1, utf8.size(), stdout) != utf8.size() && !firstError)
        firstError = errno ? errno : EIO;
}

void error(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stderr); }

bool readInput(std::string& bytes) {
    char buffer[1 << 16];
    bytes.clear();
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
        bytes.append(buffer, got);
    return !std::ferror(stdin);
}

int outputColumns() {
    winsize size{};
    return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool isOwnConsole() { return false; }  // a terminal outlives the programs it runs

void waitForEnter() {
    for (int c = std::getchar(); c != '\n' && c != EOF;) c = std::getchar();
}

bool flushOutput(std::string& why) {
    if (std::fflush(stdout) != 0 && !firstError) firstError = errno ? errno : EIO;
    if (!firstError && !std::ferror(stdout)) return true;
    why = std::strerror(firstError ? firstError : EIO);
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    return false;
}

}  // namespace console
