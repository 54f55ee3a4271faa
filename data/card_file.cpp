#include "data/card_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "data/card_codec.h"
#include "data/entry.h"
#include "data/fingerprint.h"
#include "platform/files.h"

namespace {

constexpr int kReplaceAttempts = 10;
constexpr int kReplaceRetryMilliseconds = 100;
constexpr int kMostBackups = 9999;

void applyChange(std::vector<Entry>& entries, const Entry& entry, bool put) {
    if (put) {
        entries.push_back(entry);  // the normalising merge lets it win over an older one
        return;
    }
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return sameNames(e, entry); }),
                  entries.end());
}

LoadProblem problemOf(files::ReadResult presence) {
    switch (presence) {
        case files::ReadResult::missing:
            return LoadProblem::missing;
        case files::ReadResult::failed:
            return LoadProblem::unreadable;
        case files::ReadResult::ok:
            break;
    }
    return LoadProblem::none;
}

}  // namespace

bool CardFile::FileState::operator==(const FileState& other) const {
    return presence == other.presence &&
           (presence != files::ReadResult::ok || content == other.content);
}

CardFile::CardFile(std::string path, files::FileSystem& fs)
    : path_(std::move(path)), target_(path_), fs_(&fs) {}

CardFile::FileState CardFile::currentState() {
    FileState state;
    state.presence = fs_->readFile(
        path_, [&](const char* bytes, size_t size) { state.content.add(bytes, size); });
    return state;
}

