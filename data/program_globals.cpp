#include "data/card_file.h"
#include "data/entry.h"
#include "platform/files.h"

// The program's globals for every program without a window of its own: qbcard, the
// tests, the fuzzers and the benchmarks. The window program defines them in
// shell/globals.cpp, beside its picture, in the order they must be built.
Entry scratchEntry;
std::vector<Entry> entries;
CardFile cardFile(kCardFileName, files::realFileSystem());
