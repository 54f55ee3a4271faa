#include "data/entry.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

std::vector<Entry> entries;
Entry scratchEntry;

unsigned entryCount() { return static_cast<unsigned>(entries.size()); }

Entry& entryAt(unsigned index) { return entries[index]; }

void appendEntry(const Entry& entry) { entries.push_back(entry); }

void eraseEntryAt(unsigned position) { entries.erase(entries.begin() + position); }

void eraseAllEntries() { entries.clear(); }

bool entryLess(const Entry& a, const Entry& b) {
    // std::string compares through char_traits<char>, which orders bytes as
    // unsigned char, so bytes of 0x80 and above sort after ASCII.
    return a.lastName < b.lastName;
}

bool sameNames(const Entry& a, const Entry& b) {
    return a.lastName == b.lastName && a.firstName == b.firstName && a.middleName == b.middleName;
}

namespace {

// Identifies an entry by first and middle name within a run of equal last names.
// The length prefix keeps ("ab", "c") apart from ("a", "bc").
std::string firstAndMiddleKey(const Entry& entry) {
    std::string key = std::to_string(entry.firstName.size());
    key += ':';
    key += entry.firstName;
    key += entry.middleName;
    return key;
}

// Appends the run [begin, end) of sorted entries, all with one last name, to `merged`.
// A later entry with the same names only updates the earlier one's address and sex,
// which is what a linear search of `merged` from its start would find and do.
void mergeRun(std::vector<Entry>::iterator begin, std::vector<Entry>::iterator end,
              std::vector<Entry>& merged) {
    if (end - begin == 1) {
        merged.push_back(std::move(*begin));
        return;
    }
    std::unordered_map<std::string, size_t> positionByNames;
    for (auto it = begin; it != end; ++it) {
        auto [found, inserted] = positionByNames.try_emplace(firstAndMiddleKey(*it), merged.size());
        if (inserted) {
            merged.push_back(std::move(*it));
        } else {
            Entry& kept = merged[found->second];
            kept.address = std::move(it->address);
            kept.sex = std::move(it->sex);
        }
    }
}

}  // namespace

void normaliseEntries() {
    // Stable, so that of two entries with the same names the one appended last
    // (a Save) always comes last and its address wins, however many entries there are.
    std::stable_sort(entries.begin(), entries.end(), entryLess);

    std::vector<Entry> merged;
    merged.reserve(entries.size());
    auto runBegin = entries.begin();
    while (runBegin != entries.end()) {
        auto runEnd = std::find_if(runBegin + 1, entries.end(), [&](const Entry& e) {
            return e.lastName != runBegin->lastName;
        });
        mergeRun(runBegin, runEnd, merged);
        runBegin = runEnd;
    }
    entries = std::move(merged);
}
