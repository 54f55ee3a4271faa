#include "interchange/csv.h"

#include <algorithm>
#include <cctype>
#include <array>
#include <cstdlib>
#include <cstring>
#include <map>

#include "interchange/utf8.h"

namespace csv {

namespace {

// What a column holds. The address may come in parts, in one of several sets (an
// address book's Home, Business and Other addresses, or Google's Address 1, 2, ...).
enum class Field { first, middle, last, fullName, organisation, sex, addressPart, ignored };
enum Part {
    formatted,
    poBox,
    extended,
    street,
    street2,
    street3,
    locality,
    region,
    postalCode,
    country,
    kParts
};
constexpr int kAddressSets = 10;

struct Column {
    Field field = Field::ignored;
    int set = 0;
    Part part = formatted;
};

// ---- writing ---------------------------------------------------------------------

struct LayoutColumns {
    std::vector<std::pair<const char*, Column>> columns;
};

const LayoutColumns& columnsOf(Layout layout) {
    const Column first{Field::first}, middle{Field::middle}, last{Field::last};
    const Column address{Field::addressPart, 0, formatted}, sex{Field::sex};
    static const LayoutColumns plain{{{kFieldLabels[kFirstNameField], first},
                                      {kFieldLabels[kMiddleNameField], middle},
                                      {kFieldLabels[kLastNameField], last},
                                      {kFieldLabels[kAddressField], address},
                                      {kFieldLabels[kSexField], sex}}};
    static const LayoutColumns google{{{"Name", {Field::fullName}},
                                       {"Given Name", first},
                                       {"Additional Name", middle},
                                       {"Family Name", last},
                                       {"Gender", sex},
                                       {"Address 1 - Type", {Field::ignored}},
                                       {"Address 1 - Street", {Field::addressPart, 0, street}}}};
    static const LayoutColumns outlook{{{"First Name", first},
                                        {"Middle Name", middle},
                                        {"Last Name", last},
                                        {"Home Street", {Field::addressPart, 0, street}},
                                        {"Gender", sex}}};
    return layout == Layout::google ? google : layout == Layout::outlook ? outlook : plain;
}

bool needsGuard(const std::string& cell) {
    return !cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@' ||
                             cell[0] == '\'');
}

void putCell(std::string& out, const std::string& value) {
    std::string cell = needsGuard(value) ? "'" + value : value;
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        out += cell;
        return;
    }
    out += '"';
    for (char c : cell) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\n')
            out += "\r\n";
        else
            out += c;
    }
    out += '"';
}

std::string cellFor(const Contact& c, const Column& column) {
    switch (column.field) {
        case Field::first:
            return c.firstName;
        case Field::middle:
            return c.middleName;
        case Field::last:
            return c.lastName;
        case Field::fullName:
            return fullNameOf(c);
        case Field::addressPart:
            return c.address;
        case Field::sex:
            return sexToWrite(c.sex);
        default:
            return c.address.empty() ? "" : "Home";
    }
}

bool isName(Field field) {
    return field == Field::first || field == Field::middle || field == Field::last ||
           field == Field::fullName;
}

// ---- reading ---------------------------------------------------------------------

std::string lowerTrimmed(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    size_t start = 0;
    while (start < name.size() && std::isspace(static_cast<unsigned char>(name[start]))) ++start;
    return name.substr(start);
}

// The part an address column holds, after its set's prefix: "street 2", "city", ...
bool addressPartNamed(const std::string& rest, Part& part) {
    static const std::map<std::string, Part> kParts = {
        {"street", street},        {"address", street},      {"street 2", street2},
        {"address 2", street2},    {"street 3", street3},    {"po box", poBox},
        {"address po box", poBox}, {"pobox", poBox},         {"city", locality},
        {"state", region},         {"region", region},       {"postal code", postalCode},
        {"zipcode", postalCode},   {"zip code", postalCode}, {"country/region", country},
        {"country", country},      {"formatted", formatted}, {"extended address", extended}};
    auto found = kParts.find(rest);
    if (found == kParts.end()) return false;
    part = found->second;
    return true;
}

