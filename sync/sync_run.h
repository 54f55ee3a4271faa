#pragma once

#include <functional>
#include <string>

#include "data/card_file.h"
#include "interchange/codepage.h"
#include "platform/files.h"
#include "sync/carddav.h"
#include "sync/plan.h"
#include "sync/sync_report.h"

// One sync of the card file with one address book, from listing to the state saved.
namespace cardsync {

struct Options {
    std::string cardFile = kCardFileName;
    std::string from;  // the URL the user gave, when the address book was found from it
    unsigned codePage = codepage::kWestern;
    bool dryRun = false;
    bool force = false;
    Prefer prefer = Prefer::remote;
};

enum class Outcome {
    done,
    doneWithProblems,  // conflicts kept aside, or cards left untouched
    stopped,           // nothing done, or stopped part-way: what completed is recorded
};

// Runs the sync on the session's collection. Each change is told to `say` as it is
// made, one line each; the summary line closes. When the sync cannot go on,
// `failure` says why in one line.
Outcome runSync(files::FileSystem& fs, const Options& options, carddav::Session& session,
                const std::function<void(const std::string&)>& say, Totals& totals,
                std::string& failure);

}  // namespace cardsync
