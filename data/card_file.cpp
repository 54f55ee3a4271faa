#include "data/card_file.h"

#include <algorithm>
#include <string>

#include "data/card_codec.h"
#include "data/entry.h"
#include "platform/files.h"

namespace {

// Set when the last load left some of the file's bytes behind, so that the next
// save, which rewrites the file from `entries` alone, keeps the original first.
bool originalNeedsBackup = false;

constexpr int kReplaceAttempts = 10;
constexpr int kReplaceRetryMilliseconds = 100;

bool writeAndReplace(files::FileSystem& fs, const std::string& bytes, const char* target) {
    if (!fs.writeDurably(kCardFileTempName, bytes)) {
        fs.removeFile(kCardFileTempName);
        return false;
    }
    for (int attempt = 1;; ++attempt) {
        files::ReplaceResult result = fs.replaceFile(kCardFileTempName, target);
        if (result == files::ReplaceResult::ok) return true;
        if (result == files::ReplaceResult::failed || attempt == kReplaceAttempts) break;
        fs.pause(kReplaceRetryMilliseconds);
    }
    fs.removeFile(kCardFileTempName);
    return false;
}

bool keepOriginalAsBackup(files::FileSystem& fs) {
    std::string original;
    switch (files::readWholeFile(fs, kCardFileName, original)) {
        case files::ReadResult::missing:
            return true;  // nothing left to lose
        case files::ReadResult::failed:
            return false;
        case files::ReadResult::ok:
            break;
    }
    return writeAndReplace(fs, original, kCardFileBackupName);
}

}  // namespace

void loadCardFile() {
    files::FileSystem& fs = files::fileSystem();
    // A first pass counts the records, so that the collection is sized once: a
    // growing array would briefly need half as much again.
    size_t terminators = 0;
    files::ReadResult result = fs.readFile(kCardFileName, [&](const char* bytes, size_t size) {
        terminators += static_cast<size_t>(std::count(bytes, bytes + size, kRecordTerminator));
    });
    if (result == files::ReadResult::ok) {
        entries.reserve(entries.size() + terminators + 1);
        CardFileDecoder decoder(entries);
        result = fs.readFile(kCardFileName,
                             [&](const char* bytes, size_t size) { decoder.feed(bytes, size); });
        bool complete = decoder.finish();
        originalNeedsBackup = !complete || result != files::ReadResult::ok;
        return;
    }
    // A file that exists but cannot be read is not known to be empty: guard it too.
    originalNeedsBackup = result == files::ReadResult::failed;
}

bool saveCardFile() {
    normaliseEntries();
    files::FileSystem& fs = files::fileSystem();
    if (fs.isReadOnly(kCardFileName)) return false;
    if (originalNeedsBackup) {
        if (!keepOriginalAsBackup(fs)) return false;
        originalNeedsBackup = false;
    }
    return writeAndReplace(fs, encodeCardFile(entries), kCardFileName);
}
