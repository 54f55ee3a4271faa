#include "data/card_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/card_codec.h"
#include "data/entry.h"
#include "data/fingerprint.h"
#include "platform/files.h"

namespace {

// What the card file held when this program last read or wrote it.
struct FileState {
    files::ReadResult presence = files::ReadResult::missing;
    Fingerprint content;

    bool operator==(const FileState& other) const {
        return presence == other.presence &&
               (presence != files::ReadResult::ok || content == other.content);
    }
};

struct Change {
    enum Kind { put, remove } kind;
    Entry entry;
};

FileState known;
// Set when the last load left some of the file's bytes behind, so that the next
// save, which rewrites the file from `entries` alone, keeps the original first.
bool originalNeedsBackup = false;
// The card file did not fit in memory: it is never rewritten from what did.
bool fileTooLarge = false;
std::vector<Change> unwrittenChanges;

constexpr int kReplaceAttempts = 10;
constexpr int kReplaceRetryMilliseconds = 100;
constexpr int kMostBackups = 9999;
// The card file, "test.txt" unless a program names another; its temporary files
// and backups are named after it and lie beside it.
std::string cardFile = kCardFileName;
constexpr const char* kTemporarySuffix = ".tmp";

FileState currentState(files::FileSystem& fs) {
    FileState state;
    state.presence = fs.readFile(
        cardFile, [&](const char* bytes, size_t size) { state.content.add(bytes, size); });
    return state;
}

struct LoadedFile {
    FileState state;
    bool complete = true;
};

// Reads the card file into `into`. The records are counted first, up to the Ctrl-Z
// that ends the data, so that the collection is sized once for what will be
// loaded: a growing array would briefly need half as much again.
LoadedFile readCardFile(files::FileSystem& fs, std::vector<Entry>& into) {
    LoadedFile loaded;
    size_t terminators = 0;
    bool ended = false;
    loaded.state.presence = fs.readFile(cardFile, [&](const char* bytes, size_t size) {
        if (ended) return;
        auto stop = static_cast<const char*>(std::memchr(bytes, kEndOfText, size));
        ended = stop != nullptr;
        terminators +=
            static_cast<size_t>(std::count(bytes, stop ? stop : bytes + size, kRecordTerminator));
    });
    if (loaded.state.presence != files::ReadResult::ok) return loaded;
    into.reserve(into.size() + terminators + 1);

    CardFileDecoder decoder(into);
    // The fingerprint trails one byte behind, so that it can leave out a last Ctrl-Z.
    Fingerprint& content = loaded.state.content;
    char last = 0;
    bool any = false;
    loaded.state.presence = fs.readFile(cardFile, [&](const char* bytes, size_t size) {
        if (size == 0) return;
        decoder.feed(bytes, size);
        if (any) content.add(&last, 1);
        content.add(bytes, size - 1);
        last = bytes[size - 1];
        any = true;
    });
    loaded.complete = decoder.finish() && loaded.state.presence == files::ReadResult::ok;
    if (!any) return loaded;
    if (last == kEndOfText && !fs.isReadOnly(cardFile) &&
        fs.truncateFile(cardFile, static_cast<size_t>(content.size())))
        return loaded;
    content.add(&last, 1);
    return loaded;
}

void applyChange(const Change& change) {
    if (change.kind == Change::put) {
        appendEntry(change.entry);  // the normalising merge lets it win over an older one
        return;
    }
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return sameNames(e, change.entry); }),
                  entries.end());
}

// Another program has changed the card file: read it again and apply this
// program's unwritten changes to it, in order. False when it cannot be read now.
bool reloadAndReapply(files::FileSystem& fs) {
    std::vector<Entry> reloaded;
    LoadedFile loaded = readCardFile(fs, reloaded);
    if (loaded.state.presence == files::ReadResult::failed) return false;
    entries.swap(reloaded);
    known = loaded.state;
    originalNeedsBackup = !loaded.complete;
    for (const Change& change : unwrittenChanges) applyChange(change);
    normaliseEntries();
    return true;
}

bool replaceWithRetries(files::FileSystem& fs, const std::string& source,
                        const std::string& target) {
    for (int attempt = 1;; ++attempt) {
        files::ReplaceResult result = fs.replaceFile(source, target);
        if (result == files::ReplaceResult::ok) return true;
        if (result == files::ReplaceResult::failed || attempt == kReplaceAttempts) return false;
        fs.pause(kReplaceRetryMilliseconds);
    }
}

std::string backupName(int number) {
    if (number == 1) return cardFile + ".bak";
    return cardFile + "." + std::to_string(number) + ".bak";
}

