#include "data/program_globals.h"

#include "platform/files.h"

// The window program's globals: the Save form's entry, then the collection and its
// card file, built in this order before the program starts and destroyed in the
// reverse order after it ends.
Entry scratchEntry;
std::vector<Entry> entries;
CardFile cardFile(kCardFileName, files::realFileSystem());
