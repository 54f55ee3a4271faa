#include "data/card_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

constexpr uint32_t kNotFound = 0xFFFFFFFF;

uint32_t findSeparator(std::string_view record, uint32_t from) {
    size_t pos = record.find(kFieldSeparator, from);
    return pos == std::string_view::npos ? kNotFound : static_cast<uint32_t>(pos);
}

// Bytes [begin, end) of `record`, clipped to its length; empty when begin is not below end.
std::string byteRange(std::string_view record, uint32_t begin, uint32_t end) {
    if (begin >= end || begin >= record.size()) return std::string();
    size_t stop = end < record.size() ? end : record.size();
    return std::string(record.substr(begin, stop - begin));
}

// Splits one record (terminator removed) into its five fields. A record with
// fewer than four separators still gives five fields: positions are 32-bit and
// wrap, so a missing separator makes the next field start again at position 0.
Entry parseRecord(std::string_view record) {
    Entry entry;
    uint32_t p1 = findSeparator(record, 0);
    entry.firstName = byteRange(record, 0, p1);
    uint32_t p2 = findSeparator(record, p1 + 1);
    entry.middleName = byteRange(record, p1 + 1, p2);
    uint32_t p3 = findSeparator(record, p2 + 1);
    entry.lastName = byteRange(record, p2 + 1, p3);
    uint32_t p4 = findSeparator(record, p3 + 1);
    entry.address = byteRange(record, p3 + 1, p4);
    entry.sex = byteRange(record, p4 + 1, kNotFound);
    return entry;
}

// The bytes that end a run of plain data: CR (text mode), the record terminator,
// and Ctrl-Z (end of data).
struct StopBytes {
    bool table[256] = {};
    StopBytes() {
        table[static_cast<unsigned char>('\r')] = true;
        table[static_cast<unsigned char>(kRecordTerminator)] = true;
        table[static_cast<unsigned char>(kEndOfText)] = true;
    }
};
const StopBytes kStopBytes;

}  // namespace

void CardFileDecoder::feed(const char* bytes, size_t size) {
    const char* end = bytes + size;
    for (const char* p = bytes; p < end;) {
        if (ended_) {
            complete_ = false;  // bytes after the Ctrl-Z that ended the data
            statistics_.bytesAfterEnd += static_cast<size_t>(end - p);
            return;
        }
        if (pendingCr_) {
            // CR LF reads as LF; any other CR stays.
            pendingCr_ = false;
            record_ += *p == '\n' ? '\n' : '\r';
            if (*p == '\n') {
                ++p;
                continue;
            }
        }
        const char* stop = p;
        while (stop < end && !kStopBytes.table[static_cast<unsigned char>(*stop)]) ++stop;
        record_.append(p, stop);
        if (stop == end) return;
        p = stop + 1;
        if (*stop == '\r') {
            pendingCr_ = true;
        } else if (*stop == kRecordTerminator) {
            endRecord();
        } else {
            // The first Ctrl-Z ends the data; only when it is the file's last byte is
            // nothing lost.
            ended_ = true;
        }
    }
}

bool CardFileDecoder::finish() {
    if (pendingCr_) record_ += '\r';
    pendingCr_ = false;
    // A last record without a terminator counts when it holds anything.
    if (!record_.empty()) endRecord();
    return complete_;
}

void CardFileDecoder::endRecord() {
    constexpr size_t kLongestRecordOfOlderCopies = 1023;
    ++statistics_.records;
    if (record_.size() > kLongestRecordOfOlderCopies) ++statistics_.recordsOver1023Bytes;
    size_t zero = record_.find(kFieldEnd);
    if (zero != std::string::npos) {
        ++statistics_.recordsCutAtZero;
        statistics_.bytesCutAtZero += record_.size() - zero;
        record_.resize(zero);
        complete_ = false;
    }
    if (std::count(record_.begin(), record_.end(), kFieldSeparator) != 4)
        ++statistics_.recordsWithoutFourSeparators;
    entries_.push_back(parseRecord(record_));
    record_.clear();
}

DecodedCardFile decodeCardFile(const std::string& fileBytes) {
    DecodedCardFile decoded;
    CardFileDecoder decoder(decoded.entries);
    decoder.feed(fileBytes.data(), fileBytes.size());
    decoded.complete = decoder.finish();
    return decoded;
}

namespace {

size_t fieldBytes(const Entry& e) {
    return e.firstName.size() + e.middleName.size() + e.lastName.size() + e.address.size() +
           e.sex.size();
}

// Writes one record, each field through `putField`.
template <typename PutField>
char* putRecord(char* out, const Entry& e, PutField putField) {
    out = putField(out, e.firstName);
    *out++ = kFieldSeparator;
    out = putField(out, e.middleName);
    *out++ = kFieldSeparator;
    out = putField(out, e.lastName);
    *out++ = kFieldSeparator;
    out = putField(out, e.address);
    *out++ = kFieldSeparator;
    out = putField(out, e.sex);
    *out++ = kRecordTerminator;
    return out;
}

// True when one of the four bytes of `word` is zero.
inline bool hasZeroByte(uint32_t word) { return ((word - 0x01010101u) & ~word & 0x80808080u) != 0; }

// Writes a field as text-mode writing stores it: each LF as CR LF, and only up to
// its first zero byte. Four bytes are looked at together where none is either.
char* putField(char* out, const std::string& field) {
    const char* in = field.data();
    const char* end = in + field.size();
    for (;;) {
        while (end - in >= 4) {
            uint32_t word;
            std::memcpy(&word, in, 4);
            if (hasZeroByte(word) || hasZeroByte(word ^ 0x0A0A0A0Au)) break;
            std::memcpy(out, &word, 4);
            in += 4;
            out += 4;
        }
        // Byte by byte up to and through the next LF, at most four bytes.
        for (const char* stop = in + 4 < end ? in + 4 : end; in < stop; ++in) {
            if (*in == kFieldEnd) return out;
            if (*in == '\n') *out++ = '\r';
            *out++ = *in;
        }
        if (in == end) return out;
    }
}

}  // namespace

std::string encodeCardFile(const std::vector<Entry>& entries) {
    // One pass over the entries into one buffer, sized for the fields and a line
    // break in every sixteen bytes, and grown in the rare case that is not enough.
    size_t fields = 0;
    for (const Entry& e : entries) fields += fieldBytes(e) + 5;
    std::string bytes(fields + fields / 16 + 64, '\0');
    size_t used = 0;
    for (const Entry& e : entries) {
        size_t most = 2 * fieldBytes(e) + 5;  // were every byte a LF
        if (bytes.size() - used < most) bytes.resize(bytes.size() + bytes.size() / 2 + most);
        used = static_cast<size_t>(putRecord(&bytes[used], e, putField) - bytes.data());
    }
    bytes.resize(used);
    return bytes;
}

int firstUnstorableByte(const std::string& field) {
    for (char c : field) {
        if (c == kFieldSeparator || c == kRecordTerminator || c == kEndOfText || c == kFieldEnd)
            return static_cast<unsigned char>(c);
    }
    return -1;
}
