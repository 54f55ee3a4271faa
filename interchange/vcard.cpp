#include "interchange/vcard.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "data/fingerprint.h"
#include "interchange/codepage.h"
#include "interchange/ascii.h"
#include "interchange/utf8.h"

namespace vcard {

namespace {

constexpr size_t kFoldAt = 75;

std::string upper(std::string text) { return asciiUpper(std::move(text)); }

// ---- writing ---------------------------------------------------------------------

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == ',' || c == ';') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

// Folds one content line at 75 octets, never inside a UTF-8 sequence.
void putLine(std::string& out, const std::string& line) {
    size_t at = 0, room = kFoldAt;
    while (line.size() - at > room) {
        size_t cut = at + room;
        while (cut > at && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line, at, cut - at);
        out += "\r\n ";
        at = cut;
        room = kFoldAt - 1;  // the leading space counts
    }
    out.append(line, at, std::string::npos);
    out += "\r\n";
}

// ---- reading ---------------------------------------------------------------------

struct Property {
    std::string name;                                    // upper case, without a group
    std::multimap<std::string, std::string> parameters;  // names in upper case
    std::string value;                                   // as written, still escaped
    size_t line;
};

// Splits at `separator` outside double quotes.
std::vector<std::string> splitOutsideQuotes(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == separator && !quoted)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool parseProperty(const std::string& line, size_t number, Property& property) {
    bool quoted = false;
    size_t colon = std::string::npos;
    for (size_t i = 0; i < line.size() && colon == std::string::npos; ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ':' && !quoted) colon = i;
    }
    if (colon == std::string::npos) return false;
    std::vector<std::string> head = splitOutsideQuotes(line.substr(0, colon), ';');
    std::string name = head[0];
    size_t dot = name.rfind('.');
    property.name = upper(dot == std::string::npos ? name : name.substr(dot + 1));
    property.parameters.clear();
    for (size_t i = 1; i < head.size(); ++i) {
        size_t equals = head[i].find('=');
        // vCard 2.1 writes bare parameters: "QUOTED-PRINTABLE" for ENCODING=...
        std::string key = upper(equals == std::string::npos ? "" : head[i].substr(0, equals));
        std::string value = equals == std::string::npos ? head[i] : head[i].substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        property.parameters.emplace(key, value);
    }
    property.value = line.substr(colon + 1);
    property.line = number;
    return true;
}

std::string parameter(const Property& p, const std::string& key) {
    auto found = p.parameters.find(key);
    return found == p.parameters.end() ? std::string() : found->second;
}

bool isQuotedPrintable(const Property& p) {
    for (const auto& item : p.parameters)
        if ((item.first == "ENCODING" || item.first.empty()) &&
            upper(item.second) == "QUOTED-PRINTABLE")
            return true;
    return false;
}

