#pragma once

// A stand-in for the handful of Win32 calls and constants the form uses, so the
// form and its commands run and are tested without Windows. It behaves as the
// real controls do as far as the form relies on them, and logs every call.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct StubWindow;
typedef StubWindow* HWND;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef int BOOL;
typedef uint16_t WORD;
typedef const char* LPCSTR;
typedef char* LPSTR;
struct RECT;

#define LOWORD(value) (static_cast<WORD>(static_cast<uintptr_t>(value) & 0xFFFF))
#define HIWORD(value) (static_cast<WORD>((static_cast<uintptr_t>(value) >> 16) & 0xFFFF))
#define MAKEWPARAM(low, high) \
    (static_cast<WPARAM>((static_cast<uint32_t>(high) << 16) | static_cast<WORD>(low)))

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_COMMAND = 0x0111;

constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_GETSTATE = 0x00F2;
constexpr WPARAM BST_UNCHECKED = 0x0000;
constexpr WPARAM BST_CHECKED = 0x0001;
constexpr WPARAM BST_PUSHED = 0x0004;
constexpr WPARAM BST_FOCUS = 0x0008;
constexpr WORD BN_CLICKED = 0;

constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_INITSTORAGE = 0x01A8;
constexpr LRESULT LB_ERR = -1;
constexpr WORD LBN_SELCHANGE = 1;
constexpr WORD EN_CHANGE = 0x0300;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

struct StubWindow {
    std::string name;  // for the log
    std::string text;
    WPARAM state = BST_UNCHECKED;   // buttons
    std::vector<std::string> rows;  // list boxes
    LRESULT selection = LB_ERR;     // list boxes
    bool redraw = true;
};

namespace winstub {

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct DefWindowProcCall {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Everything the stand-in holds; reset() starts afresh.
struct State {
    std::vector<std::unique_ptr<StubWindow>> windows;
    std::vector<std::string> log;  // one line per call that changes a control
    std::deque<int> answers;       // what the next message boxes return
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<DefWindowProcCall> defWindowProcCalls;
    LRESULT defWindowProcResult = 0;
};

State& state();
void reset();
HWND createWindow(const std::string& name, const std::string& text = "");

}  // namespace winstub
