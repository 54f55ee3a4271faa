// Times the real window under Wine, driven through the window system as the
// end-to-end suite drives it: start-up until the list is filled, and the median
// of five Saves and five Removes until the list shows them, at 10,000, 100,000
// and 1,000,000 entries. Prints one tab-separated line per program and size:
// program, entries, start-up ms, Save ms, Remove ms.
//
// Usage: gui_bench <quillborough.exe> [more programs to time beside it]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/app_window.h"
#include "tests/e2e/folder.h"

namespace {

bool gFailed = false;

void complain(const std::string& exe, const char* what) {
    std::fprintf(stderr, "gui_bench: %s: %s\n", exe.c_str(), what);
    gFailed = true;
}

// Waits until the list holds `count` rows, for at most a few minutes.
bool waitForRows(AppWindow& app, LRESULT count, bool atLeast) {
    for (DWORD waited = 0; waited < 300000; ++waited) {
        LRESULT rows = SendMessageA(app.list(), LB_GETCOUNT, 0, 0);
        if (atLeast ? rows >= count : rows <= count) return true;
        Sleep(1);
    }
    return false;
}

double elapsedMs(const LARGE_INTEGER& start) {
    LARGE_INTEGER end, frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

void timeStartUpSaveAndRemove(const std::string& exe, int count) {
    std::string cardFile;
    cardFile.reserve(static_cast<size_t>(count) * 64);
    for (int i = 0; i < count; ++i) {
        char last[16];
        std::snprintf(last, sizeof last, "Last%06d", i / 3);
        cardFile += record("First" + std::to_string(i), "", last,
                           std::to_string(i) + " Road\r\r\nTown", i % 2 ? "Male" : "Female");
    }
    Folder folder;
    folder.writeCardFile(cardFile);
    cardFile = std::string();

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    AppWindow app(exe, folder.path());
    if (!app.started() || !waitForRows(app, count, true)) return complain(exe, "did not start");
    double startUp = elapsedMs(start);

    // Five of each, the median reported: a flush to disk takes what the disk takes.
    std::vector<double> saves, removes;
    for (int round = 0; round < 5; ++round) {
        // Lands near the top, so that most rows move down.
        std::string first = "Zoe" + std::to_string(round);
        app.fill(first, "", "Last000001", "New");
        QueryPerformanceCounter(&start);
        if (app.click(app.button(IDC_SAVE)) || !waitForRows(app, count + 1, true))
            return complain(exe, "a Save did not finish quietly");
        saves.push_back(elapsedMs(start));
        // Only single rows are read: reading a million across processes takes minutes.
        if (itemText(app.list(), LB_GETTEXTLEN, LB_GETTEXT, 6) != "Last000001 , " + first)
            return complain(exe, "the saved entry is not listed where it belongs");

        if (app.clickListRow(6)) return complain(exe, "selecting a row opened a box");
        HWND question = app.click(app.button(IDC_REMOVE));
        QueryPerformanceCounter(&start);
        if (!question || !answerMessageBox(question, IDYES) || app.nextMessageBox() ||
            !waitForRows(app, count, false))
            return complain(exe, "a Remove did not finish quietly");
        removes.push_back(elapsedMs(start));
    }
    std::sort(saves.begin(), saves.end());
    std::sort(removes.begin(), removes.end());
    std::printf("%s\t%d\t%.1f\t%.1f\t%.1f\n", exe.c_str(), count, startUp, saves[2], removes[2]);
    std::fflush(stdout);
    if (app.close() != 0) complain(exe, "did not close with exit code 0");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_bench <quillborough.exe> [more programs]\n");
        return 2;
    }
    for (int count : {10000, 100000, 1000000})
        for (int i = 1; i < argc; ++i) timeStartUpSaveAndRemove(argv[i], count);
    return gFailed ? 1 : 0;
}
