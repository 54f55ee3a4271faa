#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"

// The program under test, started in a folder of its own and driven only through
// the window system, as a user would drive it.
class AppWindow {
  public:
    AppWindow(const std::string& exePath, const std::string& folder);
    ~AppWindow();
    AppWindow(const AppWindow&) = delete;
    AppWindow& operator=(const AppWindow&) = delete;

    HWND main() const { return main_; }
    bool started() const { return main_ != nullptr; }
    HANDLE process() const { return process_.hProcess; }

    // A child control found by class, identifier and position (identifiers are shared).
    HWND control(const char* className, int id, int x, int y) const;
    HWND firstName() const { return control("Edit", IDC_FIRST_NAME, 15, 40); }
    HWND middleName() const { return control("Edit", IDC_MIDDLE_NAME, 150, 40); }
    HWND lastName() const { return control("Edit", IDC_LAST_NAME, 285, 40); }
    HWND address() const { return control("Edit", IDC_ADDRESS, 15, 80); }
    HWND button(int id) const;
    HWND list() const { return control("ListBox", IDC_ENTRY_LIST, 20, 400); }

    void setText(HWND control, const std::string& text);
    std::string text(HWND control) const;
    std::vector<std::string> fields() const;  // first, middle, last, address
    void fill(const std::string& first, const std::string& middle, const std::string& last,
              const std::string& address);
    std::vector<std::string> listRows() const;
    int listSelection() const;
    bool checked(HWND button) const;

    // Clicks a button with BM_CLICK. Returns the message box the click opened, or null
    // once the click has been handled without one.
    HWND click(HWND button);
    // Clicks list row `row` with the mouse messages a user's click produces.
    HWND clickListRow(int row);
    // After a message box was answered: the next box the same command opens, or null
    // once it has finished (check idle()).
    HWND nextMessageBox() { return waitForBoxOrCompletion(); }
    bool idle() const { return !pending_; }

    // Clicks a button and returns at once, without waiting for the click to be handled.
    void startClick(HWND button);
    // Ends the process at once, as a crash or a power cut would.
    void kill();

    // Asks the window to close as the user would. Returns the message box that opens,
    // or null once the request has been handled without one.
    HWND requestClose();
    // A message box the program opened by itself, such as one at start-up, or null.
    HWND messageBox();

    // Closes the window as the user would and returns the process's exit code.
    DWORD close();

  private:
    HWND waitForBoxOrCompletion();

    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
    bool pending_ = false;  // a sent click whose handling has not finished
};

// A top-level window of the process with this class, or null.
HWND findTopLevel(DWORD processId, const char* className, bool visibleOnly = true);

// The text of item `index` of a list or combo box.
std::string itemText(HWND control, UINT lengthMessage, UINT textMessage, WPARAM index);

struct MessageBoxInfo {
    std::string caption;
    std::string text;
    std::vector<int> buttons;  // IDOK, IDYES, IDNO, ... that the box offers
};

MessageBoxInfo describeMessageBox(HWND box);
// Presses the box's button `id` and waits until the box is gone.
bool answerMessageBox(HWND box, int id);
