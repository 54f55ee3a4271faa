#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sync/names.h"

// The three-way step: each contact on each side compared with what both sides
// last agreed on. Decisions only; carrying them out is the sync's.
namespace cardsync {

enum class Prefer { remote, local };

enum class Step {
    none,         // both sides hold what was agreed
    record,       // both sides already hold the same: only the state changes
    forget,       // gone from both sides
    sendNew,      // a new card on the server
    sendChange,   // the server's card patched with this side's contact
    deleteThere,  // the server's card deleted
    receive,      // the server's contact into the card file (added or updated)
    deleteHere,   // the entry removed from the card file
};

// Which version lost a conflict and is kept aside in the conflicts folder.
enum class Loser { none, local, remote };

struct Decision {
    Step step = Step::none;
    bool conflict = false;
    Loser loser = Loser::none;
};

// One contact: its digest on this side, in the agreed state and on the server;
// nullopt where that side does not hold it.
Decision decide(std::optional<uint64_t> local, std::optional<uint64_t> agreed,
                std::optional<uint64_t> remote, Prefer prefer);

struct Planned {
    Names names;
    Decision decision;
};

struct Plan {
    std::vector<Planned> actions;  // every contact whose step is not `none`
    size_t deletesHere = 0, deletesThere = 0;
    // Why nothing may be written without --force; empty when the plan may go ahead.
    std::string refusal;
};

using Digests = std::map<Names, uint64_t>;

// `agreed` is what the last sync left both sides holding. Unless `force`, a plan
// that would delete more than half of either side, or that meets one side empty
// where the last sync left contacts, is refused.
Plan makePlan(const Digests& local, const Digests& agreed, const Digests& remote, Prefer prefer,
              bool force);

}  // namespace cardsync
