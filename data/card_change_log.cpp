#include "data/card_change_log.h"

#include <algorithm>
#include <utility>

namespace {

void applyChange(std::vector<Entry>& entries, const Entry& entry, bool put) {
    if (put) {
        entries.push_back(entry);  // the normalising merge lets it win over an older one
        return;
    }
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return sameNames(e, entry); }),
                  entries.end());
}

// The entry with these names that counts: the last, which wins the merge.
const Entry* heldIn(const std::vector<Entry>& entries, const Entry& names) {
    const Entry* held = nullptr;
    for (const Entry& e : entries)
        if (sameNames(e, names)) held = &e;
    return held;
}

}  // namespace

CardChangeLog::Change CardChangeLog::made(Change::Kind kind, const Entry& entry, Over over,
                                          const std::vector<Entry>& entries) {
    Change change{kind, entry, Change::none, Entry()};
    if (over == Over::anything) return change;
    const Entry* held = heldIn(entries, entry);
    change.guard = held ? Change::as : Change::absent;
    if (held) change.before = *held;
    return change;
}

void CardChangeLog::put(std::vector<Entry>& entries, const Entry& entry, Over over) {
    changes_.push_back(made(Change::put, entry, over, entries));
    applyChange(entries, entry, true);
}

size_t CardChangeLog::remove(std::vector<Entry>& entries, const Entry& names, Over over) {
    changes_.push_back(made(Change::remove, names, over, entries));
    // The noted copy, as `names` may be one of the entries removed.
    const Entry& removed = changes_.back().entry;
    auto first = std::find_if(entries.begin(), entries.end(),
                              [&](const Entry& e) { return sameNames(e, removed); });
    const auto position = static_cast<size_t>(first - entries.begin());
    applyChange(entries, removed, false);
    return position;
}

PutBatch& CardChangeLog::putMany(std::vector<Entry>& entries) {
    batch_ = std::make_unique<PutBatch>(entries);
    return *batch_;
}

std::vector<size_t> CardChangeLog::takeBatchPositions() {
    std::vector<size_t> positions;
    if (batch_) positions = batch_->changedPositions();
    batch_.reset();
    return positions;
}

void CardChangeLog::reapply(std::vector<Entry>& entries, std::vector<Entry>& leftOut) const {
    for (const Change& change : changes_) {
        if (change.guard != Change::none) {
            const Entry* now = heldIn(entries, change.entry);
            const bool asRead =
                change.guard == Change::absent
                    ? now == nullptr
                    : now && now->address == change.before.address && now->sex == change.before.sex;
            if (!asRead) {
                leftOut.push_back(change.entry);
                continue;
            }
        }
        applyChange(entries, change.entry, change.kind == Change::put);
    }
}

void CardChangeLog::clear() {
    changes_.clear();
    batch_.reset();
}
