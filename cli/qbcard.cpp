// qbcard: the Quillborough card file from the command line. It lists, finds and
// checks the entries, and moves them to and from vCard and CSV, through the same
// card-file code as the window program.

#include "cli/command_line.h"

int main(int argc, char** argv) { return runCommandLine(argc, argv); }
