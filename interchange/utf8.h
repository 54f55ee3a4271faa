#pragma once

#include <string>

// UTF-8, the text of vCard and CSV files, a code point at a time.
namespace utf8 {

constexpr char32_t kInvalid = 0xFFFFFFFF;

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// Where the text begins after a byte-order mark: 3 when it starts with one, else 0.
size_t afterByteOrderMark(const std::string& text);

// The code point that starts at `at`, moving `at` past it; kInvalid (and one byte
// on) for a byte that does not start a well-formed sequence.
char32_t next(const std::string& text, size_t& at);

void append(std::string& text, char32_t codePoint);

bool isValid(const std::string& text);

// Letters without case, for searching: the Latin letters of Unicode's first blocks.
std::string folded(const std::string& text);

// Text to search in: letters without case and without accents (Dubé and DUBE
// both give dube; ß gives ss, æ ae, œ oe).
std::string matchKey(const std::string& text);

// How many code points: the columns a table gives the text.
size_t length(const std::string& text);

// "U+0141" for a code point.
std::string name(char32_t codePoint);

}  // namespace utf8