std::string fromQuotedPrintable(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// RFC 6868's ^n, ^^ and ^' in a parameter value.
std::string fromParameterValue(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size()) {
            char next = text[i + 1];
            if (next == 'n' || next == 'N' || next == '^' || next == '\'') {
                out += next == '^' ? '^' : next == '\'' ? '"' : '\n';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// A text value unescaped: \n a line break, any other escaped character itself.
std::string text(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char next = value[++i];
            out += next == 'n' || next == 'N' ? '\n' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

// A structured value split at each ';' that is not escaped, each part unescaped.
std::vector<std::string> components(const std::string& value) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\')
            ++i;
        else if (value[i] == ';') {
            parts.push_back(text(value.substr(start, i - start)));
            start = i + 1;
        }
    }
    parts.push_back(text(value.substr(start)));
    return parts;
}

std::string component(const std::vector<std::string>& parts, size_t index) {
    return index < parts.size() ? parts[index] : std::string();
}

// The value's bytes as UTF-8, by its CHARSET; false when they cannot be read.
bool decodeCharset(const Property& p, std::string& value, std::string& why) {
    if (isQuotedPrintable(p)) value = fromQuotedPrintable(value);
    std::string charset = upper(parameter(p, "CHARSET"));
    if (charset.empty() || charset == "UTF-8") {
        if (utf8::isValid(value)) return true;
        why = p.name + " holds bytes that are not UTF-8, and no CHARSET says what they are";
        return false;
    }
    std::string converted;
    if (charset == "ISO-8859-1" || charset == "LATIN1") {
        for (char c : value) utf8::append(converted, static_cast<unsigned char>(c));
        value = converted;
        return true;
    }
    unsigned page = 0;
    for (const char* prefix : {"WINDOWS-", "CP"})
        if (charset.rfind(prefix, 0) == 0)
            page = static_cast<unsigned>(std::atoi(charset.c_str() + std::strlen(prefix)));
    if (page && codepage::toUtf8(page, value, converted)) {
        value = converted;
        return true;
    }
    why = p.name + " is in CHARSET " + charset + ", which cannot be read here";
    return false;
}

std::string sexOf(const Property& p, const std::string& value) {
    if (p.name == "GENDER") {
        std::vector<std::string> parts = components(value);
        std::string sex = upper(component(parts, 0)), identity = component(parts, 1);
        // An identity alone is a stored sex as this program writes it, kept as it is.
        if (sex.empty() && !identity.empty()) return identity;
        if (!identity.empty()) return sexFromText(identity);
        return sex == "M" ? kMale : sex == "F" ? kFemale : "";
    }
    if (p.name == "X-WAB-GENDER") return value == "2" ? kMale : value == "1" ? kFemale : "";
    return sexFromText(text(value));  // X-GENDER
}

struct CardBeingRead {
    Contact contact;
    bool hasN = false;
    std::string fullName, organisation;
    int sexRank = 0;  // GENDER over X-GENDER over X-WAB-GENDER
    std::string addressLabel;
    bool hasAddress = false;
    std::string problem;
};

void take(CardBeingRead& card, const Property& p, std::map<std::string, size_t>& ignored) {
    static const char* const kCarried[] = {"BEGIN",  "END",      "VERSION",      "UID",
                                           "N",      "FN",       "ADR",          "LABEL",
                                           "GENDER", "X-GENDER", "X-WAB-GENDER", "ORG"};
    if (std::find_if(std::begin(kCarried), std::end(kCarried),
                     [&](const char* name) { return p.name == name; }) == std::end(kCarried)) {
        ++ignored[p.name];
        return;
    }
    std::string value = p.value;
    if (p.name == "ORG") {
        // Only a name for a card without one: an ORG that cannot be read spoils nothing.
        std::string why;
        if (card.organisation.empty() && decodeCharset(p, value, why))
            card.organisation = component(components(value), 0);  // the name, not its units
        return;
    }
    if (!card.problem.empty() || !decodeCharset(p, value, card.problem)) return;
    Contact& c = card.contact;
    if (p.name == "N") {
        std::vector<std::string> parts = components(value);
        c.lastName = component(parts, 0);
        c.firstName = component(parts, 1);
        c.middleName = component(parts, 2);
        card.hasN = true;
    } else if (p.name == "FN" && card.fullName.empty()) {
        card.fullName = text(value);
    } else if (p.name == "ADR" && !card.hasAddress) {
        std::vector<std::string> parts = components(value);
        const std::string address = joinAddress(
            {component(parts, 0), component(parts, 1), component(parts, 2), component(parts, 3),
             component(parts, 4), component(parts, 5), component(parts, 6)});
        c.address = address;
        card.hasAddress = true;
        std::string label = parameter(p, "LABEL");
        if (address.empty() && !label.empty()) c.address = fromParameterValue(label);
    } else if (p.name == "LABEL") {
        card.addressLabel = text(value);
    } else if (p.name == "GENDER" || p.name == "X-GENDER" || p.name == "X-WAB-GENDER") {
        int rank = p.name == "GENDER" ? 3 : p.name == "X-GENDER" ? 2 : 1;
        if (rank > card.sexRank) {
            c.sex = sexOf(p, value);
            card.sexRank = rank;
        }
    }
}

constexpr const char* kOutsideACard = "a line outside any card (BEGIN:VCARD ... END:VCARD)";

// The names of a card: its N; a card without N is named by FN, its last word taken
// as the last name. A card whose N holds no name (a company's, as phones write it) is
// known by its whole FN, else its ORG, as its last name, so that each company stays
// an entry of its own. False when the card has no name at all.
bool takeNames(CardBeingRead& card, std::map<std::string, size_t>& ignored) {
    Contact& c = card.contact;
    const bool personal = !c.lastName.empty() || !c.firstName.empty() || !c.middleName.empty();
    const bool byFullName = !card.fullName.empty() && card.fullName != kNoName;
    const bool byOrganisation = !personal && !byFullName && !card.organisation.empty();
    if (!card.organisation.empty() && !byOrganisation) ++ignored["ORG"];
    if (personal) return true;
    if (!card.hasN && !card.fullName.empty()) {
        takeFullName(card.fullName, c);
        return true;
    }
    // The writer's stand-in for an entry without names reads back as one.
    if (!byFullName && !byOrganisation) return card.hasN;
    c.lastName = byFullName ? card.fullName : card.organisation;
    c.namedBy = byFullName ? "FN" : "ORG";
    return true;
}

void finishCard(CardBeingRead& card, ContactsRead& result, const ContactHandler& each) {
    if (card.problem.empty() && !takeNames(card, result.ignored))
        card.problem = "the card has no name (N or FN)";
    if (!card.problem.empty()) {
        result.problems.push_back({card.contact.line, card.problem});
        return;
    }
    if (card.contact.address.empty()) card.contact.address = card.addressLabel;
    if (each)
        each(card.contact);
    else
        result.contacts.push_back(std::move(card.contact));
}

// The property's parameters (not its value) say it is quoted-printable.
bool headSaysQuotedPrintable(const std::string& line) {
    bool quoted = false;
    size_t colon = 0;
    while (colon < line.size() && (line[colon] != ':' || quoted)) {
        if (line[colon] == '"') quoted = !quoted;
        ++colon;
    }
    if (colon == line.size()) return false;
    Property p;
    return parseProperty(line.substr(0, colon + 1), 0, p) && isQuotedPrintable(p);
}

// Logical lines, one at a time: physical ones joined where the next starts with a
// space or tab (folding), or where a quoted-printable property's line ends with "="
// (vCard 2.1's soft break). A fold is taken first, so a fold after an "=" keeps it.
// Where the physical line that starts at `at` ends, and in `next` where the one after
// it starts: CR LF, LF and a lone CR each end a line.
size_t endOfLine(std::string_view text, size_t at, size_t& next) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    next = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    return end;
}

class LogicalLines {
  public:
    // A byte-order mark is skipped only at the very start of a file, not of a piece.
    LogicalLines(const std::string& text, size_t linesBefore)
        : text_(text),
          at_(linesBefore ? 0 : utf8::afterByteOrderMark(text)),
          number_(linesBefore) {}

    bool next(std::string& line, size_t& number) {
        if (at_ >= text_.size()) return false;
        start_ = at_ == utf8::afterByteOrderMark(text_) && number_ == 0 ? 0 : at_;
        line.assign(physical());
        number = number_;
        int quotedPrintable = -1;  // not known yet
        while (at_ < text_.size()) {
            const char first = text_[at_];
            if ((first == ' ' || first == '\t')) {
                line.append(physical().substr(1));
                continue;
            }
            if (line.empty() || line.back() != '=') break;
            if (quotedPrintable < 0) quotedPrintable = headSaysQuotedPrintable(line);
            if (!quotedPrintable) break;
            line.pop_back();
            line.append(physical());
        }
        return true;
    }

    // The bytes the last line was made of, line ends included (and a byte-order
    // mark before the first).
    std::string_view raw() const {
        // A last line without a line end leaves `at_` one past the text.
        return std::string_view(text_.data() + start_, std::min(at_, text_.size()) - start_);
    }

  private:
    // The next physical line, without its end.
    std::string_view physical() {
        const size_t start = at_;
        const size_t end = endOfLine(text_, start, at_);
        ++number_;
        return std::string_view(text_.data() + start, end - start);
    }

    const std::string& text_;
    size_t at_;
    size_t number_;
    size_t start_ = 0;
};

}  // namespace

