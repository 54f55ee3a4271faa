#include "data/card_file.h"

// The window program's operations on its one card file and its one collection.

LoadProblem loadCardFile() { return cardFile.load(entries); }

SaveOutcome saveCardFile() { return cardFile.save(entries); }

void noteEntryPut(const Entry& entry) { cardFile.notePut(entry); }

void noteEntryRemoved(const Entry& entry) { cardFile.noteRemoved(entry); }

bool hasUnwrittenChanges() { return cardFile.hasUnwrittenChanges(); }
