#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/files.h"
#include "sync/names.h"

// What the card file and one server address book last agreed on, kept beside the
// card file between syncs.
namespace cardsync {

struct Agreed {
    std::string href, etag;
    uint64_t digest = 0;  // of the contact both sides held (`digestOf`)

    bool operator==(const Agreed& o) const {
        return href == o.href && etag == o.etag && digest == o.digest;
    }
};

struct State {
    std::string collection;  // the address book's URL
    std::string from;        // the URL it was found from, if the user gave another
    std::string syncToken;   // the collection's, when the server gives one
    std::map<Names, Agreed> contacts;
    // Server cards left as they are (the card file cannot hold them), by href, with
    // the ETag they had when the user was told: told again only when they change.
    std::map<std::string, std::string> untouched;
    // Cards this side created after `syncToken` was taken: a server may leave out
    // of the changes since a token a card that did not exist then and is gone now,
    // so these are looked for by href.
    std::set<std::string> createdSinceToken;
    // The server refused sync-collection: its cards are listed by PROPFIND alone.
    // A state made afresh asks again.
    bool noSyncCollection = false;

    bool operator==(const State& o) const {
        return collection == o.collection && from == o.from && syncToken == o.syncToken &&
               contacts == o.contacts && untouched == o.untouched &&
               createdSinceToken == o.createdSinceToken && noSyncCollection == o.noSyncCollection;
    }
};

// "<card file>.sync-<16 hex digits>": one file per card file and address book,
// named from the collection's URL so that two address books never share one.
std::string stateFileName(const std::string& cardFile, const std::string& collection);

// A missing, unreadable or damaged file, or one of another collection, reads as
// the empty state of a first sync: never as "everything was deleted".
State loadState(files::FileSystem& fs, const std::string& path, const std::string& collection);

// The address book that an earlier sync of this card file found from `url` (or
// that `url` is), so that it need not be found again; empty when there is none.
std::string collectionSyncedFrom(files::FileSystem& fs, const std::string& cardFile,
                                 const std::string& url);

// As the card file is saved: a temporary file of this process's own, flushed,
// then moved over the old state in one step. False when it could not be written;
// the old file is then whole.
bool saveState(files::FileSystem& fs, const std::string& path, const State& state);

}  // namespace cardsync
