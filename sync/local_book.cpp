#include "sync/local_book.h"

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
        why = notACardFileText(file_.malformedRecords());
        return false;
    }
    normaliseEntries(entries_);
    return true;
}

void LocalBook::put(const Entry& entry) { file_.put(entries_, entry, CardFile::Over::asRead); }

void LocalBook::remove(const Entry& entry) {
    file_.remove(entries_, entry, CardFile::Over::asRead);
}

bool LocalBook::save(std::string& why, std::string& notes) {
    SaveOutcome outcome = file_.save(entries_);
    leftOut_ = outcome.leftOut;
    if (!outcome) {
        why = kNotWrittenText;
        return false;
    }
    notes += saveNotesText(outcome, file_.path());
    return true;
}

}  // namespace cardsync
