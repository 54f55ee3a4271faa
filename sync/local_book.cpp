#include "sync/local_book.h"

#include <algorithm>

namespace cardsync {

LocalBook::LocalBook(const std::string& path, files::FileSystem& fs) : file_(path, fs) {}

bool LocalBook::load(std::string& why) {
    entries_.clear();
    const LoadProblem problem = file_.load(entries_);
    if (problem == LoadProblem::unreadable || problem == LoadProblem::tooLarge) {
        why = loadProblemText(problem, file_.lastFailure());
        return false;
    }
    // A file that is not a card file (a vCard given by mistake) would be rewritten
    // as one; the sync leaves it alone, as an import does unless told otherwise.
    if (file_.malformedRecords() > 0) {
        why = "is not a card file (" + std::to_string(file_.malformedRecords()) +
              " of its records lack the four field separators); nothing was written";
        return false;
    }
    normaliseEntries(entries_);
    return true;
}

const Entry* LocalBook::held(const Entry& names) const {
    const Entry* found = nullptr;  // the last of the same names is the one that counts
    for (const Entry& e : entries_)
        if (sameNames(e, names)) found = &e;
    return found;
}

void LocalBook::put(const Entry& entry) {
    file_.noteChangeOver(held(entry), entry, true);
    entries_.push_back(entry);  // the save's normalising merge lets it win over the older one
}

void LocalBook::remove(const Entry& entry) {
    file_.noteChangeOver(held(entry), entry, false);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return sameNames(e, entry); }),
                   entries_.end());
}

bool LocalBook::save(std::string& why, std::string& notes) {
    SaveOutcome outcome = file_.save(entries_);
    leftOut_ = outcome.leftOut;
    if (!outcome) {
        why = "could not be written; it is as it was";
        return false;
    }
    const std::string& path = file_.path();
    if (outcome.reloaded)
        notes += path + " had been changed by another program; its changes are kept\n";
    if (!outcome.backupName.empty())
        notes += "the original of " + path + " is kept as " + outcome.backupName + "\n";
    return true;
}

}  // namespace cardsync
