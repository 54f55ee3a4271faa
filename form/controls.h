#pragma once

#include "platform/window_system.h"

// Handles of the form's controls, stored when the main window creates them and
// valid while it exists.
extern HWND firstNameField;
extern HWND middleNameField;
extern HWND lastNameField;
extern HWND addressField;
extern HWND maleButton;
extern HWND femaleButton;
extern HWND cityComboBox;
extern HWND entryList;
