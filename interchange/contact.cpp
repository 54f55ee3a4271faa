#include "interchange/contact.h"

#include <cctype>
#include <cstdio>

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

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The text of a field's bytes. A byte the code page does not define becomes U+FFFD,
// and the first such byte is kept in `undefined` (-1 when there is none). A byte
// that only a second one makes a character (double-byte code pages) is tried with it.
std::string textOf(const std::string& field, unsigned codePage, int& undefined) {
    const std::string bytes = withLineBreaks(field, "\n");
    std::string text;
    undefined = -1;
    if (codepage::toUtf8(codePage, bytes, text)) return text;
    text.clear();
    for (size_t at = 0; at < bytes.size();) {
        std::string piece;
        size_t taken = 0;
        for (size_t size = 1; size <= 2 && !taken && at + size <= bytes.size(); ++size)
            if (codepage::toUtf8(codePage, bytes.substr(at, size), piece)) taken = size;
        if (!taken) {
            if (undefined < 0) undefined = static_cast<unsigned char>(bytes[at]);
            utf8::append(piece, kReplacementCharacter);
            taken = 1;
        }
        text += piece;
        at += taken;
    }
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

std::string cardNameOf(const Contact& c) {
    const std::string name = fullNameOf(c);
    return name.empty() ? kNoName : name;
}

std::string joinAddress(const AddressParts& parts) {
    const std::string place = [&] {
        std::string line = parts.locality;
        for (const std::string* part : {&parts.region, &parts.postalCode})
            if (!part->empty()) line += (line.empty() ? "" : " ") + *part;
        return line;
    }();
    std::string address;
    for (const std::string* line :
         {&parts.poBox, &parts.extended, &parts.street, &place, &parts.country})
        if (!line->empty()) address += (address.empty() ? "" : "\n") + *line;
    return address;
}

std::string sexFromText(const std::string& text) {
    if (!text.empty() && text[0] == ';') return text.substr(1);
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "male" || lower == "m") return kMale;
    if (lower == "female" || lower == "f") return kFemale;
    if (lower == "unspecified" || lower == "unknown") return "";
    return text;
}

std::string sexToWrite(const std::string& sex) { return sexFromText(sex) == sex ? sex : ";" + sex; }

void takeFullName(const std::string& fullName, Contact& contact) {
    size_t space = fullName.rfind(' ');
    contact.firstName = space == std::string::npos ? "" : fullName.substr(0, space);
    contact.lastName = space == std::string::npos ? fullName : fullName.substr(space + 1);
}

bool contactOf(const Entry& entry, unsigned codePage, Contact& contact, std::string& why) {
    const auto from = fieldsOf(entry);
    const auto to = fieldsOf(contact);
    why.clear();
    for (int field = 0; field < kFieldCount; ++field) {
        int undefined = -1;
        *to[field] = textOf(*from[field], codePage, undefined);
        if (undefined < 0 || !why.empty()) continue;
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(undefined));
        why = std::string(kFieldLabels[field]) + " holds the byte " + byte + ", which code page " +
              std::to_string(codePage) + " does not define";
    }
    return why.empty();
}

Contact contactOf(const Entry& entry, unsigned codePage) {
    Contact contact;
    std::string why;
    contactOf(entry, codePage, contact, why);
    return contact;
}

bool entryOf(const Contact& contact, unsigned codePage, bool lossy, Entry& entry, std::string& why,
             size_t& replaced) {
    const auto from = fieldsOf(contact);
    const auto to = fieldsOf(entry);
    for (int field = 0; field < kFieldCount; ++field) {
        // Contacts may hold CR LF or a lone CR (a quoted-printable =0D=0A, for one):
        // every line break is stored as the one CR LF the form stores.
        const std::string text = withLineBreaks(*from[field], "\n");
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
