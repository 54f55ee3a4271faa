#include "shell/control_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "form/controls.h"
#include "resources/resource.h"

namespace {

constexpr size_t kRows = sizeof kControls / sizeof kControls[0];
// The client area of the 640 × 580 window, less the smallest frame and caption.
constexpr int kClientWidth = 640, kClientHeight = 549;

std::string nameOf(const ControlRow& row) { return row.text ? row.text : row.className; }

// What the window and its commands rely on, rather than the table's values again.
TEST(ControlTableTest, HoldsWhatTheWindowAndItsCommandsRelyOn) {
    const ControlRow& background = kControls[0];
    EXPECT_STREQ(background.className, "Static");  // first, so everything lies above it
    EXPECT_EQ(background.style & SS_BITMAP, static_cast<DWORD>(SS_BITMAP));
    EXPECT_EQ(background.width, 640);
    EXPECT_EQ(background.height, 580);

    std::map<int, std::set<std::string>> byId;
    std::set<HWND*> handles;
    int tabStops = 0;
    for (size_t i = 1; i < kRows; ++i) {
        const ControlRow& row = kControls[i];
        SCOPED_TRACE(nameOf(row));
        EXPECT_TRUE(row.style & WS_CHILD);
        EXPECT_TRUE(row.style & WS_VISIBLE);
        EXPECT_GE(row.x, 0);
        EXPECT_GE(row.y, 0);
        EXPECT_LE(row.x + row.width, kClientWidth);
        // A drop-down list's height is that of its open list, which may overhang.
        if (std::string(row.className) != "ComboBox") {
            EXPECT_LE(row.y + row.height, kClientHeight);
        }
        byId[row.id].insert(nameOf(row));
        if (row.handle) {
            EXPECT_TRUE(handles.insert(row.handle).second) << "handle stored twice";
        }
        if (row.style & WS_TABSTOP) {
            ++tabStops;
            EXPECT_EQ(row.handle, &firstNameField);
        }
    }
    EXPECT_EQ(tabStops, 1);

    // Each command's button is the only control with its identifier; the two pairs
    // that share one are the intended ones and no others.
    const std::map<std::string, int> commands = {{"New", IDC_NEW},
                                                 {"Back", IDC_BACK},
                                                 {"Next", IDC_NEXT},
                                                 {"Clear", IDC_REMOVE},
                                                 {"Save", IDC_SAVE}};
    for (const auto& [label, id] : commands)
        EXPECT_EQ(byId[id], std::set<std::string>{label}) << label;
    for (const auto& [id, names] : byId) {
        if (names.size() < 2) continue;
        const std::set<std::string> listAndMale = {"ListBox", "Male"};
        const std::set<std::string> lastNameAndAddress = {"Last Name", "Address"};
        EXPECT_TRUE(names == listAndMale || names == lastNameAndAddress) << "identifier " << id;
    }
    EXPECT_STREQ(kCityItems[0], "City");  // the item selected when the window opens
}

}  // namespace
