#include "interchange/csv.h"

#include <cctype>
#include <map>

#include "interchange/utf8.h"

namespace csv {

namespace {

enum Column { first, middle, last, fullName, address, sex, gender, ignored };

struct LayoutColumns {
    std::vector<std::pair<const char*, Column>> columns;
};

const LayoutColumns& columnsOf(Layout layout) {
    static const LayoutColumns plain{{{kFieldLabels[0], first},
                                      {kFieldLabels[1], middle},
                                      {kFieldLabels[2], last},
                                      {kFieldLabels[3], address},
                                      {kFieldLabels[4], sex}}};
    static const LayoutColumns google{{{"Name", fullName},
                                       {"Given Name", first},
                                       {"Additional Name", middle},
                                       {"Family Name", last},
                                       {"Gender", gender},
                                       {"Address 1 - Type", ignored},
                                       {"Address 1 - Street", address}}};
    static const LayoutColumns outlook{{{"First Name", first},
                                        {"Middle Name", middle},
                                        {"Last Name", last},
                                        {"Home Street", address},
                                        {"Gender", gender}}};
    return layout == Layout::google ? google : layout == Layout::outlook ? outlook : plain;
}

// What each header names, in lower case; the aliases of other programs' exports.
Column columnNamed(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front())))
        name.erase(0, 1);
    static const std::map<std::string, Column> kNames = {{"first name", first},
                                                         {"given name", first},
                                                         {"first", first},
                                                         {"firstname", first},
                                                         {"middle name", middle},
                                                         {"additional name", middle},
                                                         {"middle", middle},
                                                         {"last name", last},
                                                         {"family name", last},
                                                         {"surname", last},
                                                         {"last", last},
                                                         {"lastname", last},
                                                         {"name", fullName},
                                                         {"display name", fullName},
                                                         {"full name", fullName},
                                                         {"address", address},
                                                         {"home address", address},
                                                         {"home street", address},
                                                         {"address 1 - street", address},
                                                         {"address 1 - formatted", address},
                                                         {"street", address},
                                                         {"street address", address},
                                                         {"sex", sex},
                                                         {"gender", gender}};
    auto found = kNames.find(name);
    return found == kNames.end() ? ignored : found->second;
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

std::string cellFor(const Contact& c, Column column) {
    switch (column) {
        case first:
            return c.firstName;
        case middle:
            return c.middleName;
        case last:
            return c.lastName;
        case fullName:
            return fullNameOf(c);
        case address:
            return c.address;
        case sex:
        case gender:
            return c.sex;
        default:
            return c.address.empty() ? "" : "Home";
    }
}

struct Row {
    std::vector<std::string> cells;
    size_t line;
};

// RFC 4180 rows, tolerant of LF-only line ends. A quoted cell may hold line breaks,
// which are read as "\n".
std::vector<Row> rowsOf(const std::string& text, size_t from, char delimiter) {
    std::vector<Row> rows;
    size_t line = 1;
    Row row{{std::string()}, line};
    bool quoted = false, any = false;
    for (size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                row.cells.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                row.cells.back() += '\n';
                ++line;
            } else {
                row.cells.back() += c;
            }
            continue;
        }
        if (c == '"' && row.cells.back().empty()) {
            quoted = any = true;
        } else if (c == delimiter) {
            row.cells.emplace_back();
            any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (any) rows.push_back(row);
            row = Row{{std::string()}, ++line};
            any = false;
        } else {
            row.cells.back() += c;
            any = true;
        }
    }
    if (any) rows.push_back(row);
    return rows;
}

std::string unguarded(const std::string& cell) {
    if (cell.size() >= 2 && cell[0] == '\'' && needsGuard(cell.substr(1))) return cell.substr(1);
    return cell;
}

// Gender columns of other programs say "male", "female" or "unspecified".
std::string sexOfGender(const std::string& value) {
    std::string lower;
    for (char c : value) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "male" || lower == "m") return "Male";
    if (lower == "female" || lower == "f") return "Female";
    if (lower == "unspecified" || lower == "unknown") return "";
    return value;
}

}  // namespace

std::string write(const std::vector<Contact>& contacts, Layout layout, bool byteOrderMark) {
    std::string out = byteOrderMark ? utf8::kByteOrderMark : "";
    const LayoutColumns& layoutColumns = columnsOf(layout);
    for (size_t i = 0; i < layoutColumns.columns.size(); ++i) {
        if (i) out += ',';
        putCell(out, layoutColumns.columns[i].first);
    }
    out += "\r\n";
    for (const Contact& c : contacts) {
        for (size_t i = 0; i < layoutColumns.columns.size(); ++i) {
            if (i) out += ',';
            putCell(out, cellFor(c, layoutColumns.columns[i].second));
        }
        out += "\r\n";
    }
    return out;
}

ContactsRead read(const std::string& text) {
    ContactsRead result;
    size_t from = utf8::afterByteOrderMark(text);
    // Spreadsheets set to some languages separate with semicolons.
    size_t headerEnd = text.find_first_of("\r\n", from);
    std::string header =
        text.substr(from, headerEnd == std::string::npos ? std::string::npos : headerEnd - from);
    char delimiter =
        header.find(',') == std::string::npos && header.find(';') != std::string::npos ? ';' : ',';
    std::vector<Row> rows = rowsOf(text, from, delimiter);
    std::vector<Column> columns;
    bool known = false;
    if (!rows.empty())
        for (const std::string& name : rows[0].cells) {
            columns.push_back(columnNamed(name));
            known = known || columns.back() != ignored;
        }
    if (!known) {
        result.notThisFormat =
            "its first row names no column of a contact (First Name, Last Name, ...)";
        return result;
    }
    bool hasParts = false;
    for (Column column : columns) hasParts = hasParts || column == first || column == last;
    std::vector<size_t> ignoredCells(columns.size());
    for (size_t r = 1; r < rows.size(); ++r) {
        const Row& row = rows[r];
        Contact contact;
        contact.line = row.line;
        std::string full;
        bool any = false;
        for (size_t i = 0; i < row.cells.size() && i < columns.size(); ++i) {
            std::string cell = unguarded(row.cells[i]);
            any = any || !cell.empty();
            switch (columns[i]) {
                case first:
                    contact.firstName = cell;
                    break;
                case middle:
                    contact.middleName = cell;
                    break;
                case last:
                    contact.lastName = cell;
                    break;
                case fullName:
                    full = cell;
                    break;
                case address:
                    if (contact.address.empty()) contact.address = cell;
                    break;
                case sex:
                    contact.sex = cell;
                    break;
                case gender:
                    contact.sex = sexOfGender(cell);
                    break;
                default:
                    if (!cell.empty()) ++ignoredCells[i];
                    break;
            }
        }
        if (!any) continue;  // a blank row
        if (!hasParts && !full.empty()) takeFullName(full, contact);
        if (row.cells.size() > columns.size()) {
            result.problems.push_back({row.line, "the row has " + std::to_string(row.cells.size()) +
                                                     " cells, the header " +
                                                     std::to_string(columns.size())});
            continue;
        }
        result.contacts.push_back(contact);
    }
    for (size_t i = 0; i < columns.size(); ++i)
        if (ignoredCells[i]) result.ignored[rows[0].cells[i]] += ignoredCells[i];
    return result;
}

}  // namespace csv
