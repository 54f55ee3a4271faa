// The card file's safe save: the file is read before it is written over, another
// program's changes are merged in, and the new content takes the old one's place
// in one step, so that the file on disk is always the old or the new one, whole.

#include <memory>
#include <string>
#include <vector>

#include "data/card_codec.h"
#include "data/card_file.h"
#include "data/entry.h"
#include "platform/files.h"
#include "platform/safe_write.h"

namespace {

// How many saves of another program, one after another, are merged in before this
// save gives up and leaves the other program's file in place.
constexpr int kMostMerges = 10;

}  // namespace

SaveOutcome CardFile::write(std::vector<Entry>& entries) {
    // Puts noted at positions name places in `entries` as given: it is normalised
    // only once it is known whether they must be applied to a reloaded file. They
    // are taken out first, as they hold for this save only, whatever its outcome.
    const std::vector<size_t> positions = changes_.takeBatchPositions();
    bool normalised = false;
    if (positions.empty()) {
        normaliseEntries(entries);
        normalised = true;
    }
    SaveOutcome outcome = writeEntries(entries, positions, normalised);
    if (!normalised) normaliseEntries(entries);
    return outcome;
}

// Everything before the write: the file as it is `now`, read again and merged with
// when another program has changed it, and its original kept when it must be.
// False when it must not be written, with the outcome's status saying why.
bool CardFile::prepareWrite(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                            bool& normalised, FileState& now, SaveOutcome& outcome) {
    // A symbolic link stays, and the file it names is replaced, in that file's folder.
    target_ = fs_->finalPath(path_);
    removeStaleTemporaryFiles();
    now = currentState();
    if (now.presence == files::ReadResult::failed) {
        outcome.status = SaveStatus::unreadable;
        return false;
    }
    // A file that has vanished is written again from memory rather than taken as an
    // empty address book: a sync client or an editor may only be moving it about.
    if (now.presence == files::ReadResult::ok && !(now == known_)) {
        if (!reloadAndReapply(entries, positions, outcome.leftOut)) {
            outcome.status = SaveStatus::unreadable;
            return false;
        }
        outcome.reloaded = normalised = true;
    } else if (!normalised) {
        normaliseEntries(entries);
        normalised = true;
    }
    if (fs_->isReadOnly(target_)) return false;
    if (originalNeedsBackup_) {
        if (!keepOriginalAsBackup(outcome.backupName)) return false;
        originalNeedsBackup_ = false;
    }
    return true;
}

SaveOutcome CardFile::writeEntries(std::vector<Entry>& entries,
                                   const std::vector<size_t>& positions, bool& normalised) {
    SaveOutcome outcome;
    if (tooLarge_) {
        outcome.status = SaveStatus::tooLarge;
        return outcome;
    }
    FileState now;
    const std::unique_ptr<files::HeldLock> lock = files::lockWithRetries(*fs_, lockName());
    if (!lock || !prepareWrite(entries, positions, normalised, now, outcome)) return outcome;
    const std::string temporary = temporaryName();
    for (int attempt = 1;; ++attempt) {
        const std::string bytes = encodeCardFile(entries);
        const Placed placed =
            placeContent(entries, temporary, bytes, now.presence == files::ReadResult::ok,
                         positions.empty() && attempt < kMostMerges, outcome.leftOut);
        if (placed == Placed::failed) break;
        now.presence = files::ReadResult::ok;  // there now, whoever made it
        if (placed == Placed::merged) {
            outcome.reloaded = true;
            continue;
        }
        noteWritten(bytes);
        outcome.status = SaveStatus::written;
        return outcome;
    }
    fs_->removeFile(temporary);
    return outcome;
}

// Puts `bytes` in the card file's place through `temporary`: swapped in where the
// system can (for a file that `existed` at the check), so that another program's
// save since the file was checked is seen in what was replaced, and not lost.
CardFile::Placed CardFile::placeContent(std::vector<Entry>& entries, const std::string& temporary,
                                        const std::string& bytes, bool existed, bool mayMerge,
                                        std::vector<Entry>& leftOut) {
    if (!fs_->writeDurably(temporary, bytes)) return Placed::failed;
    if (!existed) return moveIntoPlace(entries, temporary, mayMerge, leftOut);
    if (!fs_->exchangeFiles(temporary, target_))
        return files::replaceWithRetries(*fs_, temporary, target_) ? Placed::written
                                                                   : Placed::failed;
    const Placed placed = checkReplaced(entries, temporary, bytes, mayMerge, leftOut);
    if (placed == Placed::written) fs_->removeFile(temporary);
    return placed;
}

// There was no card file at the check: the new one goes in only where none has
// appeared since, as another program's first save may just have made it. That
// file is read and this program's changes applied to it, for the caller to write;
// where they cannot be, the other program's file stays and the save fails.
CardFile::Placed CardFile::moveIntoPlace(std::vector<Entry>& entries, const std::string& temporary,
                                         bool mayMerge, std::vector<Entry>& leftOut) {
    switch (fs_->moveWithoutReplacing(temporary, target_)) {
        case files::MoveResult::ok:
            return Placed::written;
        case files::MoveResult::failed:
            return Placed::failed;
        case files::MoveResult::exists:
            break;
    }
    leftOut.clear();  // decided anew against this file
    if (!mayMerge || !reloadAndReapply(entries, {}, leftOut) || originalNeedsBackup_)
        return Placed::failed;
    return Placed::merged;
}

// The file at `replaced` is what a swap just took out of the card file's place, for
// `written`. When it is not what was last read or written there, another program
// saved in between: its file is read and this program's changes applied to it, for
// the caller to write. Where they cannot be applied again (an import's, or a file
// not read whole), or saves keep coming, the other program's file is put back
// instead, and the save fails.
CardFile::Placed CardFile::checkReplaced(std::vector<Entry>& entries, const std::string& replaced,
                                         const std::string& written, bool mayMerge,
                                         std::vector<Entry>& leftOut) {
    std::vector<Entry> theirs;
    LoadedFile loaded = read(theirs, replaced);
    keepEndOfTextMark(loaded);
    if (loaded.state == known_) return Placed::written;
    if (!mayMerge || !loaded.complete || loaded.state.presence != files::ReadResult::ok) {
        fs_->exchangeFiles(replaced, target_);
        return Placed::failed;
    }
    entries.swap(theirs);
    leftOut.clear();  // decided anew against this file
    changes_.reapply(entries, leftOut);
    normaliseEntries(entries);
    // The card file now holds this attempt: the next swap should take out exactly that.
    known_.presence = files::ReadResult::ok;
    known_.content = Fingerprint();
    known_.content.add(written.data(), written.size());
    return Placed::merged;
}

void CardFile::noteWritten(const std::string& bytes) {
    known_.presence = files::ReadResult::ok;
    known_.content = Fingerprint();
    known_.content.add(bytes.data(), bytes.size());
    changes_.clearChanges();
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
    keptAs = files::writeUnderFreeName(*fs_, temporaryName(), original,
                                       [this](int number) { return backupName(number); });
    return !keptAs.empty();
}

// A crashed save leaves its temporary file behind, and so does one of the sync
// state beside the card file ("<path>.sync-<hex>.<machine>-<process>.tmp").
void CardFile::removeStaleTemporaryFiles() {
    files::removeStaleTemporaryFiles(*fs_, target_ + ".");
}
