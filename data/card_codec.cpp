#include "data/card_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

std::string textModeRead(std::string fileBytes, bool* complete) {
    size_t size = fileBytes.size();
    if (size > 0 && fileBytes[size - 1] == kEndOfText) --size;
    size_t end = fileBytes.find(kEndOfText);
    if (end == std::string::npos || end > size) end = size;
    if (complete) *complete = end == size;

    // Reading never lengthens the data, so it is done in place.
    char* bytes = &fileBytes[0];
    size_t read = 0, written = 0;
    while (read < end) {
        const void* found = std::memchr(bytes + read, '\r', end - read);
        size_t cr = found ? static_cast<const char*>(found) - bytes : end;
        std::memmove(bytes + written, bytes + read, cr - read);
        written += cr - read;
        if (cr == end) break;
        bool crlf = cr + 1 < end && bytes[cr + 1] == '\n';
        bytes[written++] = crlf ? '\n' : '\r';
        read = cr + (crlf ? 2 : 1);
    }
    fileBytes.resize(written);
    return fileBytes;
}

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

}  // namespace

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

DecodedCardFile decodeCardFile(std::string fileBytes) {
    DecodedCardFile decoded;
    const std::string data = textModeRead(std::move(fileBytes), &decoded.complete);

    // One entry per terminator, plus a last record that lacks one: sized exactly,
    // since a growing array would briefly need half as much again.
    size_t records = static_cast<size_t>(std::count(data.begin(), data.end(), kRecordTerminator));
    if (!data.empty() && data.back() != kRecordTerminator) ++records;
    decoded.entries.reserve(records);

    size_t pos = 0;
    while (pos < data.size()) {
        size_t terminator = data.find(kRecordTerminator, pos);
        size_t recordEnd = terminator == std::string::npos ? data.size() : terminator;
        std::string_view record(data.data() + pos, recordEnd - pos);
        size_t zero = record.find(kFieldEnd);
        if (zero != std::string_view::npos) {
            record = record.substr(0, zero);
            decoded.complete = false;
        }
        decoded.entries.push_back(parseRecord(record));
        pos = recordEnd + 1;
    }
    return decoded;
}

namespace {

size_t fieldBytes(const Entry& e) {
    return e.firstName.size() + e.middleName.size() + e.lastName.size() + e.address.size() +
           e.sex.size();
}

char* putRaw(char* out, const std::string& field) {
    std::memcpy(out, field.data(), field.size());
    return out + field.size();
}

// The records with every field as it is in memory.
std::string joinRecords(const std::vector<Entry>& entries) {
    size_t size = 0;
    for (const Entry& e : entries) size += fieldBytes(e) + 5;
    std::string data(size, '\0');
    char* out = &data[0];
    for (const Entry& e : entries) {
        out = putRaw(out, e.firstName);
        *out++ = kFieldSeparator;
        out = putRaw(out, e.middleName);
        *out++ = kFieldSeparator;
        out = putRaw(out, e.lastName);
        *out++ = kFieldSeparator;
        out = putRaw(out, e.address);
        *out++ = kFieldSeparator;
        out = putRaw(out, e.sex);
        *out++ = kRecordTerminator;
    }
    return data;
}

// Text-mode writing: every LF goes to disk as CR LF.
std::string widenLineBreaks(const std::string& data) {
    std::string bytes;
    bytes.reserve(data.size() + data.size() / 16);
    const char* begin = data.data();
    const char* end = begin + data.size();
    while (const char* lf = static_cast<const char*>(std::memchr(begin, '\n', end - begin))) {
        bytes.append(begin, lf);
        bytes += "\r\n";
        begin = lf + 1;
    }
    bytes.append(begin, end);
    return bytes;
}

// A field is stored only up to its first zero byte. Fields practically never hold
// one, so this byte-by-byte encoding is kept for when one does.
char* putFieldUpToZero(char* out, const std::string& field) {
    for (char c : field) {
        if (c == kFieldEnd) break;
        if (c == '\n') *out++ = '\r';
        *out++ = c;
    }
    return out;
}

std::string encodeWithZeroBytes(const std::vector<Entry>& entries) {
    size_t most = 0;
    for (const Entry& e : entries) most += 2 * fieldBytes(e) + 5;  // were every byte a LF
    std::string bytes(most, '\0');
    char* out = &bytes[0];
    for (const Entry& e : entries) {
        out = putFieldUpToZero(out, e.firstName);
        *out++ = kFieldSeparator;
        out = putFieldUpToZero(out, e.middleName);
        *out++ = kFieldSeparator;
        out = putFieldUpToZero(out, e.lastName);
        *out++ = kFieldSeparator;
        out = putFieldUpToZero(out, e.address);
        *out++ = kFieldSeparator;
        out = putFieldUpToZero(out, e.sex);
        *out++ = kRecordTerminator;
    }
    bytes.resize(static_cast<size_t>(out - bytes.data()));
    return bytes;
}

}  // namespace

std::string encodeCardFile(const std::vector<Entry>& entries) {
    // Whole fields are copied first and the text-mode rule applied to the result:
    // far cheaper than looking at every byte of every short field on its own.
    std::string data = joinRecords(entries);
    if (data.find(kFieldEnd) != std::string::npos) return encodeWithZeroBytes(entries);
    return widenLineBreaks(data);
}

int firstUnstorableByte(const std::string& field) {
    for (char c : field) {
        if (c == kFieldSeparator || c == kRecordTerminator || c == kEndOfText || c == kFieldEnd)
            return static_cast<unsigned char>(c);
    }
    return -1;
}
