#include "cli/card_commands.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>
#include <unordered_map>

#include "data/card_codec.h"
#include "data/card_file.h"
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

bool exists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file) std::fclose(file);
    return file != nullptr;
}

// Loads the card file as the window program would list it: sorted, same names merged.
bool loadSorted(const CardOptions& options, bool mayBeMissing, int& exitCode) {
    useCardFile(options.file);
    if (!mayBeMissing && !exists(options.file)) {
        exitCode = fail(options.file, "no such card file");
        return false;
    }
    switch (loadCardFile()) {
        case LoadProblem::unreadable:
            exitCode = fail(options.file, "the card file cannot be read");
            return false;
        case LoadProblem::tooLarge:
            exitCode = fail(options.file, "the card file is too large for this program's memory");
            return false;
        case LoadProblem::none:
            break;
    }
    normaliseEntries();
    return true;
}

std::vector<Contact> contactsOf(const std::vector<Entry>& list, unsigned codePage) {
    std::vector<Contact> contacts;
    contacts.reserve(list.size());
    for (const Entry& e : list) contacts.push_back(contactOf(e, codePage));
    return contacts;
}

std::string fieldOf(const Contact& c, int field) {
    const std::string* fields[5] = {&c.firstName, &c.middleName, &c.lastName, &c.address, &c.sex};
    return *fields[field];
}

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
        for (int f = 0; f < 5; ++f) out += std::string(f ? "\t" : "") + kFieldLabels[f];
        out += "\n";
        for (const Contact& c : contacts) {
            for (int f = 0; f < 5; ++f) out += (f ? "\t" : "") + tsvCell(fieldOf(c, f));
            out += "\n";
        }
        return console::out(out);
    }
    size_t widths[5];
    for (int f = 0; f < 5; ++f) widths[f] = utf8::length(kFieldLabels[f]);
    for (const Contact& c : contacts)
        for (int f = 0; f < 5; ++f)
            widths[f] = std::max(widths[f], utf8::length(tableCell(fieldOf(c, f))));
    auto row = [&](auto cellOf) {
        std::string line;
        for (int f = 0; f < 5; ++f) {
            std::string cell = cellOf(f);
            line += cell;
            if (f < 4) line += std::string(widths[f] - utf8::length(cell) + 2, ' ');
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
    if (files::fileSystem().writeDurably(output, bytes)) return true;
    exitCode = fail(output, "cannot be written");
    return false;
}

std::string namesKey(const Entry& e) {
    return e.lastName + '\x1F' + e.firstName + '\x1F' + e.middleName;
}

}  // namespace

int listEntries(const CardOptions& options, bool tabSeparated) {
    int exitCode = kDone;
    if (!loadSorted(options, false, exitCode)) return exitCode;
    printContacts(contactsOf(entries, options.codePage), tabSeparated);
    return kDone;
}

int findEntries(const CardOptions& options, const std::string& text) {
    int exitCode = kDone;
    if (!loadSorted(options, false, exitCode)) return exitCode;
    const std::string wanted = utf8::folded(text);
    std::vector<Contact> found;
    for (const Contact& c : contactsOf(entries, options.codePage))
        for (int f = 0; f < 5; ++f)
            if (utf8::folded(fieldOf(c, f)).find(wanted) != std::string::npos) {
                found.push_back(c);
                break;
            }
    printContacts(found, false);
    return found.empty() ? kDoneWithFindings : kDone;  // as grep: 1 when nothing matched
}

int exportVCard(const CardOptions& options, vcard::Version version, const std::string& output) {
    int exitCode = kDone;
    if (!loadSorted(options, false, exitCode)) return exitCode;
    writeOutput(output, vcard::write(contactsOf(entries, options.codePage), version), exitCode);
    return exitCode;
}

int exportCsv(const CardOptions& options, csv::Layout layout, bool byteOrderMark,
              const std::string& output) {
    int exitCode = kDone;
    if (!loadSorted(options, false, exitCode)) return exitCode;
    writeOutput(output, csv::write(contactsOf(entries, options.codePage), layout, byteOrderMark),
                exitCode);
    return exitCode;
}

