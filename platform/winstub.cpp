#include "platform/winstub.h"

#include <cstring>

namespace winstub {

State& state() {
    static State instance;
    return instance;
}

void reset() { state() = State(); }

HWND createWindow(const std::string& name, const std::string& text) {
    state().windows.push_back(std::make_unique<StubWindow>());
    HWND window = state().windows.back().get();
    window->name = name;
    window->text = text;
    return window;
}

}  // namespace winstub

namespace {

void log(HWND window, const std::string& what) {
    winstub::state().log.push_back((window ? window->name : "(null)") + " " + what);
}

LRESULT copyText(const std::string& text, WPARAM size, LPARAM buffer) {
    if (size == 0) return 0;
    size_t count = text.size() < size - 1 ? text.size() : size - 1;
    char* out = reinterpret_cast<char*>(buffer);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
    return static_cast<LRESULT>(count);
}

LRESULT insertRow(HWND window, WPARAM wParam, const char* row) {
    auto index = static_cast<size_t>(static_cast<int>(wParam));
    if (static_cast<int>(wParam) < 0 || index > window->rows.size()) index = window->rows.size();
    window->rows.emplace(window->rows.begin() + static_cast<std::ptrdiff_t>(index), row);
    log(window, "insert " + std::to_string(index));
    return static_cast<LRESULT>(index);
}

LRESULT deleteRow(HWND window, WPARAM row) {
    if (row >= window->rows.size()) return LB_ERR;
    window->rows.erase(window->rows.begin() + static_cast<std::ptrdiff_t>(row));
    // As in the real list box: a selection above the deleted row moves up with it.
    if (window->selection == static_cast<LRESULT>(row))
        window->selection = LB_ERR;
    else if (window->selection > static_cast<LRESULT>(row))
        --window->selection;
    log(window, "delete " + std::to_string(row));
    return static_cast<LRESULT>(window->rows.size());
}

LRESULT selectRow(HWND window, WPARAM wParam) {
    auto index = static_cast<LRESULT>(static_cast<int>(wParam));
    bool valid = index >= 0 && static_cast<size_t>(index) < window->rows.size();
    window->selection = valid ? index : LB_ERR;
    log(window, "select " + std::to_string(index));
    return valid ? index : LB_ERR;
}

}  // namespace

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window) return 0;
    switch (message) {
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(window->text.size());
        case WM_GETTEXT:
            return copyText(window->text, wParam, lParam);
        case WM_SETREDRAW:
            window->redraw = wParam != 0;
            log(window, wParam ? "redraw on" : "redraw off");
            return 0;
        case BM_GETSTATE:
            return static_cast<LRESULT>(window->state);
        case BM_SETCHECK:
            window->state = (window->state & ~BST_CHECKED) | (wParam & BST_CHECKED);
            log(window, wParam == BST_CHECKED ? "checked" : "unchecked");
            return 0;
        case LB_RESETCONTENT:
            window->rows.clear();
            window->selection = LB_ERR;
            log(window, "reset");
            return 0;
        case LB_ADDSTRING:
            window->rows.emplace_back(reinterpret_cast<const char*>(lParam));
            return static_cast<LRESULT>(window->rows.size() - 1);
        case LB_INSERTSTRING:
            return insertRow(window, wParam, reinterpret_cast<const char*>(lParam));
        case LB_DELETESTRING:
            return deleteRow(window, wParam);
        case LB_GETCOUNT:
            return static_cast<LRESULT>(window->rows.size());
        case LB_INITSTORAGE:
            window->rows.reserve(window->rows.size() + wParam);
            return static_cast<LRESULT>(window->rows.capacity());
        case LB_GETCURSEL:
            return window->selection;
        case LB_SETCURSEL:
            return selectRow(window, wParam);
        default:
            return 0;
    }
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    if (!window) return FALSE;
    window->text = text;
    log(window, "text " + window->text);
    return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    winstub::State& s = winstub::state();
    s.messageBoxes.push_back({owner, text, caption, type});
    if (s.answers.empty()) return 0;
    int answer = s.answers.front();
    s.answers.pop_front();
    return answer;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    winstub::state().defWindowProcCalls.push_back({window, message, wParam, lParam});
    return winstub::state().defWindowProcResult;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
    log(window, "invalidate");
    return TRUE;
}
