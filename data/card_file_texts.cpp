// What qbcard and the sync say of a card file, in one place.

#include "data/card_file.h"

std::string loadProblemText(LoadProblem problem, const std::string& systemReason) {
    switch (problem) {
        case LoadProblem::missing:
            return "no such card file";
        case LoadProblem::unreadable:
            return "the card file cannot be read: " + systemReason;
        case LoadProblem::tooLarge:
            return "the card file is too large for this program's memory";
        case LoadProblem::none:
            break;
    }
    return std::string();
}

std::string notACardFileText(size_t malformed) {
    return "is not a card file (" + std::to_string(malformed) +
           " of its records lack the four field separators); nothing was written";
}

std::string saveNotesText(const SaveOutcome& outcome, const std::string& path) {
    std::string notes;
    if (outcome.reloaded)
        notes += path + " had been changed by another program; its changes are kept\n";
    if (!outcome.backupName.empty())
        notes += "the original of " + path + " is kept as " + outcome.backupName + "\n";
    return notes;
}
