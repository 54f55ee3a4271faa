#include "shell/control_table.h"

#include "data/entry.h"
#include "form/controls.h"
#include "resources/resource.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kPushButton = kChild | WS_BORDER;
constexpr DWORD kRadioButton = kChild | WS_BORDER | BS_AUTORADIOBUTTON;
// Every field is multi-line and takes Enter as a line break, names included;
// only the first is a tab stop.
constexpr DWORD kField =
    kChild | WS_BORDER | ES_WANTRETURN | ES_AUTOVSCROLL | ES_MULTILINE | ES_CENTER;

}  // namespace

const ControlRow kControls[15] = {
    {"Static", nullptr, kChild | SS_BITMAP, 0, 0, 640, 580, IDC_BACKGROUND, nullptr},
    {"Button", "New", kPushButton, 10, 350, 50, 25, IDC_NEW, nullptr},
    {"Button", "Back", kPushButton, 70, 350, 50, 25, IDC_BACK, nullptr},
    {"Button", "Next", kPushButton, 130, 350, 50, 25, IDC_NEXT, nullptr},
    {"Button", "Clear", kPushButton, 190, 350, 50, 25, IDC_REMOVE, nullptr},
    {"Button", "Save", kPushButton, 250, 350, 50, 25, IDC_SAVE, nullptr},
    {"Button", "Card", kChild | WS_BORDER | BS_AUTOCHECKBOX, 500, 250, 100, 25, IDC_CARD, nullptr},
    {"Button", kMale, kRadioButton, 300, 250, 100, 25, IDC_MALE, &maleButton},
    {"Button", kFemale, kRadioButton, 300, 275, 100, 25, IDC_FEMALE, &femaleButton},
    {"Edit", kFieldLabels[kFirstNameField], kField | WS_TABSTOP, 15, 40, 130, 25, IDC_FIRST_NAME,
     &firstNameField},
    {"Edit", kFieldLabels[kMiddleNameField], kField, 150, 40, 130, 25, IDC_MIDDLE_NAME,
     &middleNameField},
    {"Edit", kFieldLabels[kLastNameField], kField, 285, 40, 130, 25, IDC_LAST_NAME, &lastNameField},
    {"Edit", kFieldLabels[kAddressField], kField | WS_VSCROLL, 15, 80, 130, 100, IDC_ADDRESS,
     &addressField},
    {"ComboBox", nullptr, kChild | WS_VSCROLL | WS_BORDER | CBS_DISABLENOSCROLL | CBS_DROPDOWNLIST,
     400, 200, 150, 300, IDC_CITY, &cityComboBox},
    {"ListBox", nullptr, kChild | WS_VSCROLL | WS_BORDER | LBS_NOTIFY, 20, 400, 300, 100,
     IDC_ENTRY_LIST, &entryList},
};

const char* const kCityItems[3] = {"City", "Mumbai", "etc"};
