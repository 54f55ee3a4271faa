#pragma once

#include <string>
#include <vector>

#include "data/card_file.h"
#include "data/entry.h"
#include "platform/files.h"

// The card file as the sync sees it: its entries, sorted and with same names
// merged, changes to them, and one safe save. The one place the sync touches the
// card file's code, so that it can follow that code when it changes.
namespace cardsync {

class LocalBook {
  public:
    LocalBook(const std::string& path, files::FileSystem& fs);

    // False, with `why` set, when the card file exists but cannot be loaded, or is
    // not a card file at all; a missing one is an empty book.
    bool load(std::string& why);
    const std::vector<Entry>& entries() const { return entries_; }
    // Added, or the entry with the same names updated; removed. Either holds only
    // while that entry is as this book read it (`read`; none when it had none), also
    // after a save that took in another program's changes: see `leftOut`.
    void put(const Entry& entry, const Entry* read);
    void remove(const Entry& entry, const Entry* read);
    // False, with `why` set, when the card file could not be written (it is then
    // as it was); `notes` receives what the user should know about a save that
    // went through (another program's changes read in, a backup kept).
    bool save(std::string& why, std::string& notes);
    // The changes the last save left out, because another program had changed the
    // entry with their names since this book read it: its edit is not written over.
    const std::vector<Entry>& leftOut() const { return leftOut_; }

  private:
    bool stillAsRead(const Entry& names, const Entry* read) const;

    CardFile file_;
    std::vector<Entry> entries_;
    std::vector<Entry> leftOut_;
    std::vector<Entry> notMade_;  // changes to entries changed since they were read
    bool reloaded_ = false;       // a save took in another program's changes
};

}  // namespace cardsync
