#pragma once

// Resource and control identifiers, shared by the code and the resource script
// (which understands only #define).

#define IDI_PROGRAM 100  // the first icon group: the file's own icon in Explorer
#define IDB_BACKGROUND 101

// Control identifiers. Two pairs are shared on purpose: the Male button and the
// entry list are both 6 (the list is told apart by its notification code), and
// Last Name and Address are both 10 (no command acts on either).
#define IDC_BACK 1
#define IDC_NEXT 2
#define IDC_REMOVE 3  // the button labelled "Clear" removes the selected entry
#define IDC_SAVE 4
#define IDC_CARD 5
#define IDC_MALE 6
#define IDC_ENTRY_LIST 6
#define IDC_FEMALE 7
#define IDC_FIRST_NAME 8
#define IDC_MIDDLE_NAME 9
#define IDC_LAST_NAME 10
#define IDC_ADDRESS 10
#define IDC_CITY 11
#define IDC_NEW 22
#define IDC_BACKGROUND 0
