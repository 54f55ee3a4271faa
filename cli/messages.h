#pragma once

#include <string>

// What qbcard says on standard error, and the exit codes it ends with: one place
// for the words every command shares.

// 0 all done, 1 done with rejected records or findings, 2 nothing done (with a
// one-line message on standard error naming the file).
enum ExitCode { kDone = 0, kDoneWithFindings = 1, kNothingDone = 2 };

// "qbcard: " and the message: how every line qbcard says begins.
std::string prefixed(const std::string& message);

// Says a message on standard error, prefixed, as one line.
void complain(const std::string& message);

// Says what failed on which file; returns kNothingDone.
int fail(const std::string& file, const std::string& message);
