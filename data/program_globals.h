#pragma once

#include <vector>

#include "data/card_file.h"
#include "data/entry.h"

// The window program's state, for the window program alone (form/ and shell/):
// qbcard, the sync and the tests of the card file own collections and card files
// of their own.

// The address book, in the order the list shows it: row i is entries[i].
extern std::vector<Entry> entries;

// Carries the form's contents into `entries` on Save; keeps the last saved values.
extern Entry scratchEntry;

// The card file "test.txt", which `entries` is loaded from and saved to.
extern CardFile cardFile;

unsigned entryCount();
Entry& entryAt(unsigned index);

// The window program's operations on its one card file and its one collection.
LoadProblem loadCardFile();
SaveOutcome saveCardFile();
void putEntry(const Entry& entry);
// The position the entry with these names had, or entryCount() when there was none.
unsigned removeSameNames(const Entry& names);
bool hasUnwrittenChanges();
