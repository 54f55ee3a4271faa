#pragma once

// The window-system calls the form makes. On Windows they are the real ones; in
// the native build a small stand-in of our own plays the controls.
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/winstub.h"
#endif
