// Drives the real program under Wine as a user would, scenario by scenario, and
// checks what the window shows and the exact bytes of the card file.
//
// Usage: e2e_driver <quillborough.exe> [<qbcard.exe> SYNC-ARGUMENTS...] [GoogleTest
// options, such as --gtest_filter]. The Sync scenario runs `qbcard.exe sync
// SYNC-ARGUMENTS` while the window is open; the host starts the server.
// A few steps need the host (a screenshot, a click of the real mouse): the driver
// prints "@request" and waits for the host's answer on standard input.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/app_window.h"
#include "tests/e2e/folder.h"

namespace {

std::string gExe;   // the program under test, from the command line
std::string gTool;  // qbcard.exe and the arguments of its sync, when given
std::string gSyncArguments;

const std::vector<std::string> kCaptions = {"First Name", "Middle Name", "Last Name", "Address"};
const std::vector<std::string> kEmpty = {"", "", "", ""};
const std::string kWriteFailure =
    "The change could not be written to \"test.txt\". It is kept in memory and "
    "will be written "
    "with the next successful save.";
const std::string kChangedByAnother =
    "The card file \"test.txt\" had been changed by another program. Its "
    "changes have been read "
    "and this program's applied to them, so the list now shows those changes "
    "too.";
const std::string kCloseQuestion =
    "Some changes could not be written to \"test.txt\" and exist only in "
    "memory. Close anyway "
    "and lose them?";

bool askHost(const std::string& request) {
    std::printf("@%s\n", request.c_str());
    std::fflush(stdout);
    char answer[64] = {};
    return std::fgets(answer, sizeof answer, stdin) && std::string(answer).rfind("ok", 0) == 0;
}

// Answers the box a command opened, after checking it is the expected one.
void expectBox(AppWindow& app, HWND box, const std::string& caption, const std::string& text,
               const std::vector<int>& buttons, int answer, int line) {
    SCOPED_TRACE(testing::Message() << "the message box expected at line " << line);
    ASSERT_TRUE(box) << "no message box \"" << caption << "\" appeared";
    MessageBoxInfo info = describeMessageBox(box);
    EXPECT_EQ(info.caption, caption);
    EXPECT_EQ(info.text, text);
    EXPECT_EQ(info.buttons, buttons);
    EXPECT_TRUE(answerMessageBox(box, answer)) << "the message box did not close";
    (void)app;
}
#define EXPECT_BOX(app, box, caption, text, buttons, answer) \
    expectBox(app, box, caption, text, buttons, answer, __LINE__)

void expectQuiet(AppWindow& app, HWND box, int line) {
    SCOPED_TRACE(testing::Message() << "the command at line " << line);
    if (box) {
        ADD_FAILURE() << "unexpected message box: " << describeMessageBox(box).text;
        answerMessageBox(box, IDNO) || answerMessageBox(box, IDOK);
        app.nextMessageBox();
    }
    EXPECT_TRUE(app.idle()) << "the command did not finish";
}
#define EXPECT_QUIET(app, box) expectQuiet(app, box, __LINE__)

#define CLOSE(app) EXPECT_EQ(app.close(), 0u) << "exit code"

// ---------------------------------------------------------------------------------

struct ExpectedControl {
    const char* className;
    const char* text;
    DWORD style;
    int x, y, width, height, id;
};

const ExpectedControl kLayout[] = {
    {"Static", "", 0x5000000E, 0, 0, 640, 580, 0},
    {"Button", "New", 0x50800000, 10, 350, 50, 25, 22},
    {"Button", "Back", 0x50800000, 70, 350, 50, 25, 1},
    {"Button", "Next", 0x50800000, 130, 350, 50, 25, 2},
    {"Button", "Clear", 0x50800000, 190, 350, 50, 25, 3},
    {"Button", "Save", 0x50800000, 250, 350, 50, 25, 4},
    {"Button", "Card", 0x50800003, 500, 250, 100, 25, 5},
    {"Button", "Male", 0x50800009, 300, 250, 100, 25, 6},
    {"Button", "Female", 0x50800009, 300, 275, 100, 25, 7},
    {"Edit", "First Name", 0x50811045, 15, 40, 130, 25, 8},
    {"Edit", "Middle Name", 0x50801045, 150, 40, 130, 25, 9},
    {"Edit", "Last Name", 0x50801045, 285, 40, 130, 25, 10},
    {"Edit", "Address", 0x50A01045, 15, 80, 130, 100, 10},
    {"ComboBox", "", 0x50A00803, 400, 200, 150, 300, 11},
    {"ListBox", "", 0x50A00001, 20, 400, 300, 100, 6},
};

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// The style bits a control may drop after creation, each still checked another
// way: an edit control draws its own border (its text is inset from the edge);
// a combo box hands WS_VSCROLL to its drop-down list, and WS_BORDER too, which
// that list always has, so the combo box's own cannot be seen; a list box hides
// its scroll bar while its rows fit, but still answers for it.
DWORD droppedStyle(const char* className) {
    if (lstrcmpiA(className, "Edit") == 0) return WS_BORDER;
    if (lstrcmpiA(className, "ComboBox") == 0) return WS_BORDER | WS_VSCROLL;
    if (lstrcmpiA(className, "ListBox") == 0) return WS_VSCROLL;
    return 0;
}

// The drop-down list of a combo box: a window of its own, at the top level.
HWND dropDownListOf(HWND combo) {
    DWORD process = 0;
    GetWindowThreadProcessId(combo, &process);
    return findTopLevel(process, "ComboLBox", false);
}

// Whether the control shows the dropped bits of `style`, by the other ways
// above.
bool showsDroppedStyle(HWND control, const char* className, DWORD style) {
    DWORD shown = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    if (lstrcmpiA(className, "Edit") == 0) {
        RECT text{};
        SendMessageA(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
        return ((shown & WS_BORDER) != 0 || text.left > 0) == ((style & WS_BORDER) != 0);
    }
    if (lstrcmpiA(className, "ComboBox") == 0) {
        DWORD list = static_cast<DWORD>(GetWindowLongA(dropDownListOf(control), GWL_STYLE));
        return ((list | shown) & WS_VSCROLL) == (style & WS_VSCROLL);
    }
    // A list box's hidden scroll bar cannot be asked about from another process:
    // it shows once the rows no longer fit (see listsByLastName).
    return true;
}

// List boxes without LBS_NOINTEGRALHEIGHT shrink to a whole number of rows.
bool wholeItemsWithin(long long actual, long long requested, long long itemHeight) {
    return actual <= requested && actual > requested - itemHeight;
}

TEST(Program, Layout) {
    Folder folder;
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());

    LONG style = GetWindowLongA(app.main(), GWL_STYLE);
    EXPECT_TRUE((style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_CAPTION)) ==
                (WS_SYSMENU | WS_MINIMIZEBOX | WS_CAPTION));
    EXPECT_TRUE((style & (WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0);
    RECT frame;
    GetWindowRect(app.main(), &frame);
    EXPECT_EQ(static_cast<long long>(frame.right - frame.left), 640LL);
    EXPECT_EQ(static_cast<long long>(frame.bottom - frame.top), 580LL);

    std::vector<HWND> children;
    for (HWND child = GetWindow(app.main(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    EXPECT_EQ(static_cast<long long>(children.size()), 15LL);
    for (const ExpectedControl& want : kLayout) {
        HWND control = app.control(want.className, want.id, want.x, want.y);
        if (!control) {
            ADD_FAILURE() << (std::string("no ") + want.className + " " + std::to_string(want.id));
            continue;
        }
        std::string name = std::string(want.className) + " " + want.text;
        DWORD kept = ~droppedStyle(want.className);
        EXPECT_EQ(hex(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & kept),
                  hex(want.style & kept))
            << name;
        if (!showsDroppedStyle(control, want.className, want.style))
            ADD_FAILURE() << (name + ": does not show the style bits " + hex(want.style & ~kept) +
                              " of " + hex(want.style));
        RECT rect;
        GetWindowRect(control, &rect);
        long long width = rect.right - rect.left, height = rect.bottom - rect.top;
        EXPECT_EQ(width, static_cast<long long>(want.width)) << name;
        if (lstrcmpiA(want.className, "Static") == 0) {
            // A bitmap static takes the size of its picture.
            EXPECT_EQ(height, 549LL);
            EXPECT_TRUE(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0);
        } else if (lstrcmpiA(want.className, "ComboBox") == 0) {
            // A drop-down list shows its closed height; the given height is the
            // dropped one.
            RECT dropped{};
            SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            // Windows counts the closed part in, Wine gives the list part alone.
            long long droppedHeight = dropped.bottom - dropped.top;
            EXPECT_TRUE(droppedHeight == want.height || height + droppedHeight == want.height);
        } else if (lstrcmpiA(want.className, "ListBox") == 0) {
            EXPECT_TRUE(wholeItemsWithin(height, want.height,
                                         SendMessageA(control, LB_GETITEMHEIGHT, 0, 0)));
        } else {
            EXPECT_EQ(height, static_cast<long long>(want.height)) << name;
        }
        if (lstrcmpiA(want.className, "Edit") != 0 && lstrcmpiA(want.className, "Button") != 0)
            continue;
        EXPECT_EQ(app.text(control), std::string(want.text)) << name;
    }
    // The creation order, which is the order of the children: the background
    // first.
    std::vector<std::string> order, wantOrder;
    for (HWND child : children) {
        char className[32] = {};
        GetClassNameA(child, className, sizeof className);
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, app.main(), reinterpret_cast<POINT*>(&rect), 2);
        order.push_back(std::string(className) + " " + std::to_string(GetDlgCtrlID(child)) +
                        " at " + std::to_string(rect.left) + "," + std::to_string(rect.top));
    }
    for (const ExpectedControl& want : kLayout)
        wantOrder.push_back(std::string(want.className) + " " + std::to_string(want.id) + " at " +
                            std::to_string(want.x) + "," + std::to_string(want.y));
    EXPECT_EQ(order, wantOrder);

    HWND city = app.control("ComboBox", 11, 400, 200);
    std::vector<std::string> items;
    for (LRESULT i = 0; i < SendMessageA(city, CB_GETCOUNT, 0, 0); ++i)
        items.push_back(itemText(city, CB_GETLBTEXTLEN, CB_GETLBTEXT, i));
    EXPECT_EQ(items, (std::vector<std::string>{"City", "Mumbai", "etc"}));
    EXPECT_EQ(static_cast<long long>(SendMessageA(city, CB_GETCURSEL, 0, 0)), 0LL);

    EXPECT_EQ(app.fields(), kCaptions);
    EXPECT_TRUE(app.listRows().empty());
    EXPECT_TRUE(!app.checked(app.button(IDC_MALE)) && !app.checked(app.button(IDC_FEMALE)) &&
                !app.checked(app.button(IDC_CARD)));
    EXPECT_TRUE(!folder.hasCardFile());

    // A double click on the caption does not maximise it, and its edges do not
    // size it.
    LPARAM caption = MAKELPARAM(frame.left + 100, frame.top + 8);
    EXPECT_EQ(static_cast<long long>(SendMessageA(app.main(), WM_NCHITTEST, 0, caption)),
              static_cast<long long>(HTCAPTION));
    SendMessageA(app.main(), WM_NCLBUTTONDBLCLK, HTCAPTION, caption);
    RECT after;
    GetWindowRect(app.main(), &after);
    EXPECT_EQ(static_cast<long long>(after.right - after.left), 640LL);
    LPARAM rightEdge = MAKELPARAM(frame.right - 1, (frame.top + frame.bottom) / 2);
    LRESULT edge = SendMessageA(app.main(), WM_NCHITTEST, 0, rightEdge);
    EXPECT_TRUE(edge != HTRIGHT && edge != HTBOTTOMRIGHT);
    CLOSE(app);
    EXPECT_TRUE(!folder.hasCardFile());
}

TEST(Program, ListsByLastName) {
    Folder folder;
    folder.writeCardFile(record("Bo", "", "Zed", "", "Male") + record("Al", "", "Abe", "", "Male"));
    {
        AppWindow app(gExe, folder.path());
        ASSERT_TRUE(app.started());
        EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Abe , Al", "Zed , Bo"}));
        EXPECT_EQ(app.listSelection(), -1);
        CLOSE(app);
    }
    // More rows than fit: the list shows its vertical scroll bar.
    std::string many;
    for (int i = 0; i < 20; ++i) many += record("F" + std::to_string(i), "", "L", "", "Male");
    folder.writeCardFile(many);
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_TRUE((GetWindowLongA(app.list(), GWL_STYLE) & WS_VSCROLL) != 0);
    CLOSE(app);
}

TEST(Program, SaveAndUpdate) {
    Folder folder;
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    app.fill("Ann", "M", "Lee", "1 Road");
    EXPECT_QUIET(app, app.click(app.button(IDC_FEMALE)));
    EXPECT_QUIET(app, app.click(app.button(IDC_SAVE)));
    EXPECT_EQ(folder.cardFile(), record("Ann", "M", "Lee", "1 Road", "Female"));
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Lee , Ann"}));
    EXPECT_EQ(app.fields(), (std::vector<std::string>{"Ann", "M", "Lee", "1 Road"}));

    app.setText(app.address(), "2 Lane");
    EXPECT_QUIET(app, app.click(app.button(IDC_MALE)));
    EXPECT_QUIET(app, app.click(app.button(IDC_SAVE)));
    EXPECT_EQ(folder.cardFile(), record("Ann", "M", "Lee", "2 Lane", "Male"));
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Lee , Ann"}));
    CLOSE(app);
}

TEST(Program, NewAnsweredYesAndNo) {
    Folder folder;
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    const std::string question = "Do you wish to save what is currently in the fields?";
    // The initial captions count as content.
    EXPECT_BOX(app, app.click(app.button(IDC_NEW)), "Save?", question,
               (std::vector<int>{IDYES, IDNO}), IDNO);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_EQ(app.fields(), kEmpty);
    EXPECT_TRUE(!folder.hasCardFile());

    EXPECT_QUIET(app,
                 app.click(app.button(IDC_NEW)));  // nothing to save: no question

    app.fill("Di", "", "Moe", "D");
    EXPECT_BOX(app, app.click(app.button(IDC_NEW)), "Save?", question,
               (std::vector<int>{IDYES, IDNO}), IDYES);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_EQ(folder.cardFile(), record("Di", "", "Moe", "D", "Female"));
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Moe , Di"}));
    EXPECT_EQ(app.fields(), kEmpty);
    CLOSE(app);
}

TEST(Program, BackAndNext) {
    Folder folder;
    folder.writeCardFile(record("Al", "", "Abe", "A", "Male") +
                         record("Ann", "M", "Lee", "L", "Female") +
                         record("Bo", "", "Zed", "Z", "Male"));
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_QUIET(app, app.click(app.button(IDC_BACK)));  // nothing selected
    EXPECT_QUIET(app, app.click(app.button(IDC_NEXT)));
    EXPECT_EQ(app.listSelection(), -1);
    EXPECT_EQ(app.fields(), kCaptions);

    EXPECT_QUIET(app, app.clickListRow(0));
    EXPECT_EQ(app.listSelection(), 0);
    EXPECT_EQ(app.fields(), (std::vector<std::string>{"Al", "", "Abe", "A"}));
    EXPECT_TRUE(app.checked(app.button(IDC_MALE)) && !app.checked(app.button(IDC_FEMALE)));
    EXPECT_QUIET(app, app.click(app.button(IDC_BACK)));
    EXPECT_EQ(app.listSelection(), 0);

    struct Step {
        int button, selection;
        const char* first;
    };
    const Step steps[] = {{IDC_NEXT, 1, "Ann"},
                          {IDC_NEXT, 2, "Bo"},
                          {IDC_NEXT, 2, "Bo"},
                          {IDC_BACK, 1, "Ann"},
                          {IDC_BACK, 0, "Al"}};
    for (const Step& step : steps) {
        EXPECT_QUIET(app, app.click(app.button(step.button)));
        EXPECT_EQ(app.listSelection(), step.selection);
        EXPECT_EQ(app.text(app.firstName()), std::string(step.first));
    }
    EXPECT_TRUE(!app.checked(app.button(IDC_FEMALE)));
    CLOSE(app);
}

TEST(Program, RemoveAnsweredNoAndYes) {
    Folder folder;
    const std::string original = record("Bo", "", "Zed", "Z", "Male") +
                                 record("Al", "", "Abe", "A", "Male") +
                                 record("Ann", "M", "Lee", "L", "Female");
    folder.writeCardFile(original);
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_QUIET(app,
                 app.click(app.button(IDC_REMOVE)));  // no selection: no question
    EXPECT_EQ(folder.cardFile(), original);

    EXPECT_QUIET(app, app.clickListRow(1));
    const std::string question = "Are you sure you wish to remove The entry Lee, Ann?";
    EXPECT_BOX(app, app.click(app.button(IDC_REMOVE)), "Remove?", question,
               (std::vector<int>{IDYES, IDNO}), IDNO);
    EXPECT_QUIET(app, app.nextMessageBox());
    // Even "No" rewrites the file, now in list order, and drops the selection.
    const std::string sorted = record("Al", "", "Abe", "A", "Male") +
                               record("Ann", "M", "Lee", "L", "Female") +
                               record("Bo", "", "Zed", "Z", "Male");
    EXPECT_EQ(folder.cardFile(), sorted);
    EXPECT_EQ(app.listSelection(), -1);
    EXPECT_EQ(app.fields(), (std::vector<std::string>{"Ann", "M", "Lee", "L"}));

    EXPECT_QUIET(app, app.clickListRow(1));
    EXPECT_BOX(app, app.click(app.button(IDC_REMOVE)), "Remove?", question,
               (std::vector<int>{IDYES, IDNO}), IDYES);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_EQ(folder.cardFile(),
              record("Al", "", "Abe", "A", "Male") + record("Bo", "", "Zed", "Z", "Male"));
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Abe , Al", "Zed , Bo"}));
    EXPECT_EQ(app.fields(), kEmpty);
    CLOSE(app);
}

TEST(Program, RemoveTheOnlyEntry) {
    Folder folder;
    folder.writeCardFile(record("Ann", "", "Lee", "L", "Female"));
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_QUIET(app, app.clickListRow(0));
    EXPECT_BOX(app, app.click(app.button(IDC_REMOVE)), "Remove?",
               "Are you sure you wish to remove The entry Lee, Ann?",
               (std::vector<int>{IDYES, IDNO}), IDYES);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_EQ(folder.cardFile(), std::string());
    EXPECT_TRUE(app.listRows().empty());
    EXPECT_EQ(app.fields(), (std::vector<std::string>{"Ann", "", "Lee", "L"}));
    CLOSE(app);
}

TEST(Program, LineBreaksAndAccentsSurviveARestart) {
    Folder folder;
    const std::vector<std::string> typed = {
        "Ren\xE9"
        "e",
        "", "Dub\xE9", "1 Road\r\nTown\r\n"};
    {
        AppWindow app(gExe, folder.path());
        ASSERT_TRUE(app.started());
        app.fill(typed[0], typed[1], typed[2], typed[3]);
        EXPECT_QUIET(app, app.click(app.button(IDC_SAVE)));
        CLOSE(app);
    }
    EXPECT_EQ(folder.cardFile(), record("Ren\xE9"
                                        "e",
                                        "", "Dub\xE9", "1 Road\r\r\nTown\r\r\n", "Female"));
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Dub\xE9 , Ren\xE9"
                                                        "e"}));
    EXPECT_QUIET(app, app.clickListRow(0));
    EXPECT_EQ(app.fields(), typed);
    CLOSE(app);
}

TEST(Program, RefusesBytesTheCardFileCannotStore) {
    Folder folder;
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    app.fill("Jan", "", "Novotn\xFD", "");
    EXPECT_BOX(app, app.click(app.button(IDC_SAVE)), "Quillborough",
               "The Last Name field holds the character \"\xFD\" (0xFD), which "
               "the card file cannot "
               "store. Please change it and save again.",
               (std::vector<int>{IDOK}), IDOK);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_TRUE(!folder.hasCardFile());
    EXPECT_TRUE(app.listRows().empty());
    EXPECT_EQ(app.fields(), (std::vector<std::string>{"Jan", "", "Novotn\xFD", ""}));
    CLOSE(app);
}

// A save that fails keeps the change in memory; closing then asks before losing
// it.
TEST(Program, FailedSaveThenClosing) {
    Folder folder;
    const std::string original = record("Al", "", "Abe", "A", "Male");
    folder.writeCardFile(original);
    SetFileAttributesA(folder.file().c_str(), FILE_ATTRIBUTE_READONLY);
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Abe , Al"}));
    app.fill("Bo", "", "Zed", "");
    EXPECT_BOX(app, app.click(app.button(IDC_SAVE)), "Quillborough", kWriteFailure,
               (std::vector<int>{IDOK}), IDOK);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_EQ(folder.cardFile(), original);
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Abe , Al", "Zed , Bo"}));

    EXPECT_BOX(app, app.requestClose(), "Quillborough", kCloseQuestion,
               (std::vector<int>{IDYES, IDNO}), IDNO);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_TRUE(IsWindow(app.main()));
    SetFileAttributesA(folder.file().c_str(), FILE_ATTRIBUTE_NORMAL);
    CLOSE(app);
    EXPECT_EQ(folder.cardFile(), original + record("Bo", "", "Zed", "", "Female"));
}

// Two copies of the program in one folder, saving in turn: every save reads the
// other's entries in first, and none is lost.
TEST(Program, TwoCopiesSaveInTurn) {
    Folder folder;
    AppWindow first(gExe, folder.path()), second(gExe, folder.path());
    ASSERT_TRUE(first.started() && second.started());
    constexpr int kSavesEach = 30;
    std::string expected;
    int failures = 0;
    for (int i = 0; i < 2 * kSavesEach; ++i) {
        AppWindow& app = i % 2 ? second : first;
        char last[16];
        std::snprintf(last, sizeof last, "L%03d", i);
        app.fill(i % 2 ? "Second" : "First", "", last, "");
        HWND box = app.click(app.button(IDC_SAVE));
        if (i > 0) {
            // The other copy wrote last.
            if (!box || describeMessageBox(box).text != kChangedByAnother) ++failures;
            EXPECT_BOX(app, box, "Quillborough", kChangedByAnother, (std::vector<int>{IDOK}), IDOK);
            box = app.nextMessageBox();
        }
        EXPECT_QUIET(app, box);
        expected += record(i % 2 ? "Second" : "First", "", last, "", "Female");
        EXPECT_EQ(static_cast<long long>(app.listRows().size()), i + 1LL);
    }
    EXPECT_EQ(folder.cardFile(), expected);
    EXPECT_TRUE(folder.names("*.tmp").empty());
    CLOSE(first);
    CLOSE(second);
    std::printf(
        "  %d saves by two copies in turn: %d failed, %zu bytes, every "
        "entry kept\n",
        2 * kSavesEach, failures, expected.size());
}

TEST(Program, RewrittenBehindTheProgramsBack) {
    Folder folder;
    folder.writeCardFile(record("Al", "", "Abe", "A", "Male"));
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    // Another program adds an entry and puts the time stamp back.
    FILETIME written{};
    HANDLE handle = CreateFileA(folder.file().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    GetFileTime(handle, nullptr, nullptr, &written);
    CloseHandle(handle);
    folder.writeCardFile(record("Al", "", "Abe", "A", "Male") +
                         record("Cy", "", "Moe", "C", "Male"));
    handle =
        CreateFileA(folder.file().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(handle, nullptr, nullptr, &written);
    CloseHandle(handle);

    app.fill("Bo", "", "Zed", "Z");
    EXPECT_BOX(app, app.click(app.button(IDC_SAVE)), "Quillborough", kChangedByAnother,
               (std::vector<int>{IDOK}), IDOK);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_EQ(folder.cardFile(), record("Al", "", "Abe", "A", "Male") +
                                     record("Cy", "", "Moe", "C", "Male") +
                                     record("Bo", "", "Zed", "Z", "Female"));
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Abe , Al", "Moe , Cy", "Zed , Bo"}));
    CLOSE(app);
}

TEST(Program, CardFileIsAFolder) {
    Folder folder;
    CreateDirectoryA(folder.file().c_str(), nullptr);
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_BOX(app, app.messageBox(), "Quillborough",
               "The card file \"test.txt\" exists but could not be read, so the "
               "list is empty. "
               "Nothing will be written over it: the next save reads it first.",
               (std::vector<int>{IDOK}), IDOK);
    EXPECT_TRUE(app.listRows().empty());
    app.fill("Bo", "", "Zed", "");
    EXPECT_BOX(app, app.click(app.button(IDC_SAVE)), "Quillborough",
               "The card file \"test.txt\" cannot be read, so nothing was written over "
               "it. It is "
               "kept in memory and will be written with the next successful save.",
               (std::vector<int>{IDOK}), IDOK);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_BOX(app, app.requestClose(), "Quillborough", kCloseQuestion,
               (std::vector<int>{IDYES, IDNO}), IDYES);
    DWORD code = 0xDEAD;
    WaitForSingleObject(app.process(), 15000);
    GetExitCodeProcess(app.process(), &code);
    EXPECT_EQ(static_cast<long long>(code), 0LL);
    EXPECT_TRUE((GetFileAttributesA(folder.file().c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

// One Ctrl-Z and then 12,000,000 record terminators: nothing to load, and
// nothing to size the collection by.
TEST(Program, HugeFileAfterCtrlZ) {
    Folder folder;
    const std::string crafted = "\x1A" + std::string(12000000, '\xFD');
    folder.writeCardFile(crafted);
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(app.listRows().empty());
    app.fill("Bo", "", "Zed", "");
    EXPECT_BOX(app, app.click(app.button(IDC_SAVE)), "Quillborough",
               "Some of \"test.txt\" could not be loaded (it lay after an end-of-file "
               "mark or a "
               "zero byte), so before the file was rewritten its original was kept as "
               "\"test.txt.bak\".",
               (std::vector<int>{IDOK}), IDOK);
    EXPECT_QUIET(app, app.nextMessageBox());
    EXPECT_EQ(folder.cardFile(), record("Bo", "", "Zed", "", "Female"));
    EXPECT_TRUE(folder.cardFile("test.txt.bak") == crafted);
    CLOSE(app);
}

// Kills the program at random moments while it saves a large card file: the
// file must always be exactly the old or exactly the new content.
TEST(Program, KilledMidSave) {
    std::string oldBytes;
    for (int i = 0; i < 5000; ++i) {
        std::string n = std::to_string(i);
        oldBytes += record("First" + n, "", "Last" + std::to_string(i % 997), n + " Road\r\r\nTown",
                           i % 2 ? "Male" : "Female");
    }
    Folder folder;
    folder.writeCardFile(oldBytes);
    std::string newBytes;
    DWORD saveMs = 0;
    {
        AppWindow app(gExe, folder.path());
        ASSERT_TRUE(app.started());
        app.fill("Zoe", "", "Quinn", "New");
        DWORD start = GetTickCount();
        EXPECT_QUIET(app, app.click(app.button(IDC_SAVE)));
        saveMs = GetTickCount() - start;
        newBytes = folder.cardFile();
        CLOSE(app);
    }
    ASSERT_TRUE(newBytes != oldBytes && newBytes.size() > oldBytes.size());

    unsigned seed = 20261207;
    int kills = 0, foundOld = 0, foundNew = 0, leftTemp = 0;
    for (; kills < 30; ++kills) {
        folder.writeCardFile(oldBytes);
        AppWindow app(gExe, folder.path());
        ASSERT_TRUE(app.started());
        app.fill("Zoe", "", "Quinn", "New");
        seed = seed * 1103515245 + 12345;
        app.startClick(app.button(IDC_SAVE));
        Sleep((seed >> 8) % (saveMs + 1));
        app.kill();
        std::string onDisk = folder.cardFile();
        if (onDisk != oldBytes && onDisk != newBytes) {
            ADD_FAILURE() << ("after kill " + std::to_string(kills) + " the card file holds " +
                              std::to_string(onDisk.size()) + " bytes, neither version");
            return;
        }
        (onDisk == oldBytes ? foundOld : foundNew)++;
        if (!folder.names("*.tmp").empty()) ++leftTemp;
    }
    std::printf(
        "  %d kills within %lu ms saves: card file whole every time (%d "
        "old, %d new), "
        "%d left a temporary file behind for a later save to remove\n",
        kills, static_cast<unsigned long>(saveMs), foundOld, foundNew, leftTemp);
}

HWND screenPoint(HWND control, int* x, int* y) {
    RECT rect;
    GetWindowRect(control, &rect);
    *x = (rect.left + rect.right) / 2;
    *y = (rect.top + rect.bottom) / 2;
    return control;
}

// Asks the host for a screenshot of the main window.
void screenshot(AppWindow& app) {
    RECT frame;
    GetWindowRect(app.main(), &frame);
    askHost("screenshot " + std::to_string(frame.left) + " " + std::to_string(frame.top) + " " +
            std::to_string(frame.right - frame.left) + " " +
            std::to_string(frame.bottom - frame.top));
}

TEST(Program, RealMouseAndScreenshot) {
    Folder folder;
    folder.writeCardFile(record("Al", "", "Abe", "A", "Male"));
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    SetForegroundWindow(app.main());
    app.fill("Bo", "", "Zed", "Z Street");
    int x = 0, y = 0;
    screenPoint(app.button(IDC_SAVE), &x, &y);
    ASSERT_TRUE(askHost("click " + std::to_string(x) + " " + std::to_string(y)));
    for (int i = 0; i < 300 && app.listRows().size() < 2; ++i) Sleep(10);
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Abe , Al", "Zed , Bo"}));
    EXPECT_EQ(folder.cardFile(),
              record("Al", "", "Abe", "A", "Male") + record("Bo", "", "Zed", "Z Street", "Female"));

    RECT list;
    GetWindowRect(app.list(), &list);
    auto height = static_cast<int>(SendMessageA(app.list(), LB_GETITEMHEIGHT, 0, 0));
    ASSERT_TRUE(askHost("click " + std::to_string(list.left + 30) + " " +
                        std::to_string(list.top + 2 + height / 2)));
    for (int i = 0; i < 300 && app.listSelection() != 0; ++i) Sleep(10);
    EXPECT_EQ(app.listSelection(), 0);
    EXPECT_EQ(app.fields(), (std::vector<std::string>{"Al", "", "Abe", "A"}));

    screenshot(app);
    CLOSE(app);
}

// Runs `qbcard.exe sync` in `folder`, as another program on this machine does while
// the window is open. Returns its exit code, with its output (both streams) in
// `output`.
DWORD syncInFolder(const Folder& folder, std::string& output) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return 0xDEAD;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // No standard input: the driver's own carries the host's answers.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    std::string commandLine = "\"" + gTool + "\" sync " + gSyncArguments;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessA(gTool.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                  nullptr, folder.path().c_str(), &startup, &process);
    CloseHandle(writeEnd);
    char buffer[4096];
    DWORD got = 0;
    while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    CloseHandle(readEnd);
    if (!started) return 0xDEAD;
    DWORD code = 0xDEAD;
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// A sync brings a card from the server while an edit waits in the form: the Save
// keeps both, and the next sync sends the edit (the host checks it on the server).
TEST(Sync, WhileTheWindowIsOpen) {
    ASSERT_FALSE(gTool.empty()) << "no qbcard.exe and sync arguments on the command line";
    Folder folder;
    const std::string al = record("Al", "", "Abe", "1 Old Road", "Male");
    const std::string cy = record("Cy", "", "Ray", "3 Home Row", "");
    folder.writeCardFile(al);
    AppWindow app(gExe, folder.path());
    ASSERT_TRUE(app.started());
    SetForegroundWindow(app.main());
    EXPECT_QUIET(app, app.clickListRow(0));
    app.setText(app.address(), "2 New Lane");

    std::string output;
    EXPECT_EQ(syncInFolder(folder, output), 0u) << output;
    EXPECT_EQ(output,
              "added here: Cy Ray\nadded there: Al Abe\n"
              "1 sent, 1 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
    EXPECT_EQ(folder.cardFile(), al + cy);

    int x = 0, y = 0;
    screenPoint(app.button(IDC_SAVE), &x, &y);
    ASSERT_TRUE(askHost("click " + std::to_string(x) + " " + std::to_string(y)));
    EXPECT_BOX(app, app.messageBox(), "Quillborough", kChangedByAnother, (std::vector<int>{IDOK}),
               IDOK);
    const std::string edited = record("Al", "", "Abe", "2 New Lane", "Male") + cy;
    EXPECT_EQ(folder.cardFile(), edited);
    EXPECT_EQ(app.listRows(), (std::vector<std::string>{"Abe , Al", "Ray , Cy"}));
    screenshot(app);

    output.clear();
    EXPECT_EQ(syncInFolder(folder, output), 0u) << output;
    EXPECT_EQ(output,
              "updated there: Al Abe\n"
              "1 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
    EXPECT_EQ(folder.cardFile(), edited);
    CLOSE(app);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2 || argc == 3) {
        std::fprintf(stderr,
                     "usage: e2e_driver <quillborough.exe> [<qbcard.exe> SYNC-ARGUMENTS...] "
                     "[GoogleTest options]\n");
        return 2;
    }
    gExe = argv[1];
    if (argc > 2) gTool = argv[2];
    for (int i = 3; i < argc; ++i) gSyncArguments += std::string(i > 3 ? " " : "") + argv[i];
    return RUN_ALL_TESTS();
}