std::string foldedLine(const std::string& line) {
    std::string out;
    putLine(out, line);
    return out;
}

std::string uidOf(const Contact& contact) {
    const std::string names =
        contact.lastName + '\x1F' + contact.firstName + '\x1F' + contact.middleName;
    uint64_t halves[2];
    for (int half = 0; half < 2; ++half) {
        Fingerprint f;
        char seed = static_cast<char>('A' + half);
        f.add(&seed, 1);
        f.add(names.data(), names.size());
        halves[half] = f.digest();
    }
    // A UUID of version 8, the one for UUIDs made by a scheme of one's own.
    halves[0] = (halves[0] & ~0xF000ull) | 0x8000ull;
    halves[1] = (halves[1] & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
    char uuid[40];
    std::snprintf(uuid, sizeof uuid, "%08lx-%04lx-%04lx-%04lx-%012llx",
                  static_cast<unsigned long>(halves[0] >> 32),
                  static_cast<unsigned long>((halves[0] >> 16) & 0xFFFF),
                  static_cast<unsigned long>(halves[0] & 0xFFFF),
                  static_cast<unsigned long>(halves[1] >> 48),
                  static_cast<unsigned long long>(halves[1] & 0xFFFFFFFFFFFFull));
    return std::string("urn:uuid:") + uuid;
}

namespace {

// The properties `write` gives a contact, in order, each as name and written value.
std::vector<std::pair<const char*, std::string>> propertiesOf(const Contact& c, Version version) {
    const bool four = version == Version::v4;
    std::vector<std::pair<const char*, std::string>> properties = {
        {"VERSION", four ? "4.0" : "3.0"},
        {"UID", uidOf(c)},
        {"N",
         escaped(c.lastName) + ";" + escaped(c.firstName) + ";" + escaped(c.middleName) + ";;"},
        {"FN", escaped(cardNameOf(c))}};
    if (!c.address.empty()) {
        // The whole address is the street. 4.0's LABEL parameter would only repeat
        // it, and strict readers refuse some quoted values of it: it is left out.
        properties.push_back({"ADR", ";;" + escaped(c.address) + ";;;;"});
        if (!four) properties.push_back({"LABEL", escaped(c.address)});
    }
    if (!c.sex.empty()) {
        if (!four)  // the ';' of sexToWrite as in GENDER, ahead of the text
            properties.push_back(
                {"X-GENDER", (sexToWrite(c.sex) == c.sex ? "" : ";") + escaped(c.sex)});
        else
            properties.push_back({"GENDER", c.sex == kMale     ? std::string("M")
                                            : c.sex == kFemale ? std::string("F")
                                                               : ";" + escaped(c.sex)});
    }
    return properties;
}

}  // namespace

void appendCard(std::string& out, const Contact& c, Version version) {
    putLine(out, "BEGIN:VCARD");
    for (const auto& [name, value] : propertiesOf(c, version)) putLine(out, name + (":" + value));
    putLine(out, "END:VCARD");
}

std::string writtenValue(const Contact& contact, Version version, const std::string& name) {
    for (const auto& [written, value] : propertiesOf(contact, version))
        if (name == written) return value;
    return std::string();
}

std::string write(const std::vector<Contact>& contacts, Version version) {
    std::string out;
    for (const Contact& c : contacts) appendCard(out, c, version);
    return out;
}

bool looksLikeVCard(const std::string& text) {
    size_t at = utf8::afterByteOrderMark(text);
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    return upper(text.substr(at, 11)) == "BEGIN:VCARD";
}

namespace {

// Where the name (with its group) of a line ends: at the first ';' or ':'.
size_t endOfHead(const std::string& text) {
    return std::min(text.find_first_of(";:"), text.size());
}

// Where the value starts: after the first ':' outside quotes, or the line's end.
size_t startOfValue(const std::string& text) {
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == ':' && !quoted) return i + 1;
    }
    return text.size();
}

}  // namespace

