#pragma once

#include <string>

#include "tests/sim/sim_history.h"

namespace sim {

// Plays the history against qbcard's own sync code, the simulated server and the
// card file in memory, then stops the faults, syncs twice and checks what must
// hold. Empty when it all holds; else the first invariant broken ("converged:
// ...") and what broke it.
std::string play(const History& history, bool verbose = false);

}  // namespace sim