// Copies the card file as it is now to the first free backup name, which `keptAs`
// receives (nothing to keep leaves it empty). False when it could not be kept.
bool keepOriginalAsBackup(files::FileSystem& fs, std::string& keptAs) {
    std::string original;
    switch (files::readWholeFile(fs, cardFile, original)) {
        case files::ReadResult::missing:
            return true;  // nothing left to lose
        case files::ReadResult::failed:
            return false;
        case files::ReadResult::ok:
            break;
    }
    const std::string temporary = temporaryCardFileName();
    if (fs.writeDurably(temporary, original)) {
        for (int number = 1; number <= kMostBackups; ++number) {
            files::MoveResult moved = fs.moveWithoutReplacing(temporary, backupName(number));
            if (moved == files::MoveResult::exists) continue;
            if (moved == files::MoveResult::failed) break;
            keptAs = backupName(number);
            return true;
        }
    }
    fs.removeFile(temporary);
    return false;
}

// A crashed save leaves its temporary file behind. One of this machine whose
// process has ended is removed; any other may belong to a save under way.
void removeStaleTemporaryFiles(files::FileSystem& fs) {
    const std::string prefix = cardFile + "." + files::machineName() + "-";
    const size_t suffixLength = std::strlen(kTemporarySuffix);
    for (const std::string& name : fs.namesStartingWith(prefix)) {
        if (name.size() <= prefix.size() + suffixLength ||
            name.compare(name.size() - suffixLength, suffixLength, kTemporarySuffix) != 0)
            continue;
        std::string process =
            name.substr(prefix.size(), name.size() - prefix.size() - suffixLength);
        if (process.size() > 10 || !std::all_of(process.begin(), process.end(),
                                                [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        unsigned long id = std::stoul(process);
        if (id != files::currentProcessId() && !fs.isProcessRunning(id)) fs.removeFile(name);
    }
}

SaveOutcome writeEntries() {
    SaveOutcome outcome;
    normaliseEntries();
    if (fileTooLarge) {
        outcome.status = SaveStatus::tooLarge;
        return outcome;
    }
    files::FileSystem& fs = files::fileSystem();
    removeStaleTemporaryFiles(fs);
    FileState now = currentState(fs);
    if (now.presence == files::ReadResult::failed) {
        outcome.status = SaveStatus::unreadable;
        return outcome;
    }
    // A file that has vanished is written again from memory rather than taken as an
    // empty address book: a sync client or an editor may only be moving it about.
    if (now.presence == files::ReadResult::ok && !(now == known)) {
        if (!reloadAndReapply(fs)) {
            outcome.status = SaveStatus::unreadable;
            return outcome;
        }
        outcome.reloaded = true;
    }
    if (fs.isReadOnly(cardFile)) return outcome;
    if (originalNeedsBackup) {
        if (!keepOriginalAsBackup(fs, outcome.backupName)) return outcome;
        originalNeedsBackup = false;
    }
    const std::string bytes = encodeCardFile(entries);
    const std::string temporary = temporaryCardFileName();
    if (!fs.writeDurably(temporary, bytes) || !replaceWithRetries(fs, temporary, cardFile)) {
        fs.removeFile(temporary);
        return outcome;
    }
    known.presence = files::ReadResult::ok;
    known.content = Fingerprint();
    known.content.add(bytes.data(), bytes.size());
    unwrittenChanges.clear();
    outcome.status = SaveStatus::written;
    return outcome;
}

}  // namespace

void useCardFile(const std::string& path) { cardFile = path; }

const std::string& cardFilePath() { return cardFile; }

std::string temporaryCardFileName() {
    return cardFile + "." + files::machineName() + "-" + std::to_string(files::currentProcessId()) +
           kTemporarySuffix;
}

LoadProblem loadCardFile() {
    files::FileSystem& fs = files::fileSystem();
    fileTooLarge = false;
    unwrittenChanges.clear();
    LoadedFile loaded;
    try {
        loaded = readCardFile(fs, entries);
    } catch (const std::bad_alloc&) {
        fileTooLarge = true;
    } catch (const std::length_error&) {
        fileTooLarge = true;
    }
    if (fileTooLarge) {
        std::vector<Entry>().swap(entries);  // give back what was taken
        return LoadProblem::tooLarge;
    }
    known = loaded.state;
    originalNeedsBackup = !loaded.complete;
    return loaded.state.presence == files::ReadResult::failed ? LoadProblem::unreadable
                                                              : LoadProblem::none;
}

SaveOutcome saveCardFile() {
    try {
        return writeEntries();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return SaveOutcome{};  // out of memory: nothing was replaced
}

void noteEntryPut(const Entry& entry) { unwrittenChanges.push_back({Change::put, entry}); }

void noteEntryRemoved(const Entry& entry) { unwrittenChanges.push_back({Change::remove, entry}); }

bool hasUnwrittenChanges() { return !unwrittenChanges.empty(); }
