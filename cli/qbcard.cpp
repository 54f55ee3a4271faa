// qbcard: the Quillborough card file from the command line. It lists, finds and
// checks the entries, and moves them to and from vCard and CSV, through the same
// card-file code as the window program.

#include <cstdio>

#include "cli/card_commands.h"
#include "cli/command_line.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    int exitCode = runCommandLine(argc, argv);
    // The last error standard output can give is its close's.
    if (std::fclose(stdout) != 0 && exitCode != kNothingDone) {
        console::error("qbcard: standard output: cannot be written\n");
        return kNothingDone;
    }
    return exitCode;
}