int importContacts(const CardOptions& options, const std::string& input, bool dryRun, bool lossy) {
    std::string text;
    switch (files::readWholeFile(files::fileSystem(), input, text)) {
        case files::ReadResult::missing:
            return fail(input, "no such file");
        case files::ReadResult::failed:
            return fail(input, "cannot be read");
        case files::ReadResult::ok:
            break;
    }
    std::vector<Contact> contacts;
    std::vector<Problem> problems;
    std::map<std::string, size_t> ignored;
    if (vcard::looksLikeVCard(text)) {
        vcard::Read read = vcard::read(text);
        contacts = std::move(read.contacts);
        problems = std::move(read.problems);
        ignored = std::move(read.ignored);
    } else {
        csv::Read read;
        std::string why;
        if (!csv::read(text, read, why))
            return fail(input, "neither a vCard nor a CSV file: " + why);
        contacts = std::move(read.contacts);
        problems = std::move(read.problems);
        ignored = std::move(read.ignored);
    }
    int exitCode = kDone;
    if (!loadSorted(options, true, exitCode)) return exitCode;

    std::unordered_map<std::string, size_t> byNames;
    for (size_t i = 0; i < entries.size(); ++i) byNames.emplace(namesKey(entries[i]), i);
    size_t added = 0, updated = 0, unchanged = 0, replaced = 0;
    for (const Contact& contact : contacts) {
        Entry entry;
        std::string why;
        if (!entryOf(contact, options.codePage, lossy, entry, why, replaced)) {
            problems.push_back({contact.line, why});
            continue;
        }
        auto found = byNames.find(namesKey(entry));
        if (found == byNames.end()) {
            byNames.emplace(namesKey(entry), entries.size());
            appendEntry(entry);
            noteEntryPut(entry);
            ++added;
            continue;
        }
        Entry& kept = entries[found->second];
        if (kept.address == entry.address && kept.sex == entry.sex) {
            ++unchanged;
            continue;
        }
        // As a Save of the same names would: the imported address and sex win.
        kept.address = entry.address;
        kept.sex = entry.sex;
        noteEntryPut(entry);
        ++updated;
    }

    std::string report;
    if (added + updated > 0 && !dryRun) {
        SaveOutcome outcome = saveCardFile();
        if (!outcome) return fail(options.file, "could not be written; it is as it was");
        if (outcome.reloaded)
            report += options.file + " had been changed by another program; its changes are kept\n";
        if (!outcome.backupName.empty())
            report +=
                "the original of " + options.file + " is kept as " + outcome.backupName + "\n";
    }
    std::sort(problems.begin(), problems.end(),
              [](const Problem& a, const Problem& b) { return a.line < b.line; });
    report += input + ": " + std::to_string(added) + " added, " + std::to_string(updated) +
              " updated, " + std::to_string(unchanged) + " unchanged, " +
              std::to_string(problems.size()) + " rejected" +
              (dryRun ? " (a dry run: " + options.file + " is unchanged)" : "") + "\n";
    for (const Problem& p : problems)
        report += "  line " + std::to_string(p.line) + ": " + p.reason + "\n";
    if (!ignored.empty()) {
        std::vector<std::pair<size_t, std::string>> counts;
        for (const auto& item : ignored) counts.emplace_back(item.second, item.first);
        std::sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
        report += "ignored (the card file cannot hold them):";
        for (size_t i = 0; i < counts.size(); ++i)
            report += (i ? ", " : " ") + std::to_string(counts[i].first) + " " + counts[i].second;
        report += "\n";
    }
    if (replaced) report += std::to_string(replaced) + " characters stored as \"?\"\n";
    console::out(report);
    return problems.empty() ? kDone : kDoneWithFindings;
}

int checkCardFile(const CardOptions& options) {
    std::string bytes;
    switch (files::readWholeFile(files::fileSystem(), options.file, bytes)) {
        case files::ReadResult::missing:
            return fail(options.file, "no such card file");
        case files::ReadResult::failed:
            return fail(options.file, "the card file cannot be read");
        case files::ReadResult::ok:
            break;
    }
    std::vector<Entry> found;
    CardFileDecoder decoder(found);
    decoder.feed(bytes.data(), bytes.size());
    decoder.finish();
    const CardFileDecoder::Statistics& stats = decoder.statistics();

    std::vector<std::string> findings;
    auto note = [&](size_t count, const std::string& what) {
        if (count) findings.push_back(what + ": " + std::to_string(count));
    };
    note(stats.recordsWithoutFourSeparators, "records without exactly four field separators");
    note(stats.bytesAfterEnd, "bytes after the Ctrl-Z that ends the data, not loaded");
    note(stats.bytesCutAtZero, "bytes after a zero byte in a record, not loaded");
    note(stats.recordsOver1023Bytes,
         "records over 1023 bytes, where older copies of the program "
         "stop loading");
    size_t otherSex = 0, outOfOrder = 0, undefined = 0;
    std::set<std::tuple<std::string, std::string, std::string>> names;
    bool undefinedByte[256];
    for (int b = 0; b < 256; ++b)
        undefinedByte[b] =
            codepage::isUndefinedByte(options.codePage, static_cast<unsigned char>(b));
    for (size_t i = 0; i < found.size(); ++i) {
        const Entry& e = found[i];
        if (e.sex != "Male" && e.sex != "Female") ++otherSex;
        if (i > 0 && entryLess(e, found[i - 1])) ++outOfOrder;
        names.emplace(e.lastName, e.firstName, e.middleName);
        for (const std::string* field :
             {&e.firstName, &e.middleName, &e.lastName, &e.address, &e.sex})
            for (char c : *field) undefined += undefinedByte[static_cast<unsigned char>(c)] ? 1 : 0;
    }
    note(otherSex, "entries whose sex is neither \"Male\" nor \"Female\" (the form shows Female)");
    note(found.size() - names.size(),
         "entries with the same three names as an earlier one "
         "(merged into it at the next save)");
    note(outOfOrder, "entries out of last-name order (sorted at the next save)");
    note(undefined,
         "bytes that code page " + std::to_string(options.codePage) + " does not define");

    std::string report = options.file + ": " + std::to_string(stats.records) + " records, " +
                         std::to_string(stats.records * 5) + " fields, " +
                         std::to_string(bytes.size()) + " bytes\n";
    for (const std::string& finding : findings) report += "  " + finding + "\n";
    if (findings.empty()) report += "  no findings\n";
    console::out(report);
    return findings.empty() ? kDone : kDoneWithFindings;
}
