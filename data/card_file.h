#pragma once

#include <string>

#include "data/entry.h"

// The card file "test.txt" in the current working directory holds every entry.
constexpr const char* kCardFileName = "test.txt";

// Another card file than "test.txt", for a program that is told which (the window
// program never is). Its temporary files and backups are named after it.
void useCardFile(const std::string& path);
const std::string& cardFilePath();

// Where the untouched original goes when the card file could not be loaded whole:
// "test.txt.bak", or "test.txt.2.bak", "test.txt.3.bak", ... when that name is
// taken, so that no backup is ever written over.
constexpr const char* kCardFileBackupName = "test.txt.bak";

// Each save writes its new content to a temporary file of its own first, named
// after the machine and the process, "test.txt.<machine>-<process>.tmp", and
// then moves it over the card file in one step.
std::string temporaryCardFileName();

enum class LoadProblem {
    none,        // loaded, or there is no card file yet
    unreadable,  // the file exists but could not be read: nothing is written over it
    tooLarge,    // the file needs more memory than the program has: nothing is written over it
};

// Appends the card file's records to `entries`. A missing file loads nothing and
// creates nothing; a read-only file is loaded like any other. A Ctrl-Z at the very
// end of a file that may be written is cut off, as text-mode opening does.
LoadProblem loadCardFile();

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

    explicit operator bool() const { return status == SaveStatus::written; }
};

// Normalises `entries` and replaces the card file's whole content with them; the
// old file stays whole when the new content cannot be written safely.
SaveOutcome saveCardFile();

// The changes this program makes, remembered until they have been written, so that
// they can be applied again to a card file that another program has changed.
void noteEntryPut(const Entry& entry);      // a Save: this entry, by its three names
void noteEntryRemoved(const Entry& entry);  // a Remove: whatever entry has these names
bool hasUnwrittenChanges();
