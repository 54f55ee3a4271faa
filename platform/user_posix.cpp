#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/user.h"

namespace user {

std::string netrcPath() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.netrc" : std::string();
}

bool askHidden(const std::string& prompt, std::string& answer) {
    if (!::isatty(STDIN_FILENO)) return false;
    struct termios before, quiet;
    if (::tcgetattr(STDIN_FILENO, &before) != 0) return false;
    quiet = before;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    answer.clear();
    for (int c; (c = std::getchar()) != EOF && c != '\n';) answer += static_cast<char>(c);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
    std::fputs("\n", stderr);
    return true;
}

}  // namespace user
