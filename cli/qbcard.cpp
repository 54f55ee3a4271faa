// qbcard: the Quillborough card file from the command line. It lists, finds and
// checks the entries, and moves them to and from vCard and CSV, through the same
// card-file code as the window program.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/card_commands.h"
#include "cli/command_line.h"
#include "interchange/codepage.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    // Started by a double-click, the console would close with the usage unread.
    if (argc == 1 && console::isOwnConsole()) {
        console::error(
            "qbcard is a command-line program: open a command prompt in this folder and type "
            "qbcard with a command.\n\n");
        const char* help[] = {"qbcard", "--help"};
        runCommandLine(2, help);
        console::out("\nPress Enter to close this window.");
        std::fflush(stdout);
        console::waitForEnter();
        return kNothingDone;
    }
    std::vector<std::string> arguments(argv, argv + argc);
#ifdef _WIN32
    // Windows hands a console program its arguments in the ANSI code page; within,
    // text and paths are UTF-8.
    for (std::string& argument : arguments) {
        std::string utf8Text;
        if (codepage::toUtf8(codepage::defaultCodePage(), argument, utf8Text)) argument = utf8Text;
    }
#endif
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    int exitCode = runCommandLine(argc, pointers.data());
    // The last error standard output can give is its close's.
    if (std::fclose(stdout) != 0 && exitCode != kNothingDone) {
        complain("standard output: cannot be written");
        return kNothingDone;
    }
    return exitCode;
}
