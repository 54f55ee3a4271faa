#pragma once

#include <string>

#include "cli/card_commands.h"

// qbcard sync: the card file and one CardDAV address book made the same.
struct SyncSettings {
    std::string url;
    std::string user;
    std::string caFile;
    bool dryRun = false;
    bool force = false;
    bool preferLocal = false;
    bool verbose = false;  // each request and its answer on standard error
};

int syncAddressBook(const CardOptions& options, const SyncSettings& settings);
