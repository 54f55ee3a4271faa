#pragma once

#include <string>
#include <vector>

#include "data/card_integrity.h"
#include "data/entry.h"
#include "data/fingerprint.h"
#include "platform/files.h"

// The window program's card file: "test.txt" in the current working directory.
constexpr const char* kCardFileName = "test.txt";

enum class LoadProblem {
    none,        // loaded
    missing,     // there is no card file yet: nothing loaded, nothing created
    unreadable,  // the file exists but could not be read: nothing is written over it
    tooLarge,    // the file needs more memory than the program has: nothing is written over it
};

// A load problem in the words qbcard and the sync use: "no such card file", "the card
// file cannot be read: <the system's reason>", "the card file is too large for this
// program's memory". The window program says it in whole sentences of its own.
std::string loadProblemText(LoadProblem problem, const std::string& systemReason);

enum class SaveStatus {
    written,
    failed,      // the old file is whole; read-only, for one, or a full disk
    unreadable,  // the file exists but cannot be read: it is never written over
    tooLarge,    // the file could not be loaded into memory: it is never written over
};

struct SaveOutcome {
    SaveStatus status = SaveStatus::failed;
    // Another program had changed the card file since this one last read or wrote
    // it: it was read again and this program's unwritten changes applied to it.
    bool reloaded = false;
    // Where this save kept the original of a file that could not be loaded whole.
    std::string backupName;
    // Changes noted with the entry they were made over, left out because another
    // program had changed that entry since: the entries they would have written.
    std::vector<Entry> leftOut;

    explicit operator bool() const { return status == SaveStatus::written; }
};

// One card file at `path`, reached through `fs`, with what this program knows of
// it: what it held when last read or written, whether its original must be kept
// before the next write, and the changes not yet written.
class CardFile {
  public:
    CardFile(std::string path, files::FileSystem& fs);

    const std::string& path() const { return path_; }

    // Appends the file's records to `into`. A missing file loads nothing and creates
    // nothing; a read-only file is loaded like any other. A Ctrl-Z at the very end of
    // a file that may be written is cut off, as text-mode opening does.
    LoadProblem load(std::vector<Entry>& into);

    // Normalises `entries` and replaces the file's whole content with them; the old
    // file stays whole when the new content cannot be written safely. When another
    // program has changed the file, `entries` becomes its content with this
    // program's unwritten changes applied.
    SaveOutcome save(std::vector<Entry>& entries);

    // The changes this program makes, remembered until they have been written, so
    // that they can be applied again to a card file that another program has changed.
    void notePut(const Entry& entry);      // a Save: this entry, by its three names
    void noteRemoved(const Entry& entry);  // a Remove: whatever entry has these names
    // A put (or, without `entry`, a removal) made over `before`, the entry with these
    // names as this program read it (none: nullptr). Applied to a file that another
    // program has changed only while that entry is still as read there: a sync must
    // not write its version over an edit it has not seen.
    void noteChangeOver(const Entry* before, const Entry& names, bool put);
    // Many puts at once, as an import makes: the entry at `position` of the collection
    // that the next save is given, which must not be reordered or shrunk before it.
    // Noting a position instead of a copy keeps an import of millions from holding
    // every entry twice. Good for the next save only, whatever its outcome.
    void notePutAt(size_t position) { putPositions_.push_back(position); }
    bool hasUnwrittenChanges() const {
        return !unwrittenChanges_.empty() || !putPositions_.empty();
    }

    // Each save writes its new content to a temporary file of its own first, named
    // after the machine and the process, "<path>.<machine>-<process>.tmp", and then
    // moves it over the card file in one step. When the path is a symbolic link,
    // this and the backups below are named after, and lie beside, its target.
    std::string temporaryName() const;

    // Where the untouched original goes when the file could not be loaded whole:
    // "<path>.bak" for the first, "<path>.2.bak", "<path>.3.bak", ... when that
    // name is taken, so that no backup is ever written over.
    std::string backupName(int number) const;

    // How many of the records last loaded lack the four field separators of a card
    // file's record: a file that is not a card file at all (a vCard given by mistake)
    // has at least one. The window program splits them as they come.
    size_t malformedRecords() const { return malformedRecords_; }

    // Keeps the file's original as a backup before the next save rewrites it.
    void keepOriginalBeforeNextSave() { originalNeedsBackup_ = true; }

    // Why the file system last failed, in its own words ("permission denied").
    std::string lastFailure() const { return fs_->lastFailure(); }

    // What the file holds beyond its entries, read afresh; `report` is filled only
    // when the result is none.
    LoadProblem inspect(const UndefinedBytes& undefined, IntegrityReport& report);

  private:
    // What the card file held when this program last read or wrote it.
    struct FileState {
        files::ReadResult presence = files::ReadResult::missing;
        Fingerprint content;

        bool operator==(const FileState& other) const;
    };
    struct LoadedFile {
        FileState state;
        bool complete = true;
        size_t malformedRecords = 0;
    };
    struct Change {
        enum Kind { put, remove } kind;
        Entry entry;
        enum Guard { none, absent, as } guard = none;  // `as`: the entry is still `before`
        Entry before;
    };

    FileState currentState();
    LoadedFile read(std::vector<Entry>& into) { return read(into, path_); }
    LoadedFile read(std::vector<Entry>& into, const std::string& from);
    // How a new file went into the card file's place: as the check found it, after
    // another program's save it was merged with (to be written again), or not at
    // all (putBack: the other program's file is left there, and the save fails).
    enum class Swapped { asChecked, merged, putBack };
    Swapped moveIntoPlace(std::vector<Entry>& entries, const std::string& temporary, bool mayMerge,
                          std::vector<Entry>& leftOut);
    Swapped checkReplaced(std::vector<Entry>& entries, const std::string& replaced,
                          const std::string& written, bool mayMerge, std::vector<Entry>& leftOut);
    bool reloadAndReapply(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                          std::vector<Entry>& leftOut);
    void reapply(std::vector<Entry>& entries, std::vector<Entry>& leftOut) const;
    SaveOutcome writeEntries(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                             bool& normalised);
    bool replaceWithRetries(const std::string& source);
    bool keepOriginalAsBackup(std::string& keptAs);
    void removeStaleTemporaryFiles();
    SaveOutcome write(std::vector<Entry>& entries);

    std::string path_;
    std::string target_;  // the file the path names in the end, as of the last save
    files::FileSystem* fs_;
    FileState known_;
    // Set when the last load left some of the file's bytes behind, so that the next
    // save, which rewrites the file from the entries alone, keeps the original first.
    bool originalNeedsBackup_ = false;
    // The card file did not fit in memory: it is never rewritten from what did.
    bool tooLarge_ = false;
    size_t malformedRecords_ = 0;
    std::vector<Change> unwrittenChanges_;
    std::vector<size_t> putPositions_;  // applied after unwrittenChanges_, by the next save
};

// The window program's card file, "test.txt", defined with its other globals, and
// the operations it calls on it with `entries`.
extern CardFile cardFile;
LoadProblem loadCardFile();
SaveOutcome saveCardFile();
void noteEntryPut(const Entry& entry);
void noteEntryRemoved(const Entry& entry);
bool hasUnwrittenChanges();
