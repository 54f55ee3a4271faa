#include "shell/main_window.h"

#include <new>

#include "data/program_globals.h"
#include "form/commands.h"
#include "form/controls.h"
#include "form/form_binding.h"
#include "shell/background_bitmap.h"
#include "shell/control_table.h"

namespace {

// Posted while the window is created, so that a problem with the card file is
// reported once the window shows, with the box in front of it.
constexpr UINT kReportLoadProblem = WM_APP;

bool showsBitmap(const ControlRow& row) {
    return lstrcmpiA(row.className, "Static") == 0 && (row.style & SS_TYPEMASK) == SS_BITMAP;
}

HWND createControl(HWND window, const ControlRow& row) {
    return CreateWindowExA(
        0, row.className, row.text, row.style, row.x, row.y, row.width, row.height, window,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(row.id)), GetModuleHandleA(nullptr), nullptr);
}

LRESULT createMainWindowContents(HWND window) {
    // The card file is read before any control exists.
    LoadProblem problem = loadCardFile();
    for (const ControlRow& row : kControls) {
        HWND control = createControl(window, row);
        if (row.handle) *row.handle = control;
        if (showsBitmap(row))
            SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP,
                         reinterpret_cast<LPARAM>(backgroundBitmap.handle()));
    }
    for (const char* item : kCityItems)
        SendMessageA(cityComboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageA(cityComboBox, CB_SETCURSEL, 0, 0);
    refreshList();
    if (problem == LoadProblem::unreadable || problem == LoadProblem::tooLarge)
        PostMessageA(window, kReportLoadProblem, static_cast<WPARAM>(problem), 0);
    return 0;
}

LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return createMainWindowContents(window);
        case WM_CLOSE:
            // Changes that exist only in memory are written, or given up knowingly.
            if (mayCloseWindow(window)) DestroyWindow(window);
            return 0;
        case kReportLoadProblem:
            reportLoadProblem(window, static_cast<LoadProblem>(wParam));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            return 0;  // the window has a fixed size and lays nothing out again
        case WM_COMMAND:
            return handleCommand(window, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // An address book near the limit of a 32-bit address space can make any step
    // that grows the collection fail; no exception may cross back into the system.
    try {
        return handleMessage(window, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        reportOutOfMemory(window);
        return 0;
    }
}
