#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "data/entry.h"
#include "data/put_batch.h"

// The changes this program makes to a collection that is saved to one card file,
// made and noted in one call, and remembered until they have been written, so
// that they can be applied again to a card file that another program has changed.
class CardChangeLog {
  public:
    // `asRead`: made over the entry with these names as this program read it (none
    // counts too), and applied to a changed file only while that entry is still as
    // read there: a sync must not write its version over an edit it has not seen.
    enum class Over { anything, asRead };

    // A Save: the entry, by its three names, for the next normalisation to merge
    // with an older one.
    void put(std::vector<Entry>& entries, const Entry& entry, Over over);
    // A Remove: every entry with these names. Returns where the first one was, or
    // the collection's size when there was none.
    size_t remove(std::vector<Entry>& entries, const Entry& names, Over over);
    // Many puts at once, as an import makes them, good for the next save only.
    PutBatch& putMany(std::vector<Entry>& entries);

    bool empty() const {
        return changes_.empty() && (!batch_ || batch_->changedPositions().empty());
    }

    // The positions the batch changed, for this save alone: the batch ends here.
    std::vector<size_t> takeBatchPositions();

    // Applies the changes, in order, to another program's collection: a guarded one
    // only where the entry it was made over is still as it was read; those left out
    // go to `leftOut`.
    void reapply(std::vector<Entry>& entries, std::vector<Entry>& leftOut) const;

    // They have been written, or the file they were made to is read afresh.
    void clearChanges() { changes_.clear(); }
    void clear();

  private:
    struct Change {
        enum Kind { put, remove } kind;
        Entry entry;
        enum Guard { none, absent, as } guard = none;  // `as`: the entry is still `before`
        Entry before;
    };
    static Change made(Change::Kind kind, const Entry& entry, Over over,
                       const std::vector<Entry>& entries);

    std::vector<Change> changes_;
    std::unique_ptr<PutBatch> batch_;  // applied after changes_, by the next save
};
