#pragma once

#include <array>
#include <string>
#include <cstdint>
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

// What the form stores for the sex; every reader takes anything but kMale as female.
constexpr const char* kMale = "Male";
constexpr const char* kFemale = "Female";

// The five fields in the card file's order, with the labels the form shows them by.
// `fieldsOf` works on any record with the same five members, such as a vCard or
// CSV contact, so that every format walks the fields in the same order.
constexpr int kFieldCount = 5;
enum FieldIndex { kFirstNameField, kMiddleNameField, kLastNameField, kAddressField, kSexField };
constexpr const char* kFieldLabels[kFieldCount] = {"First Name", "Middle Name", "Last Name",
                                                   "Address", "Sex"};
template <typename Record>
auto fieldsOf(Record& record) {
    return std::array<decltype(&record.firstName), kFieldCount>{
        &record.firstName, &record.middleName, &record.lastName, &record.address, &record.sex};
}

// Byte-wise, unsigned, case-sensitive order on the last name alone.
bool entryLess(const Entry& a, const Entry& b);

// Same last, first and middle name, compared exactly.
bool sameNames(const Entry& a, const Entry& b);

// Sorts the collection by last name (stably, so equal last names keep their order)
// and merges entries with the same three names: the first keeps its place, the last
// one's address and sex win.
void normaliseEntries(std::vector<Entry>& collection);

enum class PutResult { added, updated, unchanged };

// How a put treats what the new entry does not carry: as Save does, an empty
// address or sex replaces the stored one; an import's merge keeps the stored one.
enum class PutMode { replace, merge };

// Puts entries into a collection by the program's one rule, the rule of Save: an
// entry with the same three names takes the new address and sex; any other is
// appended, for the next normalisation to sort in. The collection is normalised
// first, so each put is a binary search, and many puts in a row stay cheap.
class EntryPutter {
  public:
    explicit EntryPutter(std::vector<Entry>& collection);
    PutResult put(const Entry& entry, PutMode mode = PutMode::replace);

    // The entry with the same three names, or null; valid until the next put.
    Entry* find(const Entry& names);

  private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;
    size_t appendedSlot(const Entry& names) const;
    void indexAppended(uint32_t position);

    std::vector<Entry>& entries_;
    size_t sortedEnd_;  // entries from here on were appended by put, found by their names
    std::vector<uint32_t> slots_;  // positions of appended entries, by a hash of their names
    size_t appended_ = 0;
};
