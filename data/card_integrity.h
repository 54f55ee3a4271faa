#pragma once

#include <cstddef>
#include <vector>

#include "data/card_codec.h"

// Which bytes the card file's code page assigns no character to.
struct UndefinedBytes {
    bool byte[256] = {};
};

// What a card file holds beyond its entries: what its loading leaves out, and what
// the next save would change.
struct IntegrityReport {
    size_t bytes = 0;
    CardFileDecoder::Statistics records;
    size_t sexNeitherMaleNorFemale = 0;  // the form shows them as Female
    size_t sameNamesAsEarlier = 0;       // merged into the earlier one at the next save
    size_t outOfLastNameOrder = 0;       // sorted at the next save
    size_t undefinedBytes = 0;
};

// The report on a card file of `bytes` bytes, from its entries as the decoder read
// them, in the file's order, and the decoder's statistics.
IntegrityReport inspectEntries(const std::vector<Entry>& found,
                               const CardFileDecoder::Statistics& records, size_t bytes,
                               const UndefinedBytes& undefined);
