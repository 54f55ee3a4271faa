#include "cli/card_commands.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "data/card_codec.h"
#include "data/card_file.h"
#include "data/card_integrity.h"
#include "data/entry.h"
#include "interchange/codepage.h"
#include "interchange/utf8.h"
#include "platform/console.h"
#include "platform/files.h"

namespace {

int fail(const std::string& file, const std::string& message) {
    console::error("qbcard: " + file + ": " + message + "\n");
    return kNothingDone;
}

// The card file of the options, loaded as the window program would list it:
// sorted, same names merged.
struct LoadedCardFile {
    CardFile file;
    std::vector<Entry> entries;

    explicit LoadedCardFile(const CardOptions& options)
        : file(options.file, files::realFileSystem()) {}
};

bool loadSorted(LoadedCardFile& card, bool mayBeMissing, int& exitCode) {
    switch (card.file.load(card.entries)) {
        case LoadProblem::missing:
            if (mayBeMissing) break;
            exitCode = fail(card.file.path(), "no such card file");
            return false;
        case LoadProblem::unreadable:
            exitCode = fail(card.file.path(), "the card file cannot be read");
            return false;
        case LoadProblem::tooLarge:
            exitCode =
                fail(card.file.path(), "the card file is too large for this program's memory");
            return false;
        case LoadProblem::none:
            break;
    }
    normaliseEntries(card.entries);
    return true;
}

std::vector<Contact> contactsOf(const std::vector<Entry>& list, unsigned codePage) {
    std::vector<Contact> contacts;
    contacts.reserve(list.size());
    for (const Entry& e : list) contacts.push_back(contactOf(e, codePage));
    return contacts;
}

const std::string& fieldOf(const Contact& c, int field) { return *fieldsOf(c)[field]; }

// TSV as other programs read it: a tab, a line break or a backslash escaped.
std::string tsvCell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::string tableCell(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string(" / ") : std::string(1, c);
    return out;
}

void printContacts(const std::vector<Contact>& contacts, bool tabSeparated) {
    std::string out;
    if (tabSeparated) {
        for (int f = 0; f < kFieldCount; ++f) out += std::string(f ? "\t" : "") + kFieldLabels[f];
        out += "\n";
        for (const Contact& c : contacts) {
            for (int f = 0; f < kFieldCount; ++f) out += (f ? "\t" : "") + tsvCell(fieldOf(c, f));
            out += "\n";
        }
        return console::out(out);
    }
    size_t widths[kFieldCount];
    for (int f = 0; f < kFieldCount; ++f) widths[f] = utf8::length(kFieldLabels[f]);
    for (const Contact& c : contacts)
        for (int f = 0; f < kFieldCount; ++f)
            widths[f] = std::max(widths[f], utf8::length(tableCell(fieldOf(c, f))));
    auto row = [&](auto cellOf) {
        std::string line;
        for (int f = 0; f < kFieldCount; ++f) {
            std::string cell = cellOf(f);
            line += cell;
            if (f < kFieldCount - 1) line += std::string(widths[f] - utf8::length(cell) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    };
    row([](int f) { return std::string(kFieldLabels[f]); });
    for (const Contact& c : contacts) row([&](int f) { return tableCell(fieldOf(c, f)); });
    console::out(out);
}

bool writeOutput(const std::string& output, const std::string& bytes, int& exitCode) {
    if (output.empty()) {
        console::out(bytes);
        return true;
    }
    if (files::realFileSystem().writeDurably(output, bytes)) return true;
    exitCode = fail(output, "cannot be written");
    return false;
}

// The contacts of an interchange file, whichever of the two formats it is in.
bool readContacts(const std::string& input, ContactsRead& read, int& exitCode) {
    std::string text;
    switch (files::readWholeFile(files::realFileSystem(), input, text)) {
        case files::ReadResult::missing:
            exitCode = fail(input, "no such file");
            return false;
        case files::ReadResult::failed:
            exitCode = fail(input, "cannot be read");
            return false;
        case files::ReadResult::ok:
            break;
    }
    read = vcard::looksLikeVCard(text) ? vcard::read(text) : csv::read(text);
    if (read.notThisFormat.empty()) return true;
    exitCode = fail(input, "neither a vCard nor a CSV file: " + read.notThisFormat);
    return false;
}

struct ImportCounts {
    size_t added = 0, updated = 0, unchanged = 0, replaced = 0;
};

// Puts each contact into the card file's entries by the program's own rule, and
// notes each change for the save; a contact that cannot be stored becomes a problem.
ImportCounts putContacts(const ContactsRead& read, const CardOptions& options, bool lossy,
                         LoadedCardFile& card, std::vector<Problem>& problems) {
    ImportCounts counts;
    EntryPutter putter(card.entries);
    for (const Contact& contact : read.contacts) {
        Entry entry;
        std::string why;
        if (!entryOf(contact, options.codePage, lossy, entry, why, counts.replaced)) {
            problems.push_back({contact.line, why});
            continue;
        }
        switch (putter.put(entry)) {
            case PutResult::added:
                ++counts.added;
                break;
            case PutResult::updated:
                ++counts.updated;
                break;
            case PutResult::unchanged:
                ++counts.unchanged;
                continue;
        }
        card.file.notePut(entry);
    }
    return counts;
}

// "ignored (the card file cannot hold them): 120 TEL, 98 EMAIL", most first.
std::string ignoredLine(const std::map<std::string, size_t>& ignored) {
    if (ignored.empty()) return "";
    std::vector<std::pair<size_t, std::string>> counts;
    for (const auto& item : ignored) counts.emplace_back(item.second, item.first);
    std::sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::string line = "ignored (the card file cannot hold them):";
    for (size_t i = 0; i < counts.size(); ++i)
        line += (i ? ", " : " ") + std::to_string(counts[i].first) + " " + counts[i].second;
    return line + "\n";
}

}  // namespace

int listEntries(const CardOptions& options, bool tabSeparated) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, false, exitCode)) return exitCode;
    printContacts(contactsOf(card.entries, options.codePage), tabSeparated);
    return kDone;
}

