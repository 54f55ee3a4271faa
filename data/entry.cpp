#include "data/entry.h"

#include <algorithm>
#include <cstdint>
#include <utility>

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

// What the sort compares, small and side by side: the last name's first 16 bytes
// as two big-endian numbers, its length, and where the entry is. Moving these is
// far cheaper than moving whole entries, and most comparisons end in the numbers.
struct SortKey {
    uint64_t high, low;
    size_t length;
    size_t index;
};

uint64_t bigEndianBytes(const std::string& text, size_t from) {
    uint64_t value = 0;
    for (size_t i = from; i < from + 8; ++i)
        value = (value << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return value;
}

// Sorts entries [first, end) by last name, stably, in place: the caller merges the
// sorted range with the entries before it, whose iterators must stay valid.
void stableSortRange(size_t first, size_t end) {
    std::vector<SortKey> keys;
    keys.reserve(end - first);
    for (size_t i = first; i < end; ++i) {
        const std::string& name = entries[i].lastName;
        keys.push_back({bigEndianBytes(name, 0), bigEndianBytes(name, 8), name.size(), i});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        // Equal first 16 bytes (zeros past the end count as equal here).
        if (a.length <= 16 || b.length <= 16) return a.length < b.length;
        return entries[a.index].lastName.compare(16, std::string::npos, entries[b.index].lastName,
                                                 16, std::string::npos) < 0;
    });
    std::vector<Entry> sorted;
    sorted.reserve(end - first);
    // The entries are gathered in sorted order, which reads them all over memory:
    // ask for each a few steps ahead, so that the reads overlap.
    constexpr size_t kAhead = 8;
    for (size_t k = 0; k < keys.size(); ++k) {
        if (k + kAhead < keys.size()) __builtin_prefetch(&entries[keys[k + kAhead].index]);
        sorted.push_back(std::move(entries[keys[k].index]));
    }
    std::move(sorted.begin(), sorted.end(), entries.begin() + static_cast<std::ptrdiff_t>(first));
}

// One entry appended to a sorted collection, as a Save leaves it, found its place
// by binary search. The last entry with the same names takes its address and sex
// and it is dropped, moving nothing: the merge that follows then gives them on to
// the first, exactly as if it had been sorted in after all equal last names. An
// entry with new names moves in there, moving only the entries after it.
void placeLastEntry() {
    const auto last = entries.end() - 1;
    auto range = std::equal_range(entries.begin(), last, *last, entryLess);
    for (auto same = range.second; same != range.first;) {
        if (!sameNames(*--same, *last)) continue;
        same->address = std::move(last->address);
        same->sex = std::move(last->sex);
        entries.pop_back();
        return;
    }
    Entry placed = std::move(*last);
    const auto position = range.second - entries.begin();
    entries.pop_back();
    entries.insert(entries.begin() + position, std::move(placed));
}

// Stable, so that of two entries with the same names the one appended last (a
// Save) always comes last and its address wins, however many entries there are.
// The collection is usually sorted but for entries just appended, so only that
// tail is sorted and then merged in.
void sortByLastName() {
    auto sortedEnd = std::is_sorted_until(entries.begin(), entries.end(), entryLess);
    if (sortedEnd == entries.end()) return;
    if (sortedEnd + 1 == entries.end()) return placeLastEntry();
    stableSortRange(static_cast<size_t>(sortedEnd - entries.begin()), entries.size());
    std::inplace_merge(entries.begin(), sortedEnd, entries.end(), entryLess);
}

// Names are short: a rotate-and-xor per byte, then one multiply to spread the
// bits, is all the hashing they need.
uint32_t hashFirstAndMiddle(const Entry& entry) {
    uint64_t hash = entry.firstName.size();
    for (unsigned char c : entry.firstName) hash = ((hash << 5) | (hash >> 59)) ^ c;
    hash = ((hash << 5) | (hash >> 59)) ^ 0xFF;
    for (unsigned char c : entry.middleName) hash = ((hash << 5) | (hash >> 59)) ^ c;
    hash *= 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(hash >> 32);
}

// Finds, within one run of equal last names, the kept entry with the same first and
// middle name as a later one: open addressing over positions in `entries`, the
// table reused from run to run.
class RunIndex {
  public:
    static constexpr uint32_t kNone = 0xFFFFFFFF;

    void reset(size_t runLength) {
        size_t size = 16;
        while (size < 2 * runLength) size *= 2;
        slots_.assign(size, kNone);
        mask_ = static_cast<uint32_t>(size - 1);
    }

    // The position of a kept entry with the same names as `entry`; when there is
    // none, kNone, after noting that `entry` is kept at `position`.
    uint32_t findOrAdd(const Entry& entry, uint32_t position) {
        for (uint32_t slot = hashFirstAndMiddle(entry) & mask_;; slot = (slot + 1) & mask_) {
            uint32_t kept = slots_[slot];
            if (kept == kNone) {
                slots_[slot] = position;
                return kNone;
            }
            const Entry& other = entries[kept];
            if (other.firstName == entry.firstName && other.middleName == entry.middleName)
                return kept;
        }
    }

  private:
    std::vector<uint32_t> slots_;
    uint32_t mask_ = 0;
};

// After sorting, entries with the same names lie in one run of equal last names. A later
// one gives the earlier its address and sex and is dropped; that is what a search
// of the merged collection from its start would find, since its names are unique.
// Entries are only moved once a duplicate has been dropped.
void mergeSameNames() {
    // Runs this short are searched directly: cheaper than hashing every name.
    constexpr size_t kShortRun = 8;
    RunIndex index;
    size_t kept = 0;
    for (size_t runBegin = 0; runBegin < entries.size();) {
        size_t runEnd = runBegin + 1;
        while (runEnd < entries.size() && entries[runEnd].lastName == entries[runBegin].lastName)
            ++runEnd;
        const size_t runLength = runEnd - runBegin, keptRunBegin = kept;
        if (runLength > kShortRun) index.reset(runLength);
        for (size_t i = runBegin; i < runEnd; ++i) {
            uint32_t same = RunIndex::kNone;
            if (runLength > kShortRun) {
                same = index.findOrAdd(entries[i], static_cast<uint32_t>(kept));
            } else {
                for (size_t k = keptRunBegin; k < kept && same == RunIndex::kNone; ++k)
                    if (entries[k].firstName == entries[i].firstName &&
                        entries[k].middleName == entries[i].middleName)
                        same = static_cast<uint32_t>(k);
            }
            if (same != RunIndex::kNone) {
                entries[same].address = std::move(entries[i].address);
                entries[same].sex = std::move(entries[i].sex);
                continue;
            }
            if (kept != i) entries[kept] = std::move(entries[i]);
            ++kept;
        }
        runBegin = runEnd;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(kept), entries.end());
}

}  // namespace

void normaliseEntries() {
    sortByLastName();
    mergeSameNames();
}
