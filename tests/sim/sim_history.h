#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sync/plan.h"
#include "tests/sim/sim_server.h"

// A history of the sync simulation: what the two users do, when qbcard syncs and
// what goes wrong, all drawn from one seed.
namespace sim {

enum class Kind {
    put,           // a contact added, or its address and sex changed
    remove,        // a contact deleted
    rename,        // a contact's names changed (to `other`)
    empty,         // every contact of that side deleted
    sync,          // qbcard syncs
    forgetTokens,  // the server forgets its sync tokens
    fault,         // a fault at request `at` of the next sync
    crash,         // qbcard crashes at file operation `at` of the next sync
};

// here: the window program, on the card file; there: a second client, on the server.
enum class Side { here, there };

struct Step {
    Kind kind = Kind::sync;
    Side side = Side::here;
    int names = 0, other = 0;  // indexes into the pool of names
    int address = 0, sex = 0;  // indexes into the pools of values
    // During the next sync: before its request `at` (there), or before its file
    // operation `at` (here); 0 is between syncs.
    unsigned at = 0;
    Fault fault = Fault::none;
};

struct History {
    uint64_t seed = 0;
    Behaviour behaviour;
    cardsync::Prefer prefer = cardsync::Prefer::remote;
    std::vector<Step> steps;
};

// The names and values a history draws from: few, so that they collide.
constexpr int kNames = 48, kAddresses = 5, kSexes = 3;
struct Person {
    std::string last, first, middle;
};
Person personAt(int index);
const char* addressAt(int index);
const char* sexAt(int index);

// Habits and events a run leaves out, by name ("absolute-hrefs"), as the histories
// were drawn before they were added, so that an old seed replays its own history.
struct Leave {
    bool absoluteHrefs = false, namesResource = false, fullListing = false,
         windowDuringSync = false, renameThere = false;
    bool take(const std::string& names);  // "full-listing,rename-there"; "" or "none": nothing
    std::string names;                    // as taken, for the report
};

History generate(uint64_t seed, const Leave& leave = {});
std::string describe(const History& history);
std::string describe(const Step& step);

}  // namespace sim
