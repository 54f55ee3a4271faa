#include "tests/e2e/app_window.h"

namespace {

constexpr DWORD kTimeoutMs = 15000;

struct ProcessWindowSearch {
    DWORD processId;
    const char* className;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK findProcessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ProcessWindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && (!search->visibleOnly || IsWindowVisible(window)) &&
        lstrcmpiA(className, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND findTopLevel(DWORD processId, const char* className, bool visibleOnly) {
    ProcessWindowSearch search{processId, className, visibleOnly, nullptr};
    EnumWindows(findProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

namespace {

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

void CALLBACK clickHandled(HWND, UINT, ULONG_PTR done, LRESULT) {
    *reinterpret_cast<bool*>(done) = false;
}

}  // namespace

std::string itemText(HWND control, UINT lengthMessage, UINT textMessage, WPARAM index) {
    // Asked in UTF-16 and converted here: Wine hands the 8-bit variants of these
    // messages UTF-16 text when they cross from one process to another.
    auto length = static_cast<size_t>(SendMessageW(control, lengthMessage, index, 0));
    std::wstring wide(length + 1, L'\0');
    SendMessageW(control, textMessage, index, reinterpret_cast<LPARAM>(&wide[0]));
    wide.resize(wcslen(wide.c_str()));
    std::string text(wide.size() * 2 + 1, '\0');
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                    &text[0], static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
    return text;
}

AppWindow::AppWindow(const std::string& exePath, const std::string& folder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exePath + "\"";
    if (!CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process_))
        return;
    for (DWORD waited = 0; waited < kTimeoutMs && !main_; waited += 20) {
        main_ = FindWindowA("Quillborough", "Quillborough");
        DWORD owner = 0;
        if (main_) GetWindowThreadProcessId(main_, &owner);
        if (owner != process_.dwProcessId || !IsWindowVisible(main_)) {
            main_ = nullptr;
            Sleep(20);
        }
    }
    // Let the program finish painting before anything looks at it.
    if (main_) WaitForInputIdle(process_.hProcess, kTimeoutMs);
}

AppWindow::~AppWindow() {
    if (!process_.hProcess) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, kTimeoutMs);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

HWND AppWindow::control(const char* className, int id, int x, int y) const {
    for (HWND child = GetWindow(main_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, main_, reinterpret_cast<POINT*>(&rect), 2);
        if (lstrcmpiA(name, className) == 0 && GetDlgCtrlID(child) == id && rect.left == x &&
            rect.top == y)
            return child;
    }
    return nullptr;
}

HWND AppWindow::button(int id) const {
    static const struct {
        int id, x, y;
    } buttons[] = {{22, 10, 350}, {1, 70, 350},  {2, 130, 350}, {3, 190, 350},
                   {4, 250, 350}, {5, 500, 250}, {6, 300, 250}, {7, 300, 275}};
    for (const auto& b : buttons)
        if (b.id == id) return control("Button", b.id, b.x, b.y);
    return nullptr;
}

void AppWindow::setText(HWND control, const std::string& text) {
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string AppWindow::text(HWND control) const {
    LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got =
        SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(got));
    return text;
}

std::vector<std::string> AppWindow::fields() const {
    return {text(firstName()), text(middleName()), text(lastName()), text(address())};
}

void AppWindow::fill(const std::string& first, const std::string& middle, const std::string& last,
                     const std::string& addressText) {
    setText(firstName(), first);
    setText(middleName(), middle);
    setText(lastName(), last);
    setText(address(), addressText);
}

std::vector<std::string> AppWindow::listRows() const {
    std::vector<std::string> rows;
    LRESULT count = SendMessageA(list(), LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        rows.push_back(itemText(list(), LB_GETTEXTLEN, LB_GETTEXT, i));
    return rows;
}

int AppWindow::listSelection() const {
    return static_cast<int>(SendMessageA(list(), LB_GETCURSEL, 0, 0));
}

bool AppWindow::checked(HWND button) const {
    return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND AppWindow::waitForBoxOrCompletion() {
    for (DWORD waited = 0; waited < kTimeoutMs; waited += 5) {
        pumpMessages();
        if (!pending_) return nullptr;
        if (HWND box = findTopLevel(process_.dwProcessId, "#32770")) return box;
        Sleep(5);
    }
    return nullptr;
}

HWND AppWindow::click(HWND button) {
    // Sent with a callback rather than waited for: a click that opens a modal
    // message box does not return until the box is answered.
    pending_ = true;
    SendMessageCallbackA(button, BM_CLICK, 0, 0, clickHandled,
                         reinterpret_cast<ULONG_PTR>(&pending_));
    return waitForBoxOrCompletion();
}

void AppWindow::startClick(HWND button) {
    pending_ = true;
    SendMessageCallbackA(button, BM_CLICK, 0, 0, clickHandled,
                         reinterpret_cast<ULONG_PTR>(&pending_));
}

void AppWindow::kill() {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, kTimeoutMs);
    pending_ = false;
}

HWND AppWindow::clickListRow(int row) {
    HWND box = list();
    auto height = static_cast<int>(SendMessageA(box, LB_GETITEMHEIGHT, 0, 0));
    auto top = static_cast<int>(SendMessageA(box, LB_GETTOPINDEX, 0, 0));
    LPARAM point = MAKELPARAM(20, (row - top) * height + height / 2);
    SendMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, point);
    pending_ = true;
    SendMessageCallbackA(box, WM_LBUTTONUP, 0, point, clickHandled,
                         reinterpret_cast<ULONG_PTR>(&pending_));
    return waitForBoxOrCompletion();
}

HWND AppWindow::requestClose() {
    pending_ = true;
    SendMessageCallbackA(main_, WM_CLOSE, 0, 0, clickHandled,
                         reinterpret_cast<ULONG_PTR>(&pending_));
    return waitForBoxOrCompletion();
}

HWND AppWindow::messageBox() {
    for (DWORD waited = 0; waited < kTimeoutMs; waited += 5) {
        if (HWND box = findTopLevel(process_.dwProcessId, "#32770")) return box;
        Sleep(5);
    }
    return nullptr;
}

DWORD AppWindow::close() {
    PostMessageA(main_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, kTimeoutMs) != WAIT_OBJECT_0) return 0xDEAD;
    DWORD code = 0xDEAD;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

MessageBoxInfo describeMessageBox(HWND box) {
    MessageBoxInfo info;
    char text[1024] = {};
    GetWindowTextA(box, text, sizeof text);
    info.caption = text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Button") == 0 && IsWindowVisible(child)) {
            info.buttons.push_back(GetDlgCtrlID(child));
        } else if (lstrcmpiA(name, "Static") == 0) {
            LRESULT got =
                SendMessageA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            if (got > 0) info.text.assign(text, static_cast<size_t>(got));
        }
    }
    return info;
}

bool answerMessageBox(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    if (!button) return false;
    PostMessageA(button, BM_CLICK, 0, 0);
    for (DWORD waited = 0; waited < kTimeoutMs; waited += 5) {
        if (!IsWindow(box)) return true;
        Sleep(5);
    }
    return false;
}
