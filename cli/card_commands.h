#pragma once

#include <string>
#include <vector>

#include "cli/messages.h"
#include "data/card_file.h"
#include "interchange/codepage.h"
#include "interchange/csv.h"
#include "interchange/vcard.h"

// qbcard's commands, each on the card file `file` in code page `codePage`. Each
// returns the exit code: 0 all done, 1 done with rejected records or findings,
// 2 nothing done (with a one-line message on standard error naming the file).
// Data and summaries go to standard output, problems to standard error.
struct CardOptions {
    std::string file = kCardFileName;
    unsigned codePage = codepage::kWestern;
};

enum class ListFormat { table, tsv };

int listEntries(const CardOptions& options, ListFormat format);
// The entries in which every term is found in some field, letters compared
// without case and without accents.
int findEntries(const CardOptions& options, const std::vector<std::string>& terms,
                ListFormat format);
// `output` is a file, or standard output when it is empty or "-".
int exportVCard(const CardOptions& options, vcard::Version version, const std::string& output);
int exportCsv(const CardOptions& options, csv::Layout layout, bool byteOrderMark,
              const std::string& output);
int checkCardFile(const CardOptions& options);

struct ImportOptions {
    bool dryRun = false;
    bool lossy = false;         // a character the card file cannot hold is stored as "?"
    bool replace = false;       // what a record does not carry empties the stored field
    bool force = false;         // rewrite a --file that is not a card file, keeping its original
    std::string inputEncoding;  // empty: UTF-8, or UTF-16 with a byte-order mark
};

// Imports vCard and CSV files, "-" for standard input, and folders of .vcf files.
int importContacts(const CardOptions& options, const std::vector<std::string>& inputs,
                   const ImportOptions& how);
