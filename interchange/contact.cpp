#include "interchange/contact.h"

#include "data/card_codec.h"
#include "interchange/codepage.h"
#include "interchange/utf8.h"

namespace {

std::string withLineBreaks(const std::string& text, const char* lineBreak) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out += lineBreak;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string textOf(const std::string& bytes, unsigned codePage) {
    std::string text;
    codepage::toUtf8(codePage, withLineBreaks(bytes, "\n"), text);
    return text;
}

std::string describe(char32_t c) {
    std::string text = "\"";
    utf8::append(text, c);
    return text + "\" (" + utf8::name(c) + ")";
}

}  // namespace

std::string fullNameOf(const Contact& c) {
    std::string name;
    for (const std::string* part : {&c.firstName, &c.middleName, &c.lastName}) {
        if (part->empty()) continue;
        if (!name.empty()) name += ' ';
        name += *part;
    }
    return name;
}

void takeFullName(const std::string& fullName, Contact& contact) {
    size_t space = fullName.rfind(' ');
    contact.firstName = space == std::string::npos ? "" : fullName.substr(0, space);
    contact.lastName = space == std::string::npos ? fullName : fullName.substr(space + 1);
}

Contact contactOf(const Entry& entry, unsigned codePage) {
    Contact contact;
    const auto from = fieldsOf(entry);
    const auto to = fieldsOf(contact);
    for (int field = 0; field < kFieldCount; ++field) *to[field] = textOf(*from[field], codePage);
    return contact;
}

bool entryOf(const Contact& contact, unsigned codePage, bool lossy, Entry& entry, std::string& why,
             size_t& replaced) {
    const auto from = fieldsOf(contact);
    const auto to = fieldsOf(entry);
    for (int field = 0; field < kFieldCount; ++field) {
        const std::string& text = *from[field];
        if (!utf8::isValid(text)) {
            why = std::string(kFieldLabels[field]) + " is not UTF-8 text";
            return false;
        }
        // Characters the card file cannot store are refused like those the code page
        // cannot hold: each is checked on its own, so that it can be named.
        std::string bytes;
        for (size_t at = 0; at < text.size();) {
            size_t start = at;
            char32_t c = utf8::next(text, at);
            if (c == '\n') {
                bytes += "\r\n";
                continue;
            }
            std::string encoded;
            char32_t refused = 0;
            bool held =
                codepage::fromUtf8(codePage, text.substr(start, at - start), encoded, refused);
            bool storable = held && firstUnstorableByte(encoded) < 0;
            if (storable) {
                bytes += encoded;
                continue;
            }
            if (lossy) {
                bytes += '?';
                ++replaced;
                continue;
            }
            why = std::string(kFieldLabels[field]) + " holds " + describe(c) + ", which " +
                  (held ? "the card file cannot store"
                        : "code page " + std::to_string(codePage) + " cannot hold");
            return false;
        }
        *to[field] = bytes;
    }
    return true;
}
