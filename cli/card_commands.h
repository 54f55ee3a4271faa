#pragma once

#include <string>

#include "data/card_file.h"
#include "interchange/codepage.h"
#include "interchange/csv.h"
#include "interchange/vcard.h"

// qbcard's commands, each on the card file `file` in code page `codePage`. Each
// returns the exit code: 0 all done, 1 done with rejected records or findings,
// 2 nothing done (with a one-line message on standard error naming the file).
struct CardOptions {
    std::string file = kCardFileName;
    unsigned codePage = codepage::kWestern;
};

enum ExitCode { kDone = 0, kDoneWithFindings = 1, kNothingDone = 2 };

int listEntries(const CardOptions& options, bool tabSeparated);
int findEntries(const CardOptions& options, const std::string& text);
int exportVCard(const CardOptions& options, vcard::Version version, const std::string& output);
int exportCsv(const CardOptions& options, csv::Layout layout, bool byteOrderMark,
              const std::string& output);
int importContacts(const CardOptions& options, const std::string& input, bool dryRun, bool lossy);
int checkCardFile(const CardOptions& options);
