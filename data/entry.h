#pragma once

#include <string>
#include <vector>

// One person. Every field is a byte string in the system's 8-bit code page;
// line breaks are the two bytes CR LF, exactly as the edit controls deliver them.
struct Entry {
    std::string firstName;
    std::string lastName;
    std::string middleName;
    std::string address;
    std::string sex;  // "Male" or "Female" from the form; anything from the card file
};

// The address book, in the order the list shows it: row i is entries[i].
extern std::vector<Entry> entries;

// Carries the form's contents into `entries` on Save; keeps the last saved values.
extern Entry scratchEntry;

unsigned entryCount();
Entry& entryAt(unsigned index);
void appendEntry(const Entry& entry);
void eraseEntryAt(unsigned position);
void eraseAllEntries();

// Byte-wise, unsigned, case-sensitive order on the last name alone.
bool entryLess(const Entry& a, const Entry& b);

// Same last, first and middle name, compared exactly.
bool sameNames(const Entry& a, const Entry& b);

// Sorts `entries` by last name (stably, so equal last names keep their order) and
// merges entries with the same three names: the first keeps its place, the last
// one's address and sex win.
void normaliseEntries();
