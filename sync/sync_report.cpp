#include "sync/sync_report.h"

#include <map>

namespace cardsync {

std::string summaryOf(const Totals& t, const std::string& conflictsFolder) {
    std::string line = std::to_string(t.sent) + " sent, " + std::to_string(t.received) +
                       " received, " + std::to_string(t.deletedHere) + " deleted here, " +
                       std::to_string(t.deletedThere) + " deleted there, " +
                       std::to_string(t.conflicts) +
                       (t.conflicts == 1 ? " conflict" : " conflicts");
    if (t.conflicts) line += " kept in " + conflictsFolder;
    if (t.untouched) line += ", " + std::to_string(t.untouched) + " left untouched on the server";
    return line;
}

std::string changeLine(const Names& names, const Decision& decision, const Standing& standing,
                       const std::string& keptAs) {
    static const std::map<Step, const char*> kWords = {{Step::sendNew, "added there"},
                                                       {Step::sendChange, "updated there"},
                                                       {Step::deleteThere, "deleted there"},
                                                       {Step::receive, "updated here"},
                                                       {Step::deleteHere, "deleted here"}};
    auto words = kWords.find(decision.step);
    if (words == kWords.end()) return std::string();
    std::string what = words->second;
    if (decision.step == Step::receive && !standing.here) what = "added here";
    if (!decision.conflict)
        return what + ": " + shown(names) +
               (keptAs.empty() ? "" : "; its card is kept in " + keptAs);
    std::string why = !standing.here    ? "deleted here, changed on the server"
                      : !standing.there ? "changed here, deleted on the server"
                      : standing.agreed ? "changed on both sides"
                                        : "added on both sides, differently";
    std::string line = "conflict: " + shown(names) + ": " + why + "; " + what;
    if (!keptAs.empty())
        line += "; the " +
                std::string(decision.loser == Loser::local ? "card file's" : "server's") +
                " version is kept in " + keptAs;
    return line;
}

std::string untouchedLine(const std::string& card, const std::string& why) {
    return "left untouched on the server: " + card + ": " + why;
}

std::string namesTakenThere(const Names& names) {
    return "another card there has the names " + shown(names);
}

std::string changedAgainLine(const Names& names) {
    return untouchedLine(shown(names),
                         "it changed there again while this sync ran; the next sync takes it up");
}

std::string leftForNextSyncLine(const Names& names) {
    return "left for the next sync: " + shown(names) +
           ": the card file changed there while this sync ran";
}

}  // namespace cardsync
