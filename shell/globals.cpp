#include "data/card_file.h"
#include "data/entry.h"
#include "platform/files.h"
#include "shell/background_bitmap.h"

// The program's globals, in one file so that they are built in this order before
// WinMain runs, and destroyed in the reverse order after it returns: the picture
// first and last, then the Save form's entry, the collection and its card file.
BackgroundBitmap backgroundBitmap;
Entry scratchEntry;
std::vector<Entry> entries;
CardFile cardFile(kCardFileName, files::realFileSystem());
