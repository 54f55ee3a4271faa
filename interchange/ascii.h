#pragma once

#include <cctype>
#include <string>

// Upper case for the ASCII letters of names and keywords (property and parameter
// names, encodings), whatever the locale; other bytes stay as they are.
inline std::string asciiUpper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}
