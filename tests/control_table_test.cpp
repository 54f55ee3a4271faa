#include "shell/control_table.h"

#include <gtest/gtest.h>

#include <string>

#include "form/controls.h"

namespace {

// The main window's fifteen controls, value for value, in creation order.
const struct {
    const char* className;
    const char* text;
    DWORD style;
    int x, y, width, height, id;
    HWND* handle;
} kExpected[] = {
    {"Static", nullptr, 0x5000000E, 0, 0, 640, 580, 0, nullptr},
    {"Button", "New", 0x50800000, 10, 350, 50, 25, 22, nullptr},
    {"Button", "Back", 0x50800000, 70, 350, 50, 25, 1, nullptr},
    {"Button", "Next", 0x50800000, 130, 350, 50, 25, 2, nullptr},
    {"Button", "Clear", 0x50800000, 190, 350, 50, 25, 3, nullptr},
    {"Button", "Save", 0x50800000, 250, 350, 50, 25, 4, nullptr},
    {"Button", "Card", 0x50800003, 500, 250, 100, 25, 5, nullptr},
    {"Button", "Male", 0x50800009, 300, 250, 100, 25, 6, &maleButton},
    {"Button", "Female", 0x50800009, 300, 275, 100, 25, 7, &femaleButton},
    {"Edit", "First Name", 0x50811045, 15, 40, 130, 25, 8, &firstNameField},
    {"Edit", "Middle Name", 0x50801045, 150, 40, 130, 25, 9, &middleNameField},
    {"Edit", "Last Name", 0x50801045, 285, 40, 130, 25, 10, &lastNameField},
    {"Edit", "Address", 0x50A01045, 15, 80, 130, 100, 10, &addressField},
    {"ComboBox", nullptr, 0x50A00803, 400, 200, 150, 300, 11, &cityComboBox},
    {"ListBox", nullptr, 0x50A00001, 20, 400, 300, 100, 6, &entryList},
};

std::string textOf(const char* text) { return text ? text : "(none)"; }

TEST(ControlTableTest, HoldsTheFifteenControlsValueForValue) {
    static_assert(sizeof kControls / sizeof kControls[0] == sizeof kExpected / sizeof kExpected[0]);
    for (size_t i = 0; i < sizeof kExpected / sizeof kExpected[0]; ++i) {
        const ControlRow& row = kControls[i];
        const auto& want = kExpected[i];
        SCOPED_TRACE("row " + std::to_string(i + 1) + " " + textOf(want.text));
        EXPECT_STREQ(row.className, want.className);
        EXPECT_EQ(textOf(row.text), textOf(want.text));
        EXPECT_EQ(row.style, want.style);
        EXPECT_EQ(row.x, want.x);
        EXPECT_EQ(row.y, want.y);
        EXPECT_EQ(row.width, want.width);
        EXPECT_EQ(row.height, want.height);
        EXPECT_EQ(row.id, want.id);
        EXPECT_EQ(row.handle, want.handle);
    }
    EXPECT_STREQ(kCityItems[0], "City");
    EXPECT_STREQ(kCityItems[1], "Mumbai");
    EXPECT_STREQ(kCityItems[2], "etc");
}

}  // namespace
