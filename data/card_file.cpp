#include "data/card_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/card_codec.h"
#include "data/entry.h"
#include "data/fingerprint.h"
#include "platform/files.h"
#include "platform/safe_write.h"

namespace {

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
// loaded: a growing array would briefly need half as much again. A Ctrl-Z that
// ends the file is left out of the fingerprint, for the caller to cut or keep.
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
    loaded.endsWithEndOfText = last == kEndOfText;
    if (!loaded.endsWithEndOfText) content.add(&last, 1);
    return loaded;
}

// Cuts a Ctrl-Z off the end of the card file, as text-mode opening does, where the
// file may be written; otherwise it stays, and counts as part of the file. The cut
// is made under the save's lock, and only while the file is still the one read:
// another program's save may have put a new file in its place since.
void CardFile::cutEndOfTextMark(LoadedFile& loaded) {
    if (!loaded.endsWithEndOfText) return;
    LoadedFile cut = loaded;
    cut.endsWithEndOfText = false;
    keepEndOfTextMark(loaded);
    if (fs_->isReadOnly(path_)) return;
    const std::unique_ptr<files::HeldLock> lock = files::lockWithRetries(*fs_, lockName());
    if (lock && currentState() == loaded.state &&
        fs_->truncateFile(path_, static_cast<size_t>(cut.state.content.size())))
        loaded = cut;
}

void CardFile::keepEndOfTextMark(LoadedFile& loaded) {
    if (!loaded.endsWithEndOfText) return;
    loaded.state.content.add(&kEndOfText, 1);
    loaded.endsWithEndOfText = false;
}

// The card file as this program reads it: on loading, a last Ctrl-Z is cut off; a
// save, which holds the lock already and writes a new file, keeps it until then.
CardFile::LoadedFile CardFile::readOwnFile(std::vector<Entry>& into, bool loading) {
    LoadedFile loaded = read(into, path_);
    if (loading)
        cutEndOfTextMark(loaded);
    else
        keepEndOfTextMark(loaded);
    return loaded;
}

// Another program has changed the card file: read it again and apply this
// program's unwritten changes to it, in order, then the puts at `positions` of
// `entries`. False when it cannot be read now.
bool CardFile::reloadAndReapply(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                                std::vector<Entry>& leftOut) {
    std::vector<Entry> reloaded;
    LoadedFile loaded = readOwnFile(reloaded, false);
    // Gone again since it was seen: not taken for an empty address book.
    if (loaded.state.presence != files::ReadResult::ok) return false;
    entries.swap(reloaded);
    known_ = loaded.state;
    originalNeedsBackup_ = !loaded.complete;
    entries.reserve(entries.size() + positions.size());
    changes_.reapply(entries, leftOut);
    // `reloaded` now holds this program's collection, as the positions name it.
    for (size_t position : positions) entries.push_back(std::move(reloaded[position]));
    normaliseEntries(entries);
    return true;
}

std::string CardFile::temporaryName() const { return files::temporaryFileName(target_ + "."); }

std::string CardFile::lockName() const { return fs_->finalPath(path_) + ".lock"; }

std::string CardFile::backupName(int number) const {
    if (number == 1) return target_ + ".bak";
    return target_ + "." + std::to_string(number) + ".bak";
}

LoadProblem CardFile::load(std::vector<Entry>& into) {
    tooLarge_ = false;
    changes_.clear();
    LoadedFile loaded;
    try {
        loaded = readOwnFile(into, true);
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
