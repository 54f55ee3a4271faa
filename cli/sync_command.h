#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/card_commands.h"
#include "platform/files.h"
#include "platform/http.h"

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

// What the sync uses of the machine: its files, the HTTP client and where a password
// comes from. The machine's own unless a test gives stand-ins.
struct SyncSystem {
    files::FileSystem& fileSystem;
    std::string netrcPath;                               // empty: none
    std::optional<std::string> passwordFromEnvironment;  // QBCARD_PASSWORD
    std::function<std::unique_ptr<http::Client>(const http::Settings&, std::string& why)>
        openClient;
    // Asks without showing the answer; false when there is no terminal to ask on.
    std::function<bool(const std::string& prompt, std::string& answer)> askPassword;

    static SyncSystem machine();
};

int syncAddressBook(const CardOptions& options, const SyncSettings& settings);
int syncAddressBook(const CardOptions& options, const SyncSettings& settings,
                    const SyncSystem& system);