// What each header names; the names of the big address books' exports.
Column columnNamed(const std::string& header) {
    const std::string name = lowerTrimmed(header);
    static const std::map<std::string, Field> kNames = {
        {"first name", Field::first},   {"given name", Field::first},
        {"first", Field::first},        {"firstname", Field::first},
        {"middle name", Field::middle}, {"additional name", Field::middle},
        {"middle", Field::middle},      {"last name", Field::last},
        {"family name", Field::last},   {"surname", Field::last},
        {"last", Field::last},          {"lastname", Field::last},
        {"name", Field::fullName},      {"display name", Field::fullName},
        {"full name", Field::fullName}, {"sex", Field::sex},
        {"gender", Field::sex}};
    auto found = kNames.find(name);
    if (found != kNames.end()) return {found->second};
    // The company: Outlook's, Thunderbird's and Google's names for it.
    for (const char* company :
         {"company", "organization", "organisation", "organization name", "organization 1 - name"})
        if (name == company) return {Field::organisation};
    if (name == "address") return {Field::addressPart, 0, formatted};
    if (name == "street" || name == "street address") return {Field::addressPart, 0, street};
    // Home, Business and Other (Thunderbird: Home and Work), each with its parts.
    static const std::pair<const char*, int> kSets[] = {
        {"home ", 0}, {"business ", 1}, {"work ", 1}, {"other ", 2}};
    Column column{Field::addressPart};
    for (const auto& [prefix, set] : kSets)
        if (name.rfind(prefix, 0) == 0 &&
            addressPartNamed(name.substr(std::strlen(prefix)), column.part)) {
            column.set = set;
            return column;
        }
    // Google: "Address 1 - Street", "Address 2 - City", ...
    if (name.rfind("address ", 0) == 0) {
        size_t dash = name.find(" - ");
        int number = std::atoi(name.c_str() + 8);
        if (dash != std::string::npos && number >= 1 && number <= kAddressSets &&
            addressPartNamed(name.substr(dash + 3), column.part)) {
            column.set = number - 1;
            return column;
        }
    }
    return {Field::ignored};
}

std::string unguarded(const std::string& cell) {
    if (cell.size() >= 2 && cell[0] == '\'' && needsGuard(cell.substr(1))) return cell.substr(1);
    return cell;
}

struct Row {
    std::vector<std::string> cells;
    std::vector<bool> quoted;  // a cell written in quotes, even an empty one
    size_t line = 0;
    bool unclosed = false;  // the file ended inside a quoted cell
};

// RFC 4180 rows, one at a time, tolerant of LF-only line ends. A quoted cell may
// hold line breaks, which are read as "\n".
class RowReader {
  public:
    RowReader(const std::string& text, size_t from, char delimiter, size_t firstLine)
        : text_(text), at_(from), delimiter_(delimiter), line_(firstLine) {}

    // The next row that holds anything; false at the end of the text.
    bool next(Row& row) {
        while (at_ < text_.size()) {
            row.cells.assign(1, std::string());
            row.quoted.assign(1, false);
            row.line = line_;
            row.unclosed = false;
            if (readRow(row)) return true;
        }
        return false;
    }