std::string ContentLine::head() const { return text.substr(0, endOfHead(text)); }

std::vector<std::string> ContentLine::parameters() const {
    const size_t start = endOfHead(text), end = startOfValue(text);
    if (start >= text.size() || text[start] != ';') return {};
    return splitOutsideQuotes(text.substr(start + 1, end - 1 - (start + 1)), ';');
}

bool ContentLine::has(const std::string& word) const {
    const std::string wanted = upper(word);
    for (const std::string& parameter : parameters()) {
        const size_t equals = parameter.find('=');
        if (equals != std::string::npos && upper(parameter.substr(0, equals)) == wanted)
            return true;  // PREF=1
        const std::string values =
            equals == std::string::npos ? parameter : parameter.substr(equals + 1);
        for (std::string item : splitOutsideQuotes(values, ',')) {
            if (item.size() >= 2 && item.front() == '"' && item.back() == '"')
                item = item.substr(1, item.size() - 2);
            if (upper(item) == wanted) return true;
        }
    }
    return false;
}

std::string ContentLine::value() const { return text.substr(startOfValue(text)); }

std::vector<ContentLine> contentLines(const std::string& card) {
    std::vector<ContentLine> lines;
    LogicalLines logical(card, 0);
    ContentLine line;
    size_t number = 0;
    while (logical.next(line.text, number)) {
        line.raw.assign(logical.raw());
        const std::string head = line.head();
        line.name =
            upper(head.substr(head.rfind('.') == std::string::npos ? 0 : head.rfind('.') + 1));
        lines.push_back(line);
    }
    return lines;
}

