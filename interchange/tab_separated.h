#pragma once

#include <string>

// Text in tab-separated lines, as other programs read it: a tab, a line break
// (CR or LF) and the backslash itself escaped with a backslash, so that a field
// never splits its line or its record.
std::string tabSeparatedField(const std::string& text);
// The inverse: "\t", "\n", "\r" and "\\" back to their bytes; a backslash before
// anything else stands for that character.
std::string fromTabSeparatedField(const std::string& field);
