#pragma once

#include <string>

// Standard output and error for UTF-8 text. A Windows console is written in UTF-16,
// so that every character shows whatever its code page; a file or a pipe, and every
// POSIX terminal, gets the UTF-8 bytes as they are.
namespace console {

void out(const std::string& utf8);
void error(const std::string& utf8);

// All of standard input, byte for byte; false when it cannot be read.
bool readInput(std::string& bytes);

// Writes out what standard output still holds. False, with `why` set, when that or
// any earlier write to it failed (a full disk, a closed pipe).
bool flushOutput(std::string& why);

}  // namespace console