ContactsRead read(const std::string& input, const ContactHandler& each, size_t linesBefore) {
    ContactsRead result;
    LogicalLines lines(input, linesBefore);
    std::string line;
    size_t lineNumber = 0;
    CardBeingRead card;
    bool inCard = false;
    while (lines.next(line, lineNumber)) {
        if (line.empty()) continue;
        Property p;
        if (!parseProperty(line, lineNumber, p)) {
            if (inCard && card.problem.empty())
                card.problem = "line " + std::to_string(lineNumber) + " is not a vCard property";
            if (!inCard) result.problems.push_back({lineNumber, kOutsideACard});
            continue;
        }
        if (p.name == "BEGIN" && upper(p.value) == "VCARD") {
            if (inCard) result.problems.push_back({card.contact.line, "the card has no END:VCARD"});
            card = CardBeingRead();
            card.contact.line = lineNumber;
            inCard = true;
            continue;
        }
        if (!inCard) {
            result.problems.push_back({lineNumber, kOutsideACard});
            continue;
        }
        if (p.name == "END" && upper(p.value) == "VCARD") {
            inCard = false;
            finishCard(card, result, each);
            continue;
        }
        take(card, p, result.ignored);
    }
    if (inCard) result.problems.push_back({card.contact.line, "the card has no END:VCARD"});
    return result;
}

size_t pieceEnd(std::string_view text) {
    constexpr std::string_view kEnd = "\nEND:VCARD";
    for (size_t at = text.rfind(kEnd); at != std::string_view::npos && at > 0;
         at = text.rfind(kEnd, at - 1)) {
        size_t after = at + kEnd.size();
        if (after < text.size() && text[after] == '\r') ++after;
        if (after >= text.size() || text[after] != '\n') continue;  // more on the line, or unknown
        ++after;
        // What follows must be there, and not a folded continuation of this line.
        if (after >= text.size() || text[after] == ' ' || text[after] == '\t') continue;
        // The line before must not end in "=", which may carry quoted-printable on,
        // nor add nothing (empty, or a fold of one space), which passes an "=" before
        // it on.
        const size_t beforeEnd = text[at - 1] == '\r' ? at - 1 : at;
        const size_t beforeStart =
            beforeEnd == 0 ? 0 : text.find_last_of("\r\n", beforeEnd - 1) + 1;  // npos + 1 is 0
        const std::string_view before = text.substr(beforeStart, beforeEnd - beforeStart);
        if (before.empty() || before == " " || before == "\t" || before.back() == '=') continue;
        return after;
    }
    return 0;
}

size_t lineCount(std::string_view text) {
    size_t lines = 0;
    for (size_t at = 0; at < text.size(); ++lines) endOfLine(text, at, at);
    return lines;
}

}  // namespace vcard
