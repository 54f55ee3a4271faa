#include "data/put_batch.h"

#include <algorithm>
#include <new>
#include <stdexcept>

PutBatch::Put PutBatch::put(const Entry& entry, PutMode mode) {
    const Entry* stored = putter_.find(entry);
    const size_t at = stored ? static_cast<size_t>(stored - entries_.data()) : entries_.size();
    if (touchOf_.size() <= at) touchOf_.resize(std::max(2 * touchOf_.size(), at + 1), 0);
    Put result{0, touchOf_[at] != 0};
    if (result.again) {
        result.touch = touchOf_[at] - 1;
    } else {
        uint32_t before = kAdded;
        if (stored) {
            before = static_cast<uint32_t>(befores_.size());
            befores_.push_back({stored->address, stored->sex});
        }
        touched_.push_back({static_cast<uint32_t>(at), before});
        result.touch = touched_.size() - 1;
        touchOf_[at] = static_cast<uint32_t>(touched_.size());
    }
    putter_.put(entry, mode);
    return result;
}

const PutBatch::Before* PutBatch::before(size_t touch) const {
    const uint32_t at = touched_[touch].before;
    return at == kAdded ? nullptr : &befores_[at];
}

bool PutBatch::changed(const Touch& touch) const {
    if (touch.before == kAdded) return true;
    const Entry& now = entries_[touch.position];
    const Before& was = befores_[touch.before];
    return now.address != was.address || now.sex != was.sex;
}

std::vector<size_t> PutBatch::changedPositions() const {
    std::vector<size_t> positions;
    for (const Touch& touch : touched_)
        if (changed(touch)) positions.push_back(touch.position);
    return positions;
}

void PutBatch::reserve(size_t more) {
    // Files one after another (a folder of one-card files) grow them by half at a
    // time, or each would move them all. Where the estimate asks for more memory
    // than there is, they grow as they must instead.
    auto grow = [more](auto& vector) {
        const size_t needed = vector.size() + more;
        if (needed > vector.capacity())
            vector.reserve(std::max(needed, vector.capacity() + vector.capacity() / 2));
    };
    try {
        grow(entries_);
        grow(touched_);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
}
