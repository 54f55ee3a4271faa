#include "form/form_binding.h"

#include <algorithm>
#include <vector>

#include "data/entry.h"
#include "data/program_globals.h"
#include "form/controls.h"

std::string readField(HWND control) {
    auto length = static_cast<size_t>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0));
    std::vector<char> buffer(length + 2, '\0');
    SendMessageA(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(buffer.data()));
    return std::string(buffer.data());
}

std::string readSex() {
    // Only the checked bit counts: the state word is also nonzero while the button
    // merely has the focus or is pushed.
    LRESULT state = SendMessageA(maleButton, BM_GETSTATE, 0, 0);
    return (state & BST_CHECKED) ? kMale : kFemale;
}

namespace {

void setChecks(bool male) {
    HWND checked = male ? maleButton : femaleButton;
    HWND unchecked = male ? femaleButton : maleButton;
    SendMessageA(checked, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(unchecked, BM_SETCHECK, BST_UNCHECKED, 0);
}

}  // namespace

void showEntry(int index) {
    // The list announces a selection change with -1 too; there is nothing to show then.
    if (index < 0 || static_cast<unsigned>(index) >= entryCount()) return;
    const Entry& entry = entryAt(static_cast<unsigned>(index));
    SetWindowTextA(firstNameField, entry.firstName.c_str());
    SetWindowTextA(lastNameField, entry.lastName.c_str());
    SetWindowTextA(middleNameField, entry.middleName.c_str());
    SetWindowTextA(addressField, entry.address.c_str());
    setChecks(entry.sex == kMale);
}

void clearForm() {
    SetWindowTextA(firstNameField, "");
    SetWindowTextA(lastNameField, "");
    SetWindowTextA(middleNameField, "");
    SetWindowTextA(addressField, "");
    SendMessageA(maleButton, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(femaleButton, BM_SETCHECK, BST_UNCHECKED, 0);
}

namespace {

// A list row: the last name, " , " and the first name. Into a string the caller
// reuses, since a refill builds a million of them.
void putRowText(const Entry& entry, std::string& row) {
    row.assign(entry.lastName).append(" , ").append(entry.firstName);
}

// Under Wine a list box keeps its rows in one array that grows sixteen rows at a time
// and is copied whole each time it outgrows its block, which makes filling a million
// rows take seconds (twice as long for a 64-bit program, whose rows are larger); and
// it undoes LB_INITSTORAGE sent to an empty list at the first row added. Sent again
// once the array is large enough for a block of its own, the reservation holds and
// the remaining rows go in without a copy. Windows keeps the first reservation; the
// second costs it nothing.
constexpr size_t kRowsBeforeReservingAgain = 40000;
// Room for the rows that Saves add later, so that they do not copy the array either.
constexpr size_t kSpareRows = 1024;

void rebuildRows() {
    // Adding rows to a visible list box one at a time repaints it every time, which
    // costs seconds for a large address book; paint once at the end instead.
    SendMessageA(entryList, WM_SETREDRAW, FALSE, 0);
    SendMessageA(entryList, LB_RESETCONTENT, 0, 0);
    size_t textBytes = 0;
    for (const Entry& entry : entries)
        textBytes += entry.lastName.size() + entry.firstName.size() + 4;
    SendMessageA(entryList, LB_INITSTORAGE, entries.size(), static_cast<LPARAM>(textBytes));
    std::string row;
    size_t added = 0;
    for (const Entry& entry : entries) {
        if (added++ == kRowsBeforeReservingAgain)
            SendMessageA(entryList, LB_INITSTORAGE, entries.size() - added + kSpareRows,
                         static_cast<LPARAM>(textBytes));
        putRowText(entry, row);
        SendMessageA(entryList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
    SendMessageA(entryList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(entryList, nullptr, TRUE);
}

// The row of the entry with the names of `entry`, in the normalised collection.
size_t rowOf(const Entry& entry) {
    auto range = std::equal_range(entries.begin(), entries.end(), entry, entryLess);
    auto same = std::find_if(range.first, range.second,
                             [&](const Entry& e) { return sameNames(e, entry); });
    return static_cast<size_t>(same - entries.begin());
}

// Brings the rows in line with the normalised collection by the few insertions and
// deletions that `change` implies; false when the rows are not as it implies, and
// only a rebuild can be trusted.
bool updateRows(const ListChange& change) {
    const auto shown = static_cast<size_t>(SendMessageA(entryList, LB_GETCOUNT, 0, 0));
    const size_t count = entries.size();
    switch (change.kind) {
        case ListChange::nothing:
            return shown == count;
        case ListChange::put: {
            if (shown == count) return true;  // it updated an entry of the same names
            size_t row = rowOf(change.entry);
            if (shown + 1 != count || row >= count) return false;
            std::string text;
            putRowText(entries[row], text);
            SendMessageA(entryList, LB_INSERTSTRING, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(text.c_str()));
            return true;
        }
        case ListChange::erased:
            if (shown != count + 1 || change.row >= shown) return false;
            SendMessageA(entryList, LB_DELETESTRING, change.row, 0);
            return true;
        default:
            return false;
    }
}

}  // namespace

void refreshList() {
    normaliseEntries(entries);
    rebuildRows();
}

void refreshListAfter(const ListChange& change) {
    if (!updateRows(change)) return rebuildRows();
    SendMessageA(entryList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int listSelection() { return static_cast<int>(SendMessageA(entryList, LB_GETCURSEL, 0, 0)); }

void selectListRow(int index) {
    SendMessageA(entryList, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
