#pragma once

#include <string>

// The card file holds 8-bit code-page bytes; vCard and CSV hold UTF-8. Code page
// 1252 is converted by a table of our own, so that every build gives the same
// bytes; other code pages by the system's converter (iconv, or Windows' own).
namespace codepage {

constexpr unsigned kWestern = 1252;

// 1252 on POSIX; the system's ANSI code page on Windows.
unsigned defaultCodePage();

bool isSupported(unsigned codePage);

// The byte is not assigned a character in the code page (in 1252: 0x81, 0x8D,
// 0x8F, 0x90 and 0x9D). Such bytes still convert, to the C1 control of that value.
bool isUndefinedByte(unsigned codePage, unsigned char byte);

// The UTF-8 text of code-page bytes. False when the code page is not supported.
bool toUtf8(unsigned codePage, const std::string& bytes, std::string& text);

// The code-page bytes of UTF-8 text. A character that the code page cannot hold is
// refused: false, with `refused` set to it, unless `replacement` is given, which
// then stands in for it (counted in `replaced`). Never a best-fit substitute.
bool fromUtf8(unsigned codePage, const std::string& text, std::string& bytes, char32_t& refused,
              char replacement = 0, size_t* replaced = nullptr);

}  // namespace codepage
