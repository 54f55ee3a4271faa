#pragma once

#include <string>
#include <vector>

#include "data/card_integrity.h"
#include "data/entry.h"
#include "data/fingerprint.h"
#include "data/card_change_log.h"
#include "data/put_batch.h"
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

// What qbcard and the sync say of a card file `path`: that it is not one, as
// `malformed` of its records show; that a save failed; and what the user should know
// of one that went through (another program's changes read in, a backup kept), a
// line each.
std::string notACardFileText(size_t malformed);
constexpr const char* kNotWrittenText = "could not be written; it is as it was";
struct SaveOutcome;
std::string saveNotesText(const SaveOutcome& outcome, const std::string& path);

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

    // The one way to change a collection that is saved to this file: each change is
    // made and noted in one call (see CardChangeLog).
    using Over = CardChangeLog::Over;
    void put(std::vector<Entry>& entries, const Entry& entry, Over over = Over::anything) {
        changes_.put(entries, entry, over);
    }
    size_t remove(std::vector<Entry>& entries, const Entry& names, Over over = Over::anything) {
        return changes_.remove(entries, names, over);
    }
    PutBatch& putMany(std::vector<Entry>& entries) { return changes_.putMany(entries); }
    bool hasUnwrittenChanges() const { return !changes_.empty(); }

    // Each save writes its new content to a temporary file of its own first, named
    // after the machine and the process, "<path>.<machine>-<process>.tmp", and then
    // moves it over the card file in one step. When the path is a symbolic link,
    // this and the backups below are named after, and lie beside, its target.
    std::string temporaryName() const;

    // Where the untouched original goes when the file could not be loaded whole:
    // "<path>.bak" for the first, "<path>.2.bak", "<path>.3.bak", ... when that
    // name is taken, so that no backup is ever written over.
    std::string backupName(int number) const;

    // Each save holds "<path>.lock" (beside the link's target, too) from before it
    // reads the file until its new content is in place, and so does the cut of a
    // last Ctrl-Z: another program's save waits for it, so that two saves never
    // interleave. The system gives the lock up when the program ends.
    std::string lockName() const;

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
        bool endsWithEndOfText = false;  // a Ctrl-Z, left out of `state`
    };
    // What became of new content put in the card file's place.
    enum class Placed { written, merged, failed };

    // Reading (card_file.cpp).
    FileState currentState();
    LoadedFile read(std::vector<Entry>& into, const std::string& from);
    void cutEndOfTextMark(LoadedFile& loaded);
    static void keepEndOfTextMark(LoadedFile& loaded);
    LoadedFile readOwnFile(std::vector<Entry>& into, bool loading);
    bool reloadAndReapply(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                          std::vector<Entry>& leftOut);

    // Writing (card_file_save.cpp).
    SaveOutcome write(std::vector<Entry>& entries);
    bool prepareWrite(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                      bool& normalised, FileState& now, SaveOutcome& outcome);
    SaveOutcome writeEntries(std::vector<Entry>& entries, const std::vector<size_t>& positions,
                             bool& normalised);
    Placed placeContent(std::vector<Entry>& entries, const std::string& temporary,
                        const std::string& bytes, bool existed, bool mayMerge,
                        std::vector<Entry>& leftOut);
    Placed moveIntoPlace(std::vector<Entry>& entries, const std::string& temporary, bool mayMerge,
                         std::vector<Entry>& leftOut);
    Placed checkReplaced(std::vector<Entry>& entries, const std::string& replaced,
                         const std::string& written, bool mayMerge, std::vector<Entry>& leftOut);
    void noteWritten(const std::string& bytes);
    bool keepOriginalAsBackup(std::string& keptAs);
    void removeStaleTemporaryFiles();

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
    CardChangeLog changes_;
};
