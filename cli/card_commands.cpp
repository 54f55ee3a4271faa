#include "cli/card_commands.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

#include "cli/command_support.h"
#include "data/card_integrity.h"
#include "data/entry.h"
#include "interchange/codepage.h"
#include "interchange/tab_separated.h"
#include "interchange/utf8.h"
#include "platform/console.h"
#include "platform/files.h"

namespace {

// Output goes out a piece of about a megabyte at a time, so that a book of millions
// is never held a second time, whole, as text.
constexpr size_t kPieceSize = 1 << 20;

// Writes the card file's entries to `output`: `head`, then what `append` adds for
// each, a piece at a time. An entry with a byte the code page does not define is
// left out and said on standard error, as an import says what it cannot take.
int exportEntries(const CardOptions& options, const std::string& output, std::string head,
                  const std::function<void(std::string&, const Contact&)>& append) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, false, exitCode)) return exitCode;
    // Written there, the export would take the place of the address book it is made of.
    if (!isStandardOutput(output) && files::realFileSystem().isSameFile(output, card.file.path()))
        return fail(output, "is the card file itself; export to another file");
    std::string piece = std::move(head);
    bool holdsHead = true;
    size_t next = 0;
    Contact contact;
    std::string why;
    writeOutput(
        output,
        [&](std::string_view& given) {
            if (!holdsHead) piece.clear();  // the piece given last time has been written
            holdsHead = false;
            for (; next < card.entries.size() && piece.size() < kPieceSize; ++next) {
                if (contactOf(card.entries[next], options.codePage, contact, why)) {
                    append(piece, contact);
                    continue;
                }
                complain(card.file.path() + ": " +
                         displayName(contact.firstName, contact.middleName, contact.lastName) +
                         ": " + why + "; not exported");
                exitCode = kDoneWithFindings;
            }
            given = piece;
            return !piece.empty();
        },
        exitCode);
    return exitCode;
}

const std::string& fieldOf(const Contact& c, int field) { return *fieldsOf(c)[field]; }

// A cell of the table a terminal shows: a line break as " / ", and every other
// control character visible (ESC as ^[, a C1 control as <U+009B>), so that no
// name can move the cursor, retitle the window or worse.
std::string tableCell(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t start = at;
        const char32_t c = utf8::next(text, at);
        if (c == '\n')
            out += " / ";
        else if (c < 0x20)
            out += std::string("^") + static_cast<char>(c + 0x40);
        else if (c == 0x7F)
            out += "^?";
        else if (c >= 0x80 && c < 0xA0)
            out += "<" + utf8::name(c) + ">";
        else
            out.append(text, start, at - start);
    }
    return out;
}

// The cell cut to `width` characters, an ellipsis in place of what is left out.
std::string cutTo(const std::string& cell, size_t width) {
    if (utf8::length(cell) <= width) return cell;
    size_t at = 0;
    for (size_t kept = 0; kept + 1 < width; ++kept) utf8::next(cell, at);
    return cell.substr(0, at) + "\u2026";
}

// A table line as wide as the console, or as a classic 80-column one where the width
// cannot be told (a pipe, a file): the address column gives up what is too much.
void fitAddressColumn(size_t (&widths)[kFieldCount]) {
    const int columns = console::outputColumns();
    const size_t room = columns > 0 ? static_cast<size_t>(columns) : 80;
    size_t total = 2 * (kFieldCount - 1);
    for (size_t width : widths) total += width;
    if (total < room) return;  // a line as wide as the console would wrap on some
    const size_t least = utf8::length(kFieldLabels[kAddressField]);
    const size_t over = total - room + 1;
    widths[kAddressField] =
        widths[kAddressField] > least + over ? widths[kAddressField] - over : least;
}

// Calls its argument with each contact to show, in order, as often as it is called:
// the contacts are made from the entries as they are shown, never all held at once.
using ContactWalk = std::function<void(const std::function<void(const Contact&)>&)>;

