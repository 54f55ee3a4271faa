#pragma once

#include <windows.h>

constexpr const char* kMainWindowClass = "Quillborough";
constexpr const char* kMainWindowTitle = "Quillborough";

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
