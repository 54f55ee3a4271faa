#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/entry.h"

// Many puts into one collection at once, as an import makes them: each by the rule
// of Save, and remembered by the entry's position with the address and sex it held
// before, never by a copy, so that an import of millions holds no entry twice. The
// collection must not be reordered or shrunk while the batch lasts.
class PutBatch {
  public:
    explicit PutBatch(std::vector<Entry>& entries) : entries_(entries), putter_(entries) {}

    struct Before {
        std::string address, sex;
    };

    // Which entry a put touched, counted in the order first touched, and whether
    // an earlier put of this batch had touched it already.
    struct Put {
        size_t touch;
        bool again;
    };
    Put put(const Entry& entry, PutMode mode);

    size_t touches() const { return touched_.size(); }
    size_t positionOf(size_t touch) const { return touched_[touch].position; }
    // What the entry held before the batch first put over it; null for one it added.
    const Before* before(size_t touch) const;
    // The positions of the entries the batch added, or whose address or sex it changed.
    std::vector<size_t> changedPositions() const;

    // Room for `more` entries and touches, so that one large input does not double
    // them (and briefly hold both) as they grow; only an estimate.
    void reserve(size_t more);

  private:
    static constexpr uint32_t kAdded = 0xFFFFFFFF;
    struct Touch {
        uint32_t position;
        uint32_t before;  // its place in befores_, or kAdded
    };
    bool changed(const Touch& touch) const;

    std::vector<Entry>& entries_;
    EntryPutter putter_;
    std::vector<Touch> touched_;
    std::vector<Before> befores_;
    std::vector<uint32_t> touchOf_;  // for each position: 1 + its place in touched_, or 0
};
