#include "data/entry.h"

#include <algorithm>
#include <cstdint>
#include <utility>

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
void stableSortRange(std::vector<Entry>& collection, size_t first, size_t end) {
    std::vector<SortKey> keys;
    keys.reserve(end - first);
    for (size_t i = first; i < end; ++i) {
        const std::string& name = collection[i].lastName;
        keys.push_back({bigEndianBytes(name, 0), bigEndianBytes(name, 8), name.size(), i});
    }
    std::stable_sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        // Equal first 16 bytes (zeros past the end count as equal here).
        if (a.length <= 16 || b.length <= 16) return a.length < b.length;
        return collection[a.index].lastName.compare(
                   16, std::string::npos, collection[b.index].lastName, 16, std::string::npos) < 0;
    });
    // The entries are moved into sorted order in place, a cycle of the permutation at a
    // time, with one entry aside: gathering them into a second collection would hold
    // every entry twice at the peak.
    constexpr size_t kPlaced = ~size_t{0};
    for (size_t start = 0; start < keys.size(); ++start) {
        if (keys[start].index == kPlaced) continue;
        Entry aside = std::move(collection[first + start]);
        size_t to = start;
        while (keys[to].index != first + start) {
            const size_t from = keys[to].index - first;
            collection[first + to] = std::move(collection[first + from]);
            keys[to].index = kPlaced;
            to = from;
        }
        collection[first + to] = std::move(aside);
        keys[to].index = kPlaced;
    }
}

// One entry appended to a sorted collection, as a Save leaves it, found its place
// by binary search. The last entry with the same names takes its address and sex
// and it is dropped, moving nothing: the merge that follows then gives them on to
// the first, exactly as if it had been sorted in after all equal last names. An
// entry with new names moves in there, moving only the entries after it.
void placeLastEntry(std::vector<Entry>& collection) {
    const auto last = collection.end() - 1;
    auto range = std::equal_range(collection.begin(), last, *last, entryLess);
    for (auto same = range.second; same != range.first;) {
        if (!sameNames(*--same, *last)) continue;
        same->address = std::move(last->address);
        same->sex = std::move(last->sex);
        collection.pop_back();
        return;
    }
    Entry placed = std::move(*last);
    const auto position = range.second - collection.begin();
    collection.pop_back();
    collection.insert(collection.begin() + position, std::move(placed));
}

// Stable, so that of two entries with the same names the one appended last (a
// Save) always comes last and its address wins, however many entries there are.
// The collection is usually sorted but for entries just appended, so only that
// tail is sorted and then merged in.
void sortByLastName(std::vector<Entry>& collection) {
    auto sortedEnd = std::is_sorted_until(collection.begin(), collection.end(), entryLess);
    if (sortedEnd == collection.end()) return;
    if (sortedEnd + 1 == collection.end()) return placeLastEntry(collection);
    stableSortRange(collection, static_cast<size_t>(sortedEnd - collection.begin()),
                    collection.size());
    std::inplace_merge(collection.begin(), sortedEnd, collection.end(), entryLess);
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
    uint32_t findOrAdd(const std::vector<Entry>& collection, const Entry& entry,
                       uint32_t position) {
        for (uint32_t slot = hashFirstAndMiddle(entry) & mask_;; slot = (slot + 1) & mask_) {
            uint32_t kept = slots_[slot];
            if (kept == kNone) {
                slots_[slot] = position;
                return kNone;
            }
            const Entry& other = collection[kept];
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
void mergeSameNames(std::vector<Entry>& collection) {
    // Runs this short are searched directly: cheaper than hashing every name.
    constexpr size_t kShortRun = 8;
    RunIndex index;
    size_t kept = 0;
    for (size_t runBegin = 0; runBegin < collection.size();) {
        size_t runEnd = runBegin + 1;
        while (runEnd < collection.size() &&
               collection[runEnd].lastName == collection[runBegin].lastName)
            ++runEnd;
        const size_t runLength = runEnd - runBegin, keptRunBegin = kept;
        if (runLength > kShortRun) index.reset(runLength);
        for (size_t i = runBegin; i < runEnd; ++i) {
            uint32_t same = RunIndex::kNone;
            if (runLength > kShortRun) {
                same = index.findOrAdd(collection, collection[i], static_cast<uint32_t>(kept));
            } else {
                for (size_t k = keptRunBegin; k < kept && same == RunIndex::kNone; ++k)
                    if (collection[k].firstName == collection[i].firstName &&
                        collection[k].middleName == collection[i].middleName)
                        same = static_cast<uint32_t>(k);
            }
            if (same != RunIndex::kNone) {
                collection[same].address = std::move(collection[i].address);
                collection[same].sex = std::move(collection[i].sex);
                continue;
            }
            if (kept != i) collection[kept] = std::move(collection[i]);
            ++kept;
        }
        runBegin = runEnd;
    }
    collection.erase(collection.begin() + static_cast<std::ptrdiff_t>(kept), collection.end());
}

}  // namespace

void normaliseEntries(std::vector<Entry>& collection) {
    sortByLastName(collection);
    mergeSameNames(collection);
}

EntryPutter::EntryPutter(std::vector<Entry>& collection) : entries_(collection) {
    normaliseEntries(entries_);
    sortedEnd_ = entries_.size();
}

namespace {

uint32_t hashNames(const Entry& entry) {
    uint64_t hash = hashFirstAndMiddle(entry);
    for (unsigned char c : entry.lastName) hash = ((hash << 5) | (hash >> 59)) ^ c;
    hash *= 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(hash >> 32);
}

}  // namespace

// The appended entries are found through open addressing over their positions,
// a few bytes each, however many an import appends.
size_t EntryPutter::appendedSlot(const Entry& names) const {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hashNames(names) & mask;; slot = (slot + 1) & mask) {
        const uint32_t at = slots_[slot];
        if (at == kEmpty || sameNames(entries_[at], names)) return slot;
    }
}

void EntryPutter::indexAppended(uint32_t position) {
    if (2 * (appended_ + 1) > slots_.size()) {
        std::vector<uint32_t> old(std::max<size_t>(16, 2 * slots_.size()), kEmpty);
        old.swap(slots_);
        for (uint32_t at : old)
            if (at != kEmpty) slots_[appendedSlot(entries_[at])] = at;
    }
    slots_[appendedSlot(entries_[position])] = position;
    ++appended_;
}

Entry* EntryPutter::find(const Entry& names) {
    const auto sortedEnd = entries_.begin() + static_cast<std::ptrdiff_t>(sortedEnd_);
    auto range = std::equal_range(entries_.begin(), sortedEnd, names, entryLess);
    for (auto e = range.first; e != range.second; ++e)
        if (sameNames(*e, names)) return &*e;
    if (slots_.empty()) return nullptr;
    const uint32_t at = slots_[appendedSlot(names)];
    return at == kEmpty ? nullptr : &entries_[at];
}

PutResult EntryPutter::put(const Entry& entry, PutMode mode) {
    Entry* same = find(entry);
    if (!same) {
        entries_.push_back(entry);
        indexAppended(static_cast<uint32_t>(entries_.size() - 1));
        return PutResult::added;
    }
    const bool keep = mode == PutMode::merge;
    const std::string& address = keep && entry.address.empty() ? same->address : entry.address;
    const std::string& sex = keep && entry.sex.empty() ? same->sex : entry.sex;
    if (same->address == address && same->sex == sex) return PutResult::unchanged;
    same->address = address;
    same->sex = sex;
    return PutResult::updated;
}
