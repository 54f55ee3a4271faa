#include "data/entry.h"

// The collection and the Save form's entry for every program that has no start-up
// of its own to put them in. The window program defines them beside its other
// globals, in the order they must be built; the linker then never takes this file
// from the library, and would refuse both at once.
Entry scratchEntry;
std::vector<Entry> entries;