// Reads the card file into `into`. The records are counted first, up to the Ctrl-Z
// that ends the data, so that the collection is sized once for what will be
// loaded: a growing array would briefly need half as much again.
CardFile::LoadedFile CardFile::read(std::vector<Entry>& into, const std::string& from) {
    LoadedFile loaded;
    size_t terminators = 0;
    bool ended = false;
    loaded.state.presence = fs_->readFile(from, [&](const char* bytes, size_t size) {
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
    loaded.state.presence = fs_->readFile(from, [&](const char* bytes, size_t size) {
        if (size == 0) return;
        decoder.feed(bytes, size);
        if (any) content.add(&last, 1);
        content.add(bytes, size - 1);
        last = bytes[size - 1];
        any = true;
    });
    loaded.complete = decoder.finish() && loaded.state.presence == files::ReadResult::ok;
    loaded.malformedRecords = decoder.statistics().recordsWithoutFourSeparators;
    if (!any) return loaded;
    if (last == kEndOfText && from == path_ && !fs_->isReadOnly(path_) &&
        fs_->truncateFile(path_, static_cast<size_t>(content.size())))
        return loaded;
    content.add(&last, 1);
    return loaded;
}

// Another program has changed the card file: read it again and apply this
// program's unwritten changes to it, in order, then the puts at `positions` of
// `entries`. False when it cannot be read now.
// Applies the unwritten changes, in order, to another program's collection: a
// guarded one only where the entry it was made over is still as it was read.
void CardFile::reapply(std::vector<Entry>& entries, std::vector<Entry>& leftOut) const {
    for (const Change& change : unwrittenChanges_) {
        if (change.guard != Change::none) {
            const Entry* now = nullptr;  // the last of the same names wins the merge
            for (const Entry& e : entries)
                if (sameNames(e, change.entry)) now = &e;
            const bool asRead =
                change.guard == Change::absent
                    ? now == nullptr
                    : now && now->address == change.before.address && now->sex == change.before.sex;
            if (!asRead) {
                leftOut.push_back(change.entry);
                continue;
            }
        }
        applyChange(entries, change.entry, change.kind == Change::put);
    }
}

bool CardFile::reloadAndReapply(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                                std::vector<Entry>& leftOut) {
    std::vector<Entry> reloaded;
    LoadedFile loaded = read(reloaded);
    // Gone again since it was seen: not taken for an empty address book.
    if (loaded.state.presence != files::ReadResult::ok) return false;
    entries.swap(reloaded);
    known_ = loaded.state;
    originalNeedsBackup_ = !loaded.complete;
    entries.reserve(entries.size() + unwrittenChanges_.size() + positions.size());
    reapply(entries, leftOut);
    // `reloaded` now holds this program's collection, as the positions name it.
    for (size_t position : positions) entries.push_back(std::move(reloaded[position]));
    normaliseEntries(entries);
    return true;
}

bool CardFile::replaceWithRetries(const std::string& source) {
    for (int attempt = 1;; ++attempt) {
        files::ReplaceResult result = fs_->replaceFile(source, target_);
        if (result == files::ReplaceResult::ok) return true;
        if (result == files::ReplaceResult::failed || attempt == kReplaceAttempts) return false;
        fs_->pause(kReplaceRetryMilliseconds);
    }
}

std::string CardFile::backupName(int number) const {
    if (number == 1) return target_ + ".bak";
    return target_ + "." + std::to_string(number) + ".bak";
}

// Copies the card file as it is now to the first free backup name, which `keptAs`
// receives (nothing to keep leaves it empty). False when it could not be kept.
bool CardFile::keepOriginalAsBackup(std::string& keptAs) {
    std::string original;
    switch (files::readWholeFile(*fs_, path_, original)) {
        case files::ReadResult::missing:
            return true;  // nothing left to lose
        case files::ReadResult::failed:
            return false;
        case files::ReadResult::ok:
            break;
    }
    const std::string temporary = temporaryName();
    if (fs_->writeDurably(temporary, original)) {
        for (int number = 1; number <= kMostBackups; ++number) {
            files::MoveResult moved = fs_->moveWithoutReplacing(temporary, backupName(number));
            if (moved == files::MoveResult::exists) continue;
            if (moved == files::MoveResult::failed) break;
            keptAs = backupName(number);
            return true;
        }
    }
    fs_->removeFile(temporary);
    return false;
}

// A crashed save leaves its temporary file behind, and so does one of the sync
// state beside the card file ("<path>.sync-<hex>.<machine>-<process>.tmp").
void CardFile::removeStaleTemporaryFiles() {
    files::removeStaleTemporaryFiles(*fs_, target_ + ".");
}

SaveOutcome CardFile::write(std::vector<Entry>& entries) {
    // Puts noted at positions name places in `entries` as given: it is normalised
    // only once it is known whether they must be applied to a reloaded file. They
    // are taken out first, as they hold for this save only, whatever its outcome.
    std::vector<size_t> positions;
    positions.swap(putPositions_);
    bool normalised = false;
    if (positions.empty()) {
        normaliseEntries(entries);
        normalised = true;
    }
    SaveOutcome outcome = writeEntries(entries, positions, normalised);
    if (!normalised) normaliseEntries(entries);
    return outcome;
}

SaveOutcome CardFile::writeEntries(std::vector<Entry>& entries,
                                   const std::vector<size_t>& positions, bool& normalised) {
    SaveOutcome outcome;
    if (tooLarge_) {
        outcome.status = SaveStatus::tooLarge;
        return outcome;
    }
    // A symbolic link stays, and the file it names is replaced, in that file's folder.
    target_ = fs_->finalPath(path_);
    removeStaleTemporaryFiles();
    FileState now = currentState();
    if (now.presence == files::ReadResult::failed) {
        outcome.status = SaveStatus::unreadable;
        return outcome;
    }
    // A file that has vanished is written again from memory rather than taken as an
    // empty address book: a sync client or an editor may only be moving it about.
    if (now.presence == files::ReadResult::ok && !(now == known_)) {
        if (!reloadAndReapply(entries, positions, outcome.leftOut)) {
            outcome.status = SaveStatus::unreadable;
            return outcome;
        }
        outcome.reloaded = normalised = true;
    } else if (!normalised) {
        normaliseEntries(entries);
        normalised = true;
    }
    if (fs_->isReadOnly(target_)) return outcome;
    if (originalNeedsBackup_) {
        if (!keepOriginalAsBackup(outcome.backupName)) return outcome;
        originalNeedsBackup_ = false;
    }
    const std::string temporary = temporaryName();
    for (int attempt = 1;; ++attempt) {
        const std::string bytes = encodeCardFile(entries);
        if (!fs_->writeDurably(temporary, bytes)) break;
        const bool mayMerge = positions.empty() && attempt < kReplaceAttempts;
        Swapped placed = Swapped::asChecked;
        if (now.presence != files::ReadResult::ok) {
            placed = moveIntoPlace(entries, temporary, mayMerge, outcome.leftOut);
            now.presence = files::ReadResult::ok;  // there now, whoever made it
        } else if (fs_->exchangeFiles(temporary, target_)) {
            // Swapped in where the system can, so that another program's save since
            // the check above is seen in what was replaced, and not lost.
            placed = checkReplaced(entries, temporary, bytes, mayMerge, outcome.leftOut);
            if (placed == Swapped::asChecked) fs_->removeFile(temporary);
        } else if (!replaceWithRetries(temporary)) {
            break;
        }
        if (placed == Swapped::putBack) break;
        if (placed == Swapped::merged) {
            outcome.reloaded = true;
            continue;
        }
        known_.presence = files::ReadResult::ok;
        known_.content = Fingerprint();
        known_.content.add(bytes.data(), bytes.size());
        unwrittenChanges_.clear();
        outcome.status = SaveStatus::written;
        return outcome;
    }
    fs_->removeFile(temporary);
    return outcome;
}

// There was no card file at the check: the new one goes in only where none has
// appeared since, as another program's first save may just have made it. That
// file is read and this program's changes applied to it, for the caller to write.
CardFile::Swapped CardFile::moveIntoPlace(std::vector<Entry>& entries, const std::string& temporary,
                                          bool mayMerge, std::vector<Entry>& leftOut) {
    switch (fs_->moveWithoutReplacing(temporary, target_)) {
        case files::MoveResult::ok:
            return Swapped::asChecked;
        case files::MoveResult::failed:
            return Swapped::putBack;
        case files::MoveResult::exists:
            break;
    }
    leftOut.clear();  // decided anew against this file
    if (!mayMerge || !reloadAndReapply(entries, {}, leftOut) || originalNeedsBackup_)
        return Swapped::putBack;
    return Swapped::merged;
}

// The file at `replaced` is what a swap just took out of the card file's place, for
// `written`. When it is not what was last read or written there, another program
// saved in between: its file is read and this program's changes applied to it, for
// the caller to write. Where they cannot be applied again (an import's, or a file
// not read whole), or saves keep coming, the other program's file is put back
// instead, and the save fails.
CardFile::Swapped CardFile::checkReplaced(std::vector<Entry>& entries, const std::string& replaced,
                                          const std::string& written, bool mayMerge,
                                          std::vector<Entry>& leftOut) {
    std::vector<Entry> theirs;
    LoadedFile loaded = read(theirs, replaced);
    if (loaded.state == known_) return Swapped::asChecked;
    if (!mayMerge || !loaded.complete || loaded.state.presence != files::ReadResult::ok) {
        fs_->exchangeFiles(replaced, target_);
        return Swapped::putBack;
    }
    entries.swap(theirs);
    leftOut.clear();  // decided anew against this file
    reapply(entries, leftOut);
    normaliseEntries(entries);
    // The card file now holds this attempt: the next swap should take out exactly that.
    known_.presence = files::ReadResult::ok;
    known_.content = Fingerprint();
    known_.content.add(written.data(), written.size());
    return Swapped::merged;
}

std::string CardFile::temporaryName() const { return files::temporaryFileName(target_ + "."); }

LoadProblem CardFile::load(std::vector<Entry>& into) {
    tooLarge_ = false;
    unwrittenChanges_.clear();
    putPositions_.clear();
    LoadedFile loaded;
    try {
        loaded = read(into);
    } catch (const std::bad_alloc&) {
        tooLarge_ = true;
    } catch (const std::length_error&) {
        tooLarge_ = true;
    }
    if (tooLarge_) {
        std::vector<Entry>().swap(into);  // give back what was taken
        return LoadProblem::tooLarge;
    }
    known_ = loaded.state;
    originalNeedsBackup_ = !loaded.complete;
    malformedRecords_ = loaded.malformedRecords;
    return problemOf(loaded.state.presence);
}

SaveOutcome CardFile::save(std::vector<Entry>& entries) {
    try {
        return write(entries);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return SaveOutcome{};  // out of memory: nothing was replaced
}

void CardFile::notePut(const Entry& entry) {
    unwrittenChanges_.push_back({Change::put, entry, Change::none, Entry()});
}

void CardFile::noteRemoved(const Entry& entry) {
    unwrittenChanges_.push_back({Change::remove, entry, Change::none, Entry()});
}

void CardFile::noteChangeOver(const Entry* before, const Entry& entry, bool put) {
    unwrittenChanges_.push_back({put ? Change::put : Change::remove, entry,
                                 before ? Change::as : Change::absent, before ? *before : Entry()});
}

LoadProblem CardFile::inspect(const UndefinedBytes& undefined, IntegrityReport& report) {
    std::vector<Entry> found;
    CardFileDecoder decoder(found);
    size_t bytes = 0;
    files::ReadResult presence = fs_->readFile(path_, [&](const char* piece, size_t size) {
        decoder.feed(piece, size);
        bytes += size;
    });
    if (presence == files::ReadResult::ok) {
        decoder.finish();
        report = inspectEntries(found, decoder.statistics(), bytes, undefined);
    }
    return problemOf(presence);
}

std::string loadProblemText(LoadProblem problem, const std::string& systemReason) {
    switch (problem) {
        case LoadProblem::missing:
            return "no such card file";
        case LoadProblem::unreadable:
            return "the card file cannot be read: " + systemReason;
        case LoadProblem::tooLarge:
            return "the card file is too large for this program's memory";
        case LoadProblem::none:
            break;
    }
    return std::string();
}
