#pragma once

#include "platform/window_system.h"

// Carries out one WM_COMMAND notification sent to the main window `window`, then
// passes it on to DefWindowProcA and returns its result.
LRESULT handleCommand(HWND window, WPARAM wParam, LPARAM lParam);
