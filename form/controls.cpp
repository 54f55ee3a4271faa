#include "form/controls.h"

HWND firstNameField;
HWND middleNameField;
HWND lastNameField;
HWND addressField;
HWND maleButton;
HWND femaleButton;
HWND cityComboBox;
HWND entryList;
