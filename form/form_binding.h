#pragma once

#include <string>

#include "data/entry.h"
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

// What a command changed in `entries` since the list was last refreshed.
struct ListChange {
    enum Kind { anything, nothing, put, erased } kind = anything;
    Entry entry;       // put: the entry appended
    unsigned row = 0;  // erased: the row of the entry erased

    static ListChange ofPut(const Entry& entry) { return {put, entry, 0}; }
    static ListChange ofErased(unsigned row) { return {erased, Entry(), row}; }
};

// Ends with exactly the rows and the selection of refreshList, but touches only
// the rows that `change` affects: refilling a list of a million rows takes seconds.
// For after a save, which has normalised `entries` already.
void refreshListAfter(const ListChange& change);

// The selected row, or -1 (LB_ERR) when none is.
int listSelection();
void selectListRow(int index);