  private:
    // Reads up to the end of a line; false for a blank line.
    bool readRow(Row& row) {
        bool any = false, quoted = false;
        for (; at_ < text_.size(); ++at_) {
            char c = text_[at_];
            if (quoted) {
                if (c == '"' && at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                    row.cells.back() += '"';
                    ++at_;
                } else if (c == '"') {
                    quoted = false;
                } else if (c == '\r' || c == '\n') {
                    if (c == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n') ++at_;
                    row.cells.back() += '\n';
                    ++line_;
                } else {
                    row.cells.back() += c;
                }
                continue;
            }
            if (c == '"' && row.cells.back().empty()) {
                quoted = any = true;
                row.quoted.back() = true;
            } else if (c == delimiter_) {
                row.cells.emplace_back();
                row.quoted.push_back(false);
                any = true;
            } else if (c == '\r' || c == '\n') {
                if (c == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n') ++at_;
                ++at_;
                ++line_;
                return any;
            } else {
                row.cells.back() += c;
                any = true;
            }
        }
        row.unclosed = quoted;
        return any;
    }

    const std::string& text_;
    size_t at_;
    char delimiter_;
    size_t line_;
};

// Turns rows into contacts by the header's columns.
class ContactMaker {
  public:
    ContactMaker(const std::vector<std::string>& header, ContactsRead& result)
        : header_(header), result_(result), ignoredCells_(header.size()) {
        for (const std::string& name : header) {
            columns_.push_back(columnNamed(name));
            if (columns_.back().field == Field::addressPart)
                parts_.resize(std::max<size_t>(parts_.size(), columns_.back().set + 1u));
        }
    }

    bool knowsAnyColumn() const {
        for (const Column& column : columns_)
            if (column.field != Field::ignored) return true;
        return false;
    }

    // False for a row of nothing but delimiters, and, with the problem noted, for a
    // row that cannot be a contact.
    bool make(const Row& row, Contact& contact);

    void countIgnored() {
        for (size_t i = 0; i < columns_.size(); ++i)
            if (ignoredCells_[i]) result_.ignored[header_[i]] += ignoredCells_[i];
    }

  private:
    bool problem(const Row& row, const std::string& why) {
        result_.problems.push_back({row.line, why});
        return false;
    }
    std::string addressOf(const Row& row);

    const std::vector<std::string>& header_;
    ContactsRead& result_;
    std::vector<Column> columns_;
    std::vector<size_t> ignoredCells_;
    std::vector<std::array<std::string, kParts>> parts_;  // one for each set the header has
};

// The first set of address columns that holds anything: its formatted address, or
// its parts joined. Filled cells of the other sets went nowhere, and are counted.
std::string ContactMaker::addressOf(const Row& row) {
    for (auto& set : parts_)
        for (std::string& part : set) part.clear();
    for (size_t i = 0; i < row.cells.size() && i < columns_.size(); ++i)
        if (columns_[i].field == Field::addressPart)
            parts_[columns_[i].set][columns_[i].part] = unguarded(row.cells[i]);
    int chosen = -1;
    std::string address;
    for (int set = 0; set < static_cast<int>(parts_.size()) && chosen < 0; ++set) {
        const auto& p = parts_[set];
        std::string streets = p[street];
        for (const std::string* more : {&p[street2], &p[street3]})
            if (!more->empty()) streets += (streets.empty() ? "" : "\n") + *more;
        address = !p[formatted].empty() ? p[formatted]
                                        : joinAddress({p[poBox], p[extended], streets, p[locality],
                                                       p[region], p[postalCode], p[country]});
        if (!address.empty()) chosen = set;
    }
    for (size_t i = 0; i < row.cells.size() && i < columns_.size(); ++i)
        if (columns_[i].field == Field::addressPart && columns_[i].set != chosen &&
            !row.cells[i].empty())
            ++ignoredCells_[i];
    return address;
}

bool ContactMaker::make(const Row& row, Contact& contact) {
    contact = Contact();
    contact.line = row.line;
    if (row.unclosed)
        return problem(row, "a quoted cell is never closed: the rest of the file is in it");
    bool blank = true;  // only delimiters: nothing to take, nothing to report
    for (size_t i = 0; i < row.cells.size() && blank; ++i)
        blank = row.cells[i].empty() && !row.quoted[i];
    if (blank) return false;
    std::string full;
    size_t organisation = columns_.size();  // the first company cell that holds a name
    bool named = false;  // a name cell written in quotes counts, even an empty one
    for (size_t i = 0; i < row.cells.size() && i < columns_.size(); ++i) {
        const std::string cell = unguarded(row.cells[i]);
        const Field field = columns_[i].field;
        if (isName(field)) named = named || !cell.empty() || row.quoted[i];
        if (field == Field::first) contact.firstName = cell;
        if (field == Field::middle) contact.middleName = cell;
        if (field == Field::last) contact.lastName = cell;
        if (field == Field::fullName) full = cell;
        if (field == Field::sex) contact.sex = sexFromText(cell);
        if (field == Field::organisation && !cell.empty() && organisation == columns_.size())
            organisation = i;
        else if ((field == Field::organisation || field == Field::ignored) && !cell.empty())
            ++ignoredCells_[i];
    }
    if (row.cells.size() > columns_.size())
        return problem(row, "the row has " + std::to_string(row.cells.size()) +
                                " cells, the header " + std::to_string(columns_.size()));
    if (contact.firstName.empty() && contact.middleName.empty() && contact.lastName.empty())
        takeFullName(full, contact);
    // A company's row, as a company's vCard: known by the company's whole name.
    const bool personal =
        !contact.firstName.empty() || !contact.middleName.empty() || !contact.lastName.empty();
    if (organisation < columns_.size() && !personal) {
        contact.lastName = unguarded(row.cells[organisation]);
        contact.namedBy = header_[organisation];
        named = true;
    } else if (organisation < columns_.size()) {
        ++ignoredCells_[organisation];
    }
    if (!named) return problem(row, "the row has no name (First Name, Last Name, Name or Company)");
    contact.address = addressOf(row);
    return true;
}

// Excel's "sep=;" first line names the delimiter; otherwise a header without commas
// but with semicolons is taken to use them (spreadsheets set to some languages do).
char delimiterOf(const std::string& text, size_t& from, size_t& firstLine) {
    size_t headerEnd = text.find_first_of("\r\n", from);
    std::string header =
        text.substr(from, headerEnd == std::string::npos ? std::string::npos : headerEnd - from);
    if (header.size() == 5 && lowerTrimmed(header.substr(0, 4)) == "sep=") {
        from = headerEnd == std::string::npos ? text.size() : headerEnd + 1;
        if (from < text.size() && text[from - 1] == '\r' && text[from] == '\n') ++from;
        ++firstLine;
        return header[4];
    }
    return header.find(',') == std::string::npos && header.find(';') != std::string::npos ? ';'
                                                                                          : ',';
}

}  // namespace

std::string header(Layout layout, bool byteOrderMark) {
    std::string out = byteOrderMark ? utf8::kByteOrderMark : "";
    const LayoutColumns& layoutColumns = columnsOf(layout);
    for (size_t i = 0; i < layoutColumns.columns.size(); ++i) {
        if (i) out += ',';
        putCell(out, layoutColumns.columns[i].first);
    }
    return out + "\r\n";
}

void appendRow(std::string& out, const Contact& c, Layout layout) {
    const LayoutColumns& layoutColumns = columnsOf(layout);
    // An entry without a name writes its first name column as "", so that the row
    // reads back as a nameless entry, not as a blank row or one without a name.
    bool nameless = c.firstName.empty() && c.middleName.empty() && c.lastName.empty();
    for (size_t i = 0; i < layoutColumns.columns.size(); ++i) {
        if (i) out += ',';
        const Column& column = layoutColumns.columns[i].second;
        if (nameless && isName(column.field)) {
            out += "\"\"";
            nameless = false;
            continue;
        }
        putCell(out, cellFor(c, column));
    }
    out += "\r\n";
}

std::string write(const std::vector<Contact>& contacts, Layout layout, bool byteOrderMark) {
    std::string out = header(layout, byteOrderMark);
    for (const Contact& c : contacts) appendRow(out, c, layout);
    return out;
}

ContactsRead read(const std::string& text, const ContactHandler& each) {
    ContactsRead result;
    size_t from = utf8::afterByteOrderMark(text), firstLine = 1;
    const char delimiter = delimiterOf(text, from, firstLine);
    RowReader rows(text, from, delimiter, firstLine);
    Row header;
    rows.next(header);
    ContactMaker maker(header.cells, result);
    if (!maker.knowsAnyColumn()) {
        result.notThisFormat =
            "its first row names no column of a contact (First Name, Last Name, ...)";
        return result;
    }
    Row row;
    Contact contact;
    while (rows.next(row)) {
        if (!maker.make(row, contact)) continue;
        if (each)
            each(contact);
        else
            result.contacts.push_back(std::move(contact));
    }
    maker.countIgnored();
    return result;
}

}  // namespace csv
