#include "sync/card_patch.h"

#include <cctype>
#include <vector>

#include "interchange/vcard.h"

namespace cardsync {

namespace {

// One logical line: its bytes as the server sent them (folded, with its line end)
// and the same line unfolded.
struct Line {
    std::string raw, text;
    std::string name;  // upper case, without a group
};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The part before the first ':' or ';' that is outside quotes: the group and name.
size_t endOfName(const std::string& text) {
    size_t end = text.find_first_of(":;");
    return end == std::string::npos ? text.size() : end;
}

std::vector<Line> linesOf(const std::string& card) {
    std::vector<Line> lines;
    size_t at = 0;
    bool softBreak = false;
    while (at < card.size()) {
        size_t end = card.find('\n', at);
        end = end == std::string::npos ? card.size() : end + 1;
        std::string physical = card.substr(at, end - at);
        std::string content = physical;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r'))
            content.pop_back();
        if (!lines.empty() && !content.empty() && (content[0] == ' ' || content[0] == '\t')) {
            lines.back().raw += physical;
            lines.back().text += content.substr(1);
        } else if (softBreak) {
            lines.back().raw += physical;
            lines.back().text += content;
        } else {
            Line line;
            line.raw = physical;
            line.text = content;
            std::string head = content.substr(0, endOfName(content));
            size_t dot = head.rfind('.');
            line.name = upper(dot == std::string::npos ? head : head.substr(dot + 1));
            lines.push_back(line);
        }
        // vCard 2.1's quoted-printable values go on after a line that ends in "=".
        std::string& last = lines.back().text;
        softBreak = !last.empty() && last.back() == '=' &&
                    upper(last).find("QUOTED-PRINTABLE") != std::string::npos;
        if (softBreak) last.pop_back();
        at = end;
    }
    return lines;
}

// The parameters of a line, upper case, as one string to search: ";TYPE=HOME,PREF".
std::string parametersOf(const Line& line) {
    size_t end = endOfName(line.text);
    if (end >= line.text.size() || line.text[end] != ';') return std::string();
    bool quoted = false;
    size_t colon = end;
    for (; colon < line.text.size(); ++colon) {
        if (line.text[colon] == '"') quoted = !quoted;
        if (line.text[colon] == ':' && !quoted) break;
    }
    return line.text.substr(end, colon - end);
}

bool hasParameter(const std::string& parameters, const std::string& word) {
    std::string all = upper(parameters);
    for (size_t at = 0; (at = all.find(word, at)) != std::string::npos; at += word.size()) {
        char before = at ? all[at - 1] : ';',
             after = at + word.size() < all.size() ? all[at + word.size()] : ';';
        if ((before == ';' || before == ',' || before == '=') &&
            (after == ';' || after == ',' || after == '=' || after == '"'))
            return true;
    }
    return false;
}

// The address the card file holds: preferred, else home, else the first.
int mappedAddress(const std::vector<Line>& lines) {
    int first = -1, home = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].name != "ADR") continue;
        std::string parameters = parametersOf(lines[i]);
        if (hasParameter(parameters, "PREF")) return static_cast<int>(i);
        if (home < 0 && hasParameter(parameters, "HOME")) home = static_cast<int>(i);
        if (first < 0) first = static_cast<int>(i);
    }
    return home >= 0 ? home : first;
}

int firstNamed(const std::vector<Line>& lines, const std::string& name) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].name == name) return static_cast<int>(i);
    return -1;
}

bool isGender(const std::string& name) { return name == "GENDER" || name == "X-GENDER"; }

// The value part of a line that the vCard writer wrote, unfolded.
std::string writtenValue(const std::string& written, const std::string& name) {
    for (const Line& line : linesOf(written))
        if (line.name == name) return line.text.substr(line.text.find(':') + 1);
    return std::string();
}

