#pragma once

#include <windows.h>

// One child control of the main window: everything needed to create it.
struct ControlRow {
    const char* className;
    const char* text;  // for the edit fields, their initial contents
    DWORD style;
    int x, y, width, height;
    int id;
    HWND* handle;  // where the form finds it, or null when nothing addresses it
};

// The main window's controls in creation order; the background comes first so
// that every other control lies above it.
extern const ControlRow kControls[15];

// The City box's items; the first is selected.
extern const char* const kCityItems[3];