int findEntries(const CardOptions& options, const std::string& text) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, false, exitCode)) return exitCode;
    const std::string wanted = utf8::folded(text);
    std::vector<Contact> found;
    for (const Contact& c : contactsOf(card.entries, options.codePage))
        for (int f = 0; f < kFieldCount; ++f)
            if (utf8::folded(fieldOf(c, f)).find(wanted) != std::string::npos) {
                found.push_back(c);
                break;
            }
    printContacts(found, false);
    return found.empty() ? kDoneWithFindings : kDone;  // as grep: 1 when nothing matched
}

int exportVCard(const CardOptions& options, vcard::Version version, const std::string& output) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, false, exitCode)) return exitCode;
    writeOutput(output, vcard::write(contactsOf(card.entries, options.codePage), version),
                exitCode);
    return exitCode;
}

int exportCsv(const CardOptions& options, csv::Layout layout, bool byteOrderMark,
              const std::string& output) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, false, exitCode)) return exitCode;
    writeOutput(output,
                csv::write(contactsOf(card.entries, options.codePage), layout, byteOrderMark),
                exitCode);
    return exitCode;
}

int importContacts(const CardOptions& options, const std::string& input, bool dryRun, bool lossy) {
    int exitCode = kDone;
    ContactsRead read;
    if (!readContacts(input, read, exitCode)) return exitCode;
    LoadedCardFile card(options);
    if (!loadSorted(card, true, exitCode)) return exitCode;
    std::vector<Problem> problems = std::move(read.problems);
    const ImportCounts counts = putContacts(read, options, lossy, card, problems);

    std::string report;
    if (counts.added + counts.updated > 0 && !dryRun) {
        SaveOutcome outcome = card.file.save(card.entries);
        if (!outcome) return fail(options.file, "could not be written; it is as it was");
        if (outcome.reloaded)
            report += options.file + " had been changed by another program; its changes are kept\n";
        if (!outcome.backupName.empty())
            report +=
                "the original of " + options.file + " is kept as " + outcome.backupName + "\n";
    }
    std::sort(problems.begin(), problems.end(),
              [](const Problem& a, const Problem& b) { return a.line < b.line; });
    report += input + ": " + std::to_string(counts.added) + " added, " +
              std::to_string(counts.updated) + " updated, " + std::to_string(counts.unchanged) +
              " unchanged, " + std::to_string(problems.size()) + " rejected" +
              (dryRun ? " (a dry run: " + options.file + " is unchanged)" : "") + "\n";
    for (const Problem& p : problems)
        report += "  line " + std::to_string(p.line) + ": " + p.reason + "\n";
    report += ignoredLine(read.ignored);
    if (counts.replaced)
        report += std::to_string(counts.replaced) + " characters stored as \"?\"\n";
    console::out(report);
    return problems.empty() ? kDone : kDoneWithFindings;
}

int checkCardFile(const CardOptions& options) {
    UndefinedBytes undefined;
    for (int b = 0; b < 256; ++b)
        undefined.byte[b] =
            codepage::isUndefinedByte(options.codePage, static_cast<unsigned char>(b));
    IntegrityReport report;
    switch (CardFile(options.file, files::realFileSystem()).inspect(undefined, report)) {
        case LoadProblem::missing:
            return fail(options.file, "no such card file");
        case LoadProblem::unreadable:
        case LoadProblem::tooLarge:
            return fail(options.file, "the card file cannot be read");
        case LoadProblem::none:
            break;
    }
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