// The text of a LABEL line (vCard 3.0's address as printed), read as the vCard
// reader reads it.
std::string labelText(const Line& label) {
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
std::string headOf(const Line& line) {
    std::string head = line.text.substr(0, endOfName(line.text));
    for (const std::string& parameter : split(parametersOf(line), ';')) {
        // The new value is plain UTF-8 text: vCard 2.1's encoding and character set,
        // which described the old one, would misread it.
        const std::string name = upper(parameter.substr(0, parameter.find('=')));
        if (!parameter.empty() && name != "LABEL" && name != "ENCODING" && name != "CHARSET" &&
            name != "QUOTED-PRINTABLE")
            head += ";" + parameter;
    }
    return head;
}

// The new names, with the server's honorific prefixes and suffixes kept.
std::string namesValue(const std::vector<Line>& lines, const std::string& written) {
    std::vector<std::string> ours = split(written, ';');
    int at = firstNamed(lines, "N");
    if (at >= 0) {
        const std::string& text = lines[static_cast<size_t>(at)].text;
        std::vector<std::string> theirs = split(text.substr(text.find(':') + 1), ';');
        for (size_t i = 3; i < theirs.size() && i < ours.size(); ++i) ours[i] = theirs[i];
    }
    std::string value;
    for (size_t i = 0; i < ours.size(); ++i) value += (i ? ";" : "") + ours[i];
    return value;
}

}  // namespace

bool readServerCard(const std::string& card, Contact& contact, std::string& why) {
    std::vector<Line> lines = linesOf(card);
    std::string owned = "BEGIN:VCARD\r\n";
    // ORG names a card whose N and FN hold no name, as on both sides.
    for (const char* name : {"VERSION", "N", "FN", "ORG"}) {
        int at = firstNamed(lines, name);
        if (at >= 0) owned += lines[static_cast<size_t>(at)].text + "\r\n";
    }
    int address = mappedAddress(lines);
    if (address >= 0) owned += lines[static_cast<size_t>(address)].text + "\r\n";
    for (const Line& line : lines)
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
    std::vector<Line> lines = linesOf(card);
    const int address = mappedAddress(lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (static_cast<int>(i) == address) continue;
        bool kept = false;
        for (const char* name : kBookkeeping) kept = kept || lines[i].name == name;
        if (!kept) return true;
    }
    return false;
}

std::string patchServerCard(const std::string& card, const Contact& contact) {
    std::vector<Line> lines = linesOf(card);
    Contact current;
    std::string why;
    readServerCard(card, current, why);
    const bool four = firstNamed(lines, "VERSION") >= 0 &&
                      lines[static_cast<size_t>(firstNamed(lines, "VERSION"))].text.find("4.0") !=
                          std::string::npos;
    const std::string three = vcard::write({contact}, vcard::Version::v3);
    const std::string fourWritten = vcard::write({contact}, vcard::Version::v4);
    std::vector<std::string> additions;

    auto setLine = [&](int at, const std::string& name, const std::string& value) {
        if (at < 0) {
            if (!value.empty()) additions.push_back(vcard::foldedLine(name + ":" + value));
            return;
        }
        Line& line = lines[static_cast<size_t>(at)];
        line.raw = value.empty() ? std::string() : vcard::foldedLine(headOf(line) + ":" + value);
    };
    if (current.lastName != contact.lastName || current.firstName != contact.firstName ||
        current.middleName != contact.middleName) {
        setLine(firstNamed(lines, "N"), "N", namesValue(lines, writtenValue(three, "N")));
        setLine(firstNamed(lines, "FN"), "FN", writtenValue(three, "FN"));
    }
    if (current.address != contact.address) {
        setLine(mappedAddress(lines), "ADR", writtenValue(three, "ADR"));
        // A label that spells out the old address, as this program's own 3.0 cards
        // carry, would go on showing it beside the new one: it follows the address.
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].name == "LABEL" && !current.address.empty() &&
                labelText(lines[i]) == current.address)
                setLine(static_cast<int>(i), "LABEL", writtenValue(three, "LABEL"));
    }
    if (current.sex != contact.sex) {
        bool any = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (!isGender(lines[i].name)) continue;
            any = true;
            setLine(static_cast<int>(i), lines[i].name,
                    lines[i].name == "GENDER" ? writtenValue(fourWritten, "GENDER")
                                              : writtenValue(three, "X-GENDER"));
        }
        if (!any)
            setLine(-1, four ? "GENDER" : "X-GENDER",
                    four ? writtenValue(fourWritten, "GENDER") : writtenValue(three, "X-GENDER"));
    }
    std::string out;
    for (const Line& line : lines) {
        if (line.name == "END" && !additions.empty()) {
            for (const std::string& added : additions) out += added;
            additions.clear();
        }
        out += line.raw;
    }
    return out;
}

}  // namespace cardsync
