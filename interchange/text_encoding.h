#pragma once

#include <string>

// The encodings an interchange file may come in, all read as UTF-8.
namespace text_encoding {

// The UTF-8 text of a file's bytes in the encoding `name`: empty to tell by the
// bytes (UTF-16 when they start with its byte-order mark, otherwise UTF-8), "UTF-8",
// "UTF-16" (with a byte-order mark), "UTF-16LE", "UTF-16BE", or a code page such as
// "1252", "cp1252" or "windows-1252". False, with `why` set, for an encoding this
// program does not know or bytes that are not in it.
bool toUtf8(std::string bytes, const std::string& name, std::string& text, std::string& why);

// Whether toUtf8 takes a file in the encoding `name` that starts with `start` as
// it is, UTF-8 already, so that its bytes can be read a piece at a time.
bool isTakenAsItIs(const std::string& name, const std::string& start);

// Whether `name` names an encoding toUtf8 knows.
bool isKnown(const std::string& name);

}  // namespace text_encoding
