#include "shell/main_window.h"

#include "data/card_file.h"
#include "form/commands.h"
#include "form/controls.h"
#include "form/form_binding.h"
#include "shell/background_bitmap.h"
#include "shell/control_table.h"

namespace {

bool showsBitmap(const ControlSpec& spec) {
    return lstrcmpiA(spec.className, "Static") == 0 && (spec.style & SS_TYPEMASK) == SS_BITMAP;
}

HWND createControl(HWND window, const ControlSpec& spec) {
    return CreateWindowExA(0, spec.className, spec.text, spec.style, spec.x, spec.y, spec.width,
                           spec.height, window,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(spec.id)),
                           GetModuleHandleA(nullptr), nullptr);
}

LRESULT createMainWindowContents(HWND window) {
    // The card file is read before any control exists.
    loadCardFile();
    for (const ControlSpec& spec : kControls) {
        HWND control = createControl(window, spec);
        if (spec.handle) *spec.handle = control;
        if (showsBitmap(spec))
            SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP,
                         reinterpret_cast<LPARAM>(backgroundBitmap.handle()));
    }
    for (const char* item : kCityItems)
        SendMessageA(cityComboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageA(cityComboBox, CB_SETCURSEL, 0, 0);
    refreshList();
    return 0;
}

}  // namespace

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return createMainWindowContents(window);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            return 0;
        case WM_COMMAND:
            return handleCommand(window, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
