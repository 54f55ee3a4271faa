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

// The width, in columns, of the console or terminal standard output shows in; 0 when
// it goes elsewhere or its width cannot be told.
int outputColumns();

// Whether the console belongs to this program alone: Windows made it for a program
// started by a double-click, and closes it, text and all, as soon as it ends.
bool isOwnConsole();

// Waits until the user presses Enter (or standard input ends).
void waitForEnter();

// Writes out what standard output still holds. False, with `why` set, when that or
// any earlier write to it failed (a full disk, a closed pipe).
bool flushOutput(std::string& why);

}  // namespace console
