#include "sync/local_book.h"

namespace cardsync {

LocalBook::LocalBook(const std::string& path, files::FileSystem& fs) : file_(path, fs) {}

bool LocalBook::load(std::string& why) {
    entries_.clear();
    reloaded_ = false;
    const LoadProblem problem = file_.load(entries_);
    if (problem == LoadProblem::unreadable || problem == LoadProblem::tooLarge) {
        why = loadProblemText(problem, file_.lastFailure());
        return false;
    }
    // A file that is not a card file (a vCard given by mistake) would be rewritten
    // as one; the sync leaves it alone, as an import does unless told otherwise.
    if (file_.malformedRecords() > 0) {
        why = notACardFileText(file_.malformedRecords());
        return false;
    }
    normaliseEntries(entries_);
    return true;
}

// A save that took in another program's changes may have changed the entry since
// this book read it: the card file guards a change only against what it held when
// the change was made.
bool LocalBook::stillAsRead(const Entry& names, const Entry* read) const {
    if (!reloaded_) return true;  // each entry is as read, or as this sync made it
    const Entry* now = nullptr;
    for (const Entry& e : entries_)
        if (sameNames(e, names)) now = &e;  // the last counts, as in the merge
    if (!now || !read) return !now && !read;
    return now->address == read->address && now->sex == read->sex;
}

void LocalBook::put(const Entry& entry, const Entry* read) {
    if (stillAsRead(entry, read))
        file_.put(entries_, entry, CardFile::Over::asRead);
    else
        notMade_.push_back(entry);
}

void LocalBook::remove(const Entry& entry, const Entry* read) {
    if (stillAsRead(entry, read))
        file_.remove(entries_, entry, CardFile::Over::asRead);
    else
        notMade_.push_back(entry);
}

bool LocalBook::save(std::string& why, std::string& notes) {
    SaveOutcome outcome = file_.save(entries_);
    leftOut_ = outcome.leftOut;
    reloaded_ = reloaded_ || outcome.reloaded;
    leftOut_.insert(leftOut_.end(), notMade_.begin(), notMade_.end());
    notMade_.clear();
    if (!outcome) {
        why = kNotWrittenText;
        return false;
    }
    notes += saveNotesText(outcome, file_.path());
    return true;
}

}  // namespace cardsync
