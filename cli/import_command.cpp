// qbcard import: vCard and CSV files into the card file, by the program's own rule.

#include <algorithm>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <cstdint>
#include <vector>

#include "cli/card_commands.h"
#include "cli/command_support.h"
#include "data/card_file.h"
#include "data/entry.h"
#include "data/put_batch.h"
#include "interchange/codepage.h"
#include "interchange/text_encoding.h"
#include "interchange/utf8.h"
#include "platform/console.h"
#include "platform/conventions.h"
#include "platform/files.h"

namespace {

size_t count(std::string_view text, std::string_view what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + what.size()))
        ++found;
    return found;
}

// Where the input first put an entry: small, since an import may touch millions.
struct Origin {
    uint32_t source;  // which input file
    size_t line;
};

class Import {
  public:
    Import(const CardOptions& options, const ImportOptions& how, LoadedCardFile& card)
        : options_(options), how_(how), card_(card), batch_(card.file.putMany(card.entries)) {}

    // Reads one input file's bytes and puts its contacts. False when the whole file
    // could not be read, which it has said.
    bool readSource(const std::string& source, std::string bytes);

    // The same for a UTF-8 vCard file given a piece at a time, each cut where
    // vcard::pieceEnd allows, with the number of lines before it. The first piece
    // sizes the collection for the whole file, `fileBytes` long.
    void readPiece(const std::string& source, const std::string& piece, size_t linesBefore,
                   size_t fileBytes);

    // The summary for standard output; the card file is written unless `dryRun`.
    int finish(const std::string& inputs);

