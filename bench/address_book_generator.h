#pragma once

#include <cstddef>
#include <vector>

#include "data/entry.h"

// A seeded, realistic address book: many people share a last name, about 5% are
// exact duplicates, addresses span two or three lines, and some names carry
// accented letters (bytes above 0x7F in the Windows Latin-1 code page). The
// entries come in no particular order, as typed.
std::vector<Entry> generateAddressBook(size_t count, unsigned seed = 20261207);
