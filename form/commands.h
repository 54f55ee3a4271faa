#pragma once

#include "data/card_file.h"
#include "platform/window_system.h"

// Carries out one WM_COMMAND notification sent to the main window `window`, then
// passes it on to DefWindowProcA and returns its result.
LRESULT handleCommand(HWND window, WPARAM wParam, LPARAM lParam);

// Before the main window closes: writes the changes that exist only in memory and,
// when that fails, asks whether to close anyway and lose them. True to close.
bool mayCloseWindow(HWND window);

// Tells the user, once the window shows, why the card file was not loaded.
void reportLoadProblem(HWND window, LoadProblem problem);

// Tells the user that a command ran out of memory before it finished.
void reportOutOfMemory(HWND window);
