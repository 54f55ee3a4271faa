#include "data/program_globals.h"

unsigned entryCount() { return static_cast<unsigned>(entries.size()); }

Entry& entryAt(unsigned index) { return entries[index]; }

LoadProblem loadCardFile() { return cardFile.load(entries); }

SaveOutcome saveCardFile() { return cardFile.save(entries); }

void putEntry(const Entry& entry) { cardFile.put(entries, entry); }

unsigned removeSameNames(const Entry& names) {
    return static_cast<unsigned>(cardFile.remove(entries, names));
}

bool hasUnwrittenChanges() { return cardFile.hasUnwrittenChanges(); }
