#include "data/card_file.h"
#include "data/entry.h"
#include "platform/files.h"

// The program's globals, defined once for every program, the window program among
// them: the Save form's entry, then the collection and its card file, built in this
// order before the program starts and destroyed in the reverse order after it ends.
Entry scratchEntry;
std::vector<Entry> entries;
CardFile cardFile(kCardFileName, files::realFileSystem());
