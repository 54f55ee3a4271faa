#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "interchange/contact.h"

// What the fuzzers share: a property that must hold, and contacts compared as the
// card file would store them.

inline void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

// Every line break as "\n", as a contact read from the card file has them.
inline std::string withNewlines(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

inline Contact normalised(Contact contact) {
    for (std::string* field : fieldsOf(contact)) *field = withNewlines(*field);
    contact.line = 0;
    return contact;
}

inline bool sameFields(const Contact& a, const Contact& b) {
    const auto x = fieldsOf(a), y = fieldsOf(b);
    for (int f = 0; f < kFieldCount; ++f)
        if (*x[f] != *y[f]) return false;
    return true;
}
