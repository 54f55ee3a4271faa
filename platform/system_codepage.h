#pragma once

#include <string>

// The system's converter between code-page bytes and characters: iconv on POSIX,
// Windows' own on Windows. Used for every code page but 1252, which has a table of
// our own so that both builds give the same bytes.
namespace system_codepage {

// 1252 on POSIX, where there is no such setting; the ANSI code page on Windows.
unsigned ansiCodePage();

bool supports(unsigned codePage);

// False when a byte sequence is not a character of the code page.
bool decode(unsigned codePage, const std::string& bytes, std::u32string& characters);

// Appends the bytes of one character; false, appending nothing, when the code page
// cannot hold it exactly (no best-fit substitute).
bool encode(unsigned codePage, char32_t character, std::string& bytes);

}  // namespace system_codepage