void printContacts(const ContactWalk& eachContact, ListFormat format) {
    std::string out;
    auto writeOutIfLarge = [&out] {
        if (out.size() < kPieceSize) return;
        console::out(out);
        out.clear();
    };
    if (format == ListFormat::tsv) {
        for (int f = 0; f < kFieldCount; ++f) out += std::string(f ? "\t" : "") + kFieldLabels[f];
        out += "\n";
        eachContact([&](const Contact& c) {
            for (int f = 0; f < kFieldCount; ++f)
                out += (f ? "\t" : "") + tabSeparatedField(fieldOf(c, f));
            out += "\n";
            writeOutIfLarge();
        });
        return console::out(out);
    }
    size_t widths[kFieldCount];
    for (int f = 0; f < kFieldCount; ++f) widths[f] = utf8::length(kFieldLabels[f]);
    eachContact([&widths](const Contact& c) {
        for (int f = 0; f < kFieldCount; ++f)
            widths[f] = std::max(widths[f], utf8::length(tableCell(fieldOf(c, f))));
    });
    fitAddressColumn(widths);
    auto row = [&](auto cellOf) {
        std::string line;
        for (int f = 0; f < kFieldCount; ++f) {
            std::string cell = cutTo(cellOf(f), widths[f]);
            line += cell;
            if (f < kFieldCount - 1) line += std::string(widths[f] - utf8::length(cell) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
        writeOutIfLarge();
    };
    row([](int f) { return std::string(kFieldLabels[f]); });
    eachContact([&](const Contact& c) { row([&](int f) { return tableCell(fieldOf(c, f)); }); });
    console::out(out);
}

bool matchesEveryTerm(const Contact& c, const std::vector<std::string>& keys) {
    std::string fields[kFieldCount];
    for (int f = 0; f < kFieldCount; ++f) fields[f] = utf8::matchKey(fieldOf(c, f));
    for (const std::string& key : keys)
        if (std::none_of(std::begin(fields), std::end(fields), [&](const std::string& field) {
                return field.find(key) != std::string::npos;
            }))
            return false;
    return true;
}

}  // namespace

int listEntries(const CardOptions& options, ListFormat format) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, false, exitCode)) return exitCode;
    printContacts(
        [&](const auto& show) {
            for (const Entry& e : card.entries) show(contactOf(e, options.codePage));
        },
        format);
    return kDone;
}

int findEntries(const CardOptions& options, const std::vector<std::string>& terms,
                ListFormat format) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, false, exitCode)) return exitCode;
    std::vector<std::string> keys;
    for (const std::string& term : terms) keys.push_back(utf8::matchKey(term));
    std::vector<size_t> found;  // where the matches are, not copies of them
    for (size_t i = 0; i < card.entries.size(); ++i)
        if (matchesEveryTerm(contactOf(card.entries[i], options.codePage), keys))
            found.push_back(i);
    printContacts(
        [&](const auto& show) {
            for (size_t i : found) show(contactOf(card.entries[i], options.codePage));
        },
        format);
    return found.empty() ? kDoneWithFindings : kDone;  // as grep: 1 when nothing matched
}

int exportVCard(const CardOptions& options, vcard::Version version, const std::string& output) {
    return exportEntries(options, output, "", [version](std::string& out, const Contact& c) {
        vcard::appendCard(out, c, version);
    });
}

int exportCsv(const CardOptions& options, csv::Layout layout, bool byteOrderMark,
              const std::string& output) {
    return exportEntries(
        options, output, csv::header(layout, byteOrderMark),
        [layout](std::string& out, const Contact& c) { csv::appendRow(out, c, layout); });
}

int checkCardFile(const CardOptions& options) {
    UndefinedBytes undefined;
    for (int b = 0; b < 256; ++b)
        undefined.byte[b] =
            codepage::isUndefinedByte(options.codePage, static_cast<unsigned char>(b));
    IntegrityReport report;
    CardFile file(options.file, files::realFileSystem());
    const LoadProblem problem = file.inspect(undefined, report);
    if (problem != LoadProblem::none)
        return fail(options.file, loadProblemText(problem, file.lastFailure()));
    std::vector<std::string> findings;
    auto note = [&](size_t count, const std::string& what) {
        if (count) findings.push_back(what + ": " + std::to_string(count));
    };
    const CardFileDecoder::Statistics& records = report.records;
    note(records.recordsWithoutFourSeparators, "records without exactly four field separators");
    note(records.bytesAfterEnd, "bytes after the Ctrl-Z that ends the data, not loaded");
    note(records.bytesCutAtZero, "bytes after a zero byte in a record, not loaded");
    note(records.recordsOver1023Bytes,
         "records over 1023 bytes, where older copies of the program stop loading");
    note(report.sexNeitherMaleNorFemale,
         "entries whose sex is neither \"Male\" nor \"Female\" (the form shows Female)");
    note(report.sameNamesAsEarlier,
         "entries with the same three names as an earlier one (merged into it at the next save)");
    note(report.outOfLastNameOrder, "entries out of last-name order (sorted at the next save)");
    note(report.undefinedBytes,
         "bytes that code page " + std::to_string(options.codePage) + " does not define");

    std::string text = options.file + ": " + std::to_string(records.records) + " records, " +
                       std::to_string(records.records * 5) + " fields, " +
                       std::to_string(report.bytes) + " bytes\n";
    for (const std::string& finding : findings) text += "  " + finding + "\n";
    if (findings.empty()) text += "  no findings\n";
    console::out(text);
    return findings.empty() ? kDone : kDoneWithFindings;
}
