#pragma once

#include <string>
#include <vector>

#include "cli/card_commands.h"
#include "data/card_file.h"
#include "data/entry.h"
#include "platform/files.h"

// What qbcard's commands share.

// The card file of the options and its entries.
struct LoadedCardFile {
    CardFile file;
    std::vector<Entry> entries;

    explicit LoadedCardFile(const CardOptions& options);
};

// Loads the card file as the window program would list it: sorted, same names
// merged. False, with the exit code set and the reason said, when it cannot be.
bool loadSorted(LoadedCardFile& card, bool mayBeMissing, int& exitCode);

// Whether an output named so is standard output: "" or "-".
bool isStandardOutput(const std::string& output);

// Writes the pieces `next` gives to the file `output`, or to standard output for ""
// or "-".
bool writeOutput(const std::string& output, const files::FileSystem::Producer& next, int& exitCode);

// "Lee, Ann M": how a report names a contact.
std::string displayName(const std::string& first, const std::string& middle,
                        const std::string& last);
