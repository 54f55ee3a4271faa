#include "sync/local_book.h"

#include <algorithm>

#include "data/card_file.h"

namespace cardsync {

bool LocalBook::load(const std::string& path, std::string& why) {
    path_ = path;
    useCardFile(path);
    eraseAllEntries();
    switch (loadCardFile()) {
        case LoadProblem::unreadable:
            why = "the card file cannot be read";
            return false;
        case LoadProblem::tooLarge:
            why = "the card file is too large for this program's memory";
            return false;
        case LoadProblem::none:
            break;
    }
    normaliseEntries();
    return true;
}

const std::vector<Entry>& LocalBook::entries() const { return ::entries; }

void LocalBook::put(const Entry& entry) {
    appendEntry(entry);  // the normalising merge lets it win over the older one
    noteEntryPut(entry);
}

void LocalBook::remove(const Entry& entry) {
    ::entries.erase(std::remove_if(::entries.begin(), ::entries.end(),
                                   [&](const Entry& e) { return sameNames(e, entry); }),
                    ::entries.end());
    noteEntryRemoved(entry);
}

bool LocalBook::save(std::string& why, std::string& notes) {
    SaveOutcome outcome = saveCardFile();
    if (!outcome) {
        why = "could not be written; it is as it was";
        return false;
    }
    if (outcome.reloaded)
        notes += path_ + " had been changed by another program; its changes are kept\n";
    if (!outcome.backupName.empty())
        notes += "the original of " + path_ + " is kept as " + outcome.backupName + "\n";
    return true;
}

}  // namespace cardsync
