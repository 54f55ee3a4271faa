#pragma once

#include <cstddef>
#include <string>

#include "sync/names.h"
#include "sync/plan.h"

// What a sync tells its user: a line for each change it makes or leaves, and the
// summary that closes. The words live here; the sync only counts and chooses.
namespace cardsync {

struct Totals {
    size_t sent = 0, received = 0, deletedHere = 0, deletedThere = 0, conflicts = 0;
    size_t untouched = 0;  // server cards the card file cannot hold, left as they are
};

// The folder that keeps the losing versions of conflicts: "<card file>.conflicts".
inline std::string conflictsFolderOf(const std::string& cardFile) {
    return cardFile + ".conflicts";
}

// "3 sent, 2 received, 1 deleted here, 0 deleted there, 1 conflict kept in test.txt.conflicts"
std::string summaryOf(const Totals& totals, const std::string& conflictsFolder);

// Where a contact stood when the sync decided on it: held in the card file, on the
// server, and agreed on by the last sync.
struct Standing {
    bool here = false, there = false, agreed = false;
};

// "added there: Ann Lee", or for a conflict why it was one, what was done and where
// the losing version is kept; empty for a step that changes neither side.
std::string changeLine(const Names& names, const Decision& decision, const Standing& standing,
                       const std::string& keptAs);

// "left untouched on the server: <card>: <why>"
std::string untouchedLine(const std::string& card, const std::string& why);
std::string namesTakenThere(const Names& names);  // a reason: another card has the names
std::string changedAgainLine(const Names& names);
std::string leftForNextSyncLine(const Names& names);

}  // namespace cardsync
