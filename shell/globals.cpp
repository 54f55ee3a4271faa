#include "shell/background_bitmap.h"

// The picture is built before every other global and destroyed after them all, so
// it is given a priority of its own: the order of definitions holds only within one
// file, and the program's other globals are defined with the data core.
BackgroundBitmap backgroundBitmap __attribute__((init_priority(1000)));