  private:
    void take(Contact& contact);
    void note(ContactsRead& read);
    // Room for as many more entries as the input may hold.
    void reserveFor(size_t records) {
        batch_.reserve(records);
        try {
            origins_.reserve(batch_.touches() + records);
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
    }
    std::string changeLines(size_t& added, size_t& updated, size_t& unchanged) const;
    bool saveUnlessDry(bool changed, std::string& report);
    void printReport(const std::string& inputs, const std::string& report,
                     const std::string& changes, size_t added, size_t updated, size_t unchanged);
    void problem(size_t line, const std::string& why) {
        problems_.push_back(
            prefixed(sources_.back() + ": line " + std::to_string(line) + ": " + why));
    }
    std::string nameOf(const Entry& entry) const {
        const Contact c = contactOf(entry, options_.codePage);
        return displayName(c.firstName, c.middleName, c.lastName);
    }

    const CardOptions& options_;
    const ImportOptions& how_;
    LoadedCardFile& card_;
    PutBatch& batch_;
    std::vector<std::string> sources_;
    std::vector<Origin> origins_;          // for each entry the batch touched, in its order
    std::vector<std::string> problems_;    // records rejected
    std::vector<std::string> duplicates_;  // records that came again
    std::map<std::string, size_t> ignored_;
    std::string namedByCard_;  // the entries a company's card named, one line each
    size_t replaced_ = 0;
};

void Import::take(Contact& contact) {
    Entry entry;
    std::string why;
    if (!entryOf(contact, options_.codePage, how_.lossy, entry, why, replaced_))
        return problem(contact.line, why);
    if (!contact.namedBy.empty())
        namedByCard_ += "  " + nameOf(entry) + ": no personal name; named by its " +
                        contact.namedBy + " (" + sources_.back() + " line " +
                        std::to_string(contact.line) + ")\n";
    const PutBatch::Put put = batch_.put(entry, how_.replace ? PutMode::replace : PutMode::merge);
    if (!put.again) {
        origins_.push_back({static_cast<uint32_t>(sources_.size() - 1), contact.line});
        return;
    }
    // The same person twice in one input: the later record wins, as a later Save
    // does, and both places are said.
    const Origin& first = origins_[put.touch];
    duplicates_.push_back(prefixed(sources_.back() + ": line " + std::to_string(contact.line) +
                                   ": " + nameOf(entry) + " again (first at " +
                                   sources_[first.source] + " line " + std::to_string(first.line) +
                                   "); the later one wins"));
}

bool Import::readSource(const std::string& source, std::string bytes) {
    sources_.push_back(source);
    std::string text, why;
    if (!text_encoding::toUtf8(std::move(bytes), how_.inputEncoding, text, why)) {
        fail(source, "cannot be read: " + why);
        return false;
    }
    auto each = [&](Contact& contact) { take(contact); };
    ContactsRead read;
    const bool isVCard = vcard::looksLikeVCard(text);
    reserveFor(isVCard ? count(text, "BEGIN:") : count(text, "\n") + 1);
    if (isVCard) {
        read = vcard::read(text, each);
    } else {
        // A CSV file's cells are read as UTF-8 unless told otherwise. On Windows, where
        // Excel and Outlook save CSV in the ANSI code page, one that is not UTF-8 is read
        // in it, as the system's own programs read it; elsewhere, say how to tell.
        if (how_.inputEncoding.empty() && !utf8::isValid(text)) {
            if (!conventions::kTextInAnsiCodePage) {
                fail(source,
                     "is not UTF-8 text; name its encoding with --input-encoding, for example "
                     "--input-encoding 1252 for a CSV saved by Excel or Outlook on Windows");
                return false;
            }
            const std::string page = std::to_string(codepage::defaultCodePage());
            std::string converted;
            if (!text_encoding::toUtf8(std::move(text), page, converted, why)) {
                fail(source, "cannot be read: " + why);
                return false;
            }
            text = std::move(converted);
            complain(source + ": not UTF-8; read in the ANSI code page " + page +
                     " (--input-encoding names another)");
        }
        read = csv::read(text, each);
        if (!read.notThisFormat.empty()) {
            fail(source, "neither a vCard nor a CSV file: " + read.notThisFormat);
            return false;
        }
    }
    note(read);
    return true;
}

void Import::readPiece(const std::string& source, const std::string& piece, size_t linesBefore,
                       size_t fileBytes) {
    if (linesBefore == 0) {
        sources_.push_back(source);
        // Files are mostly alike throughout: as many cards to the byte as the first piece.
        const double cardsPerByte = static_cast<double>(count(piece, "BEGIN:")) / piece.size();
        reserveFor(static_cast<size_t>(cardsPerByte * std::max(fileBytes, piece.size()) * 1.05));
    }
    ContactsRead read = vcard::read(
        piece, [&](Contact& contact) { take(contact); }, linesBefore);
    note(read);
}

// Says what a reader found wrong, by line, and counts what it ignored.
void Import::note(ContactsRead& read) {
    std::sort(read.problems.begin(), read.problems.end(),
              [](const Problem& a, const Problem& b) { return a.line < b.line; });
    for (const Problem& p : read.problems) problem(p.line, p.reason);
    for (const auto& [what, count] : read.ignored) ignored_[what] += count;
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

// One line for each entry the input added or changed; counts them, and those it
// left as they were.
std::string Import::changeLines(size_t& added, size_t& updated, size_t& unchanged) const {
    std::string changes;
    for (size_t touch = 0; touch < batch_.touches(); ++touch) {
        const Entry& now = card_.entries[batch_.positionOf(touch)];
        const PutBatch::Before* before = batch_.before(touch);
        if (!before) {
            ++added;
            changes += "  added " + nameOf(now) + "\n";
            continue;
        }
        // An import changes no name of an entry it updates: only these two can differ.
        std::string fields;
        if (now.address != before->address) fields += kFieldLabels[kAddressField];
        if (now.sex != before->sex)
            fields += std::string(fields.empty() ? "" : ", ") + kFieldLabels[kSexField];
        if (fields.empty()) {
            ++unchanged;
            continue;
        }
        ++updated;
        changes += "  updated " + nameOf(now) + ": " + fields + "\n";
    }
    return changes;
}

// Writes the card file when the input changed it and this is no dry run; its notes
// go to `report`. False when it could not be, which it has said.
bool Import::saveUnlessDry(bool changed, std::string& report) {
    if (!changed || how_.dryRun) return true;
    const std::string& file = card_.file.path();
    if (card_.file.malformedRecords() > 0 && !how_.force) {
        fail(file, notACardFileText(card_.file.malformedRecords()) +
                       ". Give --force to rewrite it as a card file, its original kept as a "
                       "backup");
        return false;
    }
    if (card_.file.malformedRecords() > 0) card_.file.keepOriginalBeforeNextSave();
    SaveOutcome outcome = card_.file.save(card_.entries);
    if (!outcome) {
        fail(file, kNotWrittenText);
        return false;
    }
    report += saveNotesText(outcome, file);
    return true;
}

void Import::printReport(const std::string& inputs, const std::string& report,
                         const std::string& changes, size_t added, size_t updated,
                         size_t unchanged) {
    for (const auto* messages : {&problems_, &duplicates_})
        for (const std::string& message : *messages) console::error(message + "\n");
    const std::string& file = card_.file.path();
    console::out(report + inputs + ": " + std::to_string(added) + " added, " +
                 std::to_string(updated) + " updated, " + std::to_string(unchanged) +
                 " unchanged, " + std::to_string(problems_.size()) + " rejected" +
                 (how_.dryRun ? " (a dry run: " + file + " is unchanged)" : "") + "\n");
    console::out(changes);
    console::out(namedByCard_);
    std::string counts = ignoredLine(ignored_);
    if (replaced_) counts += std::to_string(replaced_) + " characters stored as \"?\"\n";
    console::out(counts);
}

int Import::finish(const std::string& inputs) {
    size_t added = 0, updated = 0, unchanged = 0;
    const std::string changes = changeLines(added, updated, unchanged);
    std::vector<Origin>().swap(origins_);
    std::string report;
    if (!saveUnlessDry(added + updated > 0, report)) return kNothingDone;
    printReport(inputs, report, changes, added, updated, unchanged);
    return problems_.empty() ? kDone : kDoneWithFindings;
}

// The files an input names: itself, or a folder's .vcf files in name order.
std::vector<std::string> filesOf(const std::string& input) {
    files::FileSystem& fs = files::realFileSystem();
    if (input == "-" || !fs.isFolder(input)) return {input};
    std::string folder = input;
    if (folder.back() != '/' && folder.back() != '\\') folder += conventions::kPathSeparator;
    std::vector<std::string> found;
    for (const std::string& name : fs.namesIn(folder)) {
        std::string lower = utf8::matchKey(name);
        if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".vcf") == 0)
            found.push_back(folder + name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Reads one input into the import. A UTF-8 vCard file larger than a piece goes a
// piece at a time, so that only a few megabytes of it are held at once however
// large it is; anything else (standard input, CSV, another encoding) is read whole.
bool readInto(Import& import, const std::string& path, const std::string& encoding) {
    std::string held;
    if (path == "-") {
        if (console::readInput(held)) return import.readSource(path, std::move(held));
        fail("standard input", "cannot be read");
        return false;
    }
    constexpr size_t kPieceBytes = size_t{4} << 20;
    files::FileSystem& fs = files::realFileSystem();
    const size_t fileBytes = fs.expectedSize(path);
    held.reserve(std::min(fileBytes, kPieceBytes + (size_t{1} << 16)));
    enum class Mode { undecided, pieces, whole } mode = Mode::undecided;
    size_t linesBefore = 0, nextLook = kPieceBytes;
    auto consume = [&](const char* bytes, size_t size) {
        held.append(bytes, size);
        if (mode == Mode::whole || held.size() < nextLook) return;
        if (mode == Mode::undecided) {
            mode = text_encoding::isTakenAsItIs(encoding, held) && vcard::looksLikeVCard(held)
                       ? Mode::pieces
                       : Mode::whole;
            if (mode == Mode::whole) return held.reserve(fileBytes);
        }
        const size_t end = vcard::pieceEnd(held);
        if (end == 0) {  // one card larger than a piece: look again when there is twice as much
            nextLook = 2 * held.size();
            return;
        }
        const std::string piece = held.substr(0, end);
        held.erase(0, end);
        import.readPiece(path, piece, linesBefore, fileBytes);
        linesBefore += vcard::lineCount(piece);
        nextLook = kPieceBytes;
    };
    switch (fs.readFile(path, consume)) {
        case files::ReadResult::missing:
            fail(path, "no such file");
            return false;
        case files::ReadResult::failed:
            fail(path, "cannot be read: " + fs.lastFailure());
            return false;
        case files::ReadResult::ok:
            break;
    }
    if (mode != Mode::pieces) return import.readSource(path, std::move(held));
    import.readPiece(path, held, linesBefore, fileBytes);
    return true;
}

}  // namespace

int importContacts(const CardOptions& options, const std::vector<std::string>& inputs,
                   const ImportOptions& how) {
    int exitCode = kDone;
    LoadedCardFile card(options);
    if (!loadSorted(card, true, exitCode)) return exitCode;
    Import import(options, how, card);
    std::string names;
    for (const std::string& input : inputs) {
        names += (names.empty() ? "" : ", ") + input;
        for (const std::string& path : filesOf(input))
            if (!readInto(import, path, how.inputEncoding)) return kNothingDone;
    }
    return import.finish(names);
}
