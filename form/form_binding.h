#pragma once

#include <string>

#include "platform/window_system.h"

// Moves data between the form's controls and entries; the only code that does.

std::string readField(HWND control);

// "Male" when the Male button is checked, otherwise "Female".
std::string readSex();

// Shows entries[index] in the fields; does nothing for an index outside the collection.
void showEntry(int index);

void clearForm();

// Normalises `entries` and rebuilds the list from them: row i shows entries[i].
// The selection is dropped; the fields are left alone.
void refreshList();

// The selected row, or -1 (LB_ERR) when none is.
int listSelection();
void selectListRow(int index);
