#include "sync/card_patch.h"

#include <vector>

#include "interchange/ascii.h"
#include "interchange/vcard.h"

namespace cardsync {

namespace {

using vcard::ContentLine;
using Lines = std::vector<ContentLine>;

// The address the card file holds: preferred, else home, else the first.
int mappedAddress(const Lines& lines) {
    int first = -1, home = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].name != "ADR") continue;
        if (lines[i].has("PREF")) return static_cast<int>(i);
        if (home < 0 && lines[i].has("HOME")) home = static_cast<int>(i);
        if (first < 0) first = static_cast<int>(i);
    }
    return home >= 0 ? home : first;
}

int firstNamed(const Lines& lines, const std::string& name) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].name == name) return static_cast<int>(i);
    return -1;
}

bool isGender(const std::string& name) { return name == "GENDER" || name == "X-GENDER"; }

// The text of a LABEL line (vCard 3.0's address as printed), read as the vCard
// reader reads it.
std::string labelText(const ContentLine& label) {
    ContactsRead read =
        vcard::read("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:-\r\n" + label.text + "\r\nEND:VCARD\r\n");
    return read.contacts.size() == 1 ? read.contacts[0].address : std::string();
}

// Splits at `separator` where it is neither escaped nor inside quotes.
std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') quoted = !quoted;
        if (c == '\\' && i + 1 < text.size()) {
            parts.back() += text.substr(i++, 2);
            continue;
        }
        if (c == separator && !quoted)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// The group, name and parameters of a line; a LABEL parameter (the address as
// text, in 4.0) left out, since it would no longer match a changed address.
std::string headOf(const ContentLine& line) {
    std::string head = line.head();
    for (const std::string& parameter : line.parameters()) {
        // The new value is plain UTF-8 text: vCard 2.1's encoding and character set,
        // which described the old one, would misread it.
        const std::string name = asciiUpper(parameter.substr(0, parameter.find('=')));
        if (!parameter.empty() && name != "LABEL" && name != "ENCODING" && name != "CHARSET" &&
            name != "QUOTED-PRINTABLE")
            head += ";" + parameter;
    }
    return head;
}

// The new names, with the server's honorific prefixes and suffixes kept.
std::string namesValue(const Lines& lines, const std::string& written) {
    std::vector<std::string> ours = split(written, ';');
    int at = firstNamed(lines, "N");
    if (at >= 0) {
        std::vector<std::string> theirs = split(lines[static_cast<size_t>(at)].value(), ';');
        for (size_t i = 3; i < theirs.size() && i < ours.size(); ++i) ours[i] = theirs[i];
    }
    std::string value;
    for (size_t i = 0; i < ours.size(); ++i) value += (i ? ";" : "") + ours[i];
    return value;
}

}  // namespace

bool readServerCard(const std::string& card, Contact& contact, std::string& why) {
    Lines lines = vcard::contentLines(card);
    std::string owned = "BEGIN:VCARD\r\n";
    // ORG names a card whose N and FN hold no name, as on both sides.
    for (const char* name : {"VERSION", "N", "FN", "ORG"}) {
        int at = firstNamed(lines, name);
        if (at >= 0) owned += lines[static_cast<size_t>(at)].text + "\r\n";
    }
    int address = mappedAddress(lines);
    if (address >= 0) owned += lines[static_cast<size_t>(address)].text + "\r\n";
    for (const ContentLine& line : lines)
        if (isGender(line.name) || line.name == "X-WAB-GENDER") owned += line.text + "\r\n";
    owned += "END:VCARD\r\n";
    ContactsRead read = vcard::read(owned);
    if (read.contacts.size() != 1) {
        why = read.problems.empty() ? "not a vCard" : read.problems[0].reason;
        return false;
    }
    contact = read.contacts[0];
    contact.line = 0;
    return true;
}

bool holdsMoreThanTheCardFile(const std::string& card) {
    static const char* const kBookkeeping[] = {
        "BEGIN",    "END",          "VERSION", "UID",    "N",   "FN", "GENDER",
        "X-GENDER", "X-WAB-GENDER", "LABEL",   "PRODID", "REV", ""};
    Lines lines = vcard::contentLines(card);
    const int address = mappedAddress(lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (static_cast<int>(i) == address) continue;
        bool kept = false;
        for (const char* name : kBookkeeping) kept = kept || lines[i].name == name;
        if (!kept) return true;
    }
    return false;
}

namespace {

// One patch of a server card: the owned lines that change are written anew in
// place, the ones the card lacks gathered to go in before END.
class CardPatch {
  public:
    CardPatch(const std::string& card, const Contact& contact)
        : lines_(vcard::contentLines(card)), contact_(contact) {
        std::string why;
        readServerCard(card, current_, why);
    }

    void names() {
        if (current_.lastName == contact_.lastName && current_.firstName == contact_.firstName &&
            current_.middleName == contact_.middleName)
            return;
        setLine(firstNamed(lines_, "N"), "N", namesValue(lines_, written3("N")));
        setLine(firstNamed(lines_, "FN"), "FN", written3("FN"));
    }

    void address() {
        if (current_.address == contact_.address) return;
        setLine(mappedAddress(lines_), "ADR", written3("ADR"));
        // A label that spells out the old address, as this program's own 3.0 cards
        // carry, would go on showing it beside the new one: it follows the address.
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].name == "LABEL" && !current_.address.empty() &&
                labelText(lines_[i]) == current_.address)
                setLine(static_cast<int>(i), "LABEL", written3("LABEL"));
    }

    void sex() {
        if (current_.sex == contact_.sex) return;
        bool any = false;
        for (size_t i = 0; i < lines_.size(); ++i) {
            if (!isGender(lines_[i].name)) continue;
            any = true;
            setLine(static_cast<int>(i), lines_[i].name,
                    lines_[i].name == "GENDER" ? written4("GENDER") : written3("X-GENDER"));
        }
        if (any) return;
        // A card without a gender line gets the one of its own version.
        const int version = firstNamed(lines_, "VERSION");
        const bool four = version >= 0 && lines_[static_cast<size_t>(version)].text.find("4.0") !=
                                              std::string::npos;
        setLine(-1, four ? "GENDER" : "X-GENDER", four ? written4("GENDER") : written3("X-GENDER"));
    }

    std::string text() const {
        std::string out;
        bool added = false;  // before the first END alone
        for (const ContentLine& line : lines_) {
            if (line.name == "END" && !added) {
                for (const std::string& addition : additions_) out += addition;
                added = true;
            }
            out += line.raw;
        }
        return out;
    }

  private:
    std::string written3(const char* name) const {
        return vcard::writtenValue(contact_, vcard::Version::v3, name);
    }
    std::string written4(const char* name) const {
        return vcard::writtenValue(contact_, vcard::Version::v4, name);
    }

    // Writes line `at` anew with `value` (an empty value removes it); at -1 the
    // line is added before END.
    void setLine(int at, const std::string& name, const std::string& value) {
        if (at < 0) {
            if (!value.empty()) additions_.push_back(vcard::foldedLine(name + ":" + value));
            return;
        }
        ContentLine& line = lines_[static_cast<size_t>(at)];
        line.raw = value.empty() ? std::string() : vcard::foldedLine(headOf(line) + ":" + value);
    }

    Lines lines_;
    const Contact& contact_;
    Contact current_;
    std::vector<std::string> additions_;
};

}  // namespace

std::string patchServerCard(const std::string& card, const Contact& contact) {
    CardPatch patch(card, contact);
    patch.names();
    patch.address();
    patch.sex();
    return patch.text();
}

}  // namespace cardsync
