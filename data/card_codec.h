#pragma once

#include <string>
#include <vector>

#include "data/entry.h"

// The card file's byte format, in one place.
//
// A record is firstName FE middleName FE lastName FE address FE sex FD, records
// follow each other directly, and the whole file is stored in the text mode of the
// Windows C runtime: LF is written as CR LF; on reading CR LF becomes LF, a lone CR
// stays, the first Ctrl-Z ends the data, and one Ctrl-Z at the very end of the file
// is not data at all. These rules are applied here over raw bytes, so every build
// writes and reads exactly the same files.

constexpr char kFieldSeparator = static_cast<char>(0xFE);
constexpr char kRecordTerminator = static_cast<char>(0xFD);
constexpr char kEndOfText = 0x1A;  // Ctrl-Z
constexpr char kFieldEnd = 0x00;   // a field is stored up to its first zero byte

// Reads a card file's bytes, given in pieces of any size, into entries appended to
// `into`, one record at a time: a large file is never held whole.
class CardFileDecoder {
  public:
    explicit CardFileDecoder(std::vector<Entry>& into) : entries_(into) {}

    void feed(const char* bytes, size_t size);

    // Ends the file. Returns false when some of its bytes are not represented in the
    // entries: data after a Ctrl-Z, or the rest of a record after a zero byte.
    bool finish();

    // What the file held beyond its entries, for a report on it.
    struct Statistics {
        size_t records = 0;
        size_t recordsWithoutFourSeparators = 0;
        size_t bytesAfterEnd = 0;  // after the Ctrl-Z that ends the data
        size_t recordsCutAtZero = 0, bytesCutAtZero = 0;
        size_t recordsOver1023Bytes = 0;  // as read: older copies of the program stop there
    };
    const Statistics& statistics() const { return statistics_; }

  private:
    void endRecord();

    std::vector<Entry>& entries_;
    std::string record_;      // the record being read, as text-mode reading delivers it
    bool pendingCr_ = false;  // a CR whose meaning the next byte decides
    bool ended_ = false;      // a Ctrl-Z has ended the data
    bool complete_ = true;
    Statistics statistics_;
};

struct DecodedCardFile {
    std::vector<Entry> entries;
    bool complete = true;  // as CardFileDecoder::finish
};

DecodedCardFile decodeCardFile(const std::string& fileBytes);

// The card file's bytes for `entries`, in their order, as text-mode writing stores them.
std::string encodeCardFile(const std::vector<Entry>& entries);

// The first byte of `field` that the card file cannot store, or -1 when it can be
// stored: separators, the terminator, Ctrl-Z and zero would break the record on reload.
int firstUnstorableByte(const std::string& field);
