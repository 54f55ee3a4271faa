#pragma once

// qbcard's command line: parses the arguments, runs the command they name and
// returns its exit code (see card_commands.h).
int runCommandLine(int argc, const char* const* argv);
