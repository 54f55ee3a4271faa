#include "data/entry.h"
#include "shell/background_bitmap.h"

// The program's three globals, in one file so that they are built in this order
// before WinMain runs, and destroyed in the reverse order after it returns: the
// picture first and last, then the Save form's entry, then the collection.
BackgroundBitmap backgroundBitmap;
Entry scratchEntry;
std::vector<Entry> entries;
