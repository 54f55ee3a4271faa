#include "data/card_codec.h"

#include <cstdint>

std::string textModeRead(const std::string& fileBytes, bool* complete) {
    size_t size = fileBytes.size();
    if (size > 0 && fileBytes[size - 1] == kEndOfText) --size;
    size_t end = fileBytes.find(kEndOfText);
    if (end == std::string::npos || end > size) end = size;
    if (complete) *complete = end == size;

    std::string data;
    data.reserve(end);
    size_t pos = 0;
    while (pos < end) {
        size_t cr = fileBytes.find('\r', pos);
        if (cr == std::string::npos || cr >= end) {
            data.append(fileBytes, pos, end - pos);
            break;
        }
        data.append(fileBytes, pos, cr - pos);
        bool crlf = cr + 1 < end && fileBytes[cr + 1] == '\n';
        data += crlf ? '\n' : '\r';
        pos = cr + (crlf ? 2 : 1);
    }
    return data;
}

std::string textModeWrite(const std::string& data) {
    std::string bytes;
    bytes.reserve(data.size() + data.size() / 16);
    size_t pos = 0;
    for (size_t lf = data.find('\n'); lf != std::string::npos; lf = data.find('\n', pos)) {
        bytes.append(data, pos, lf - pos);
        bytes += "\r\n";
        pos = lf + 1;
    }
    bytes.append(data, pos, std::string::npos);
    return bytes;
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

DecodedCardFile decodeCardFile(const std::string& fileBytes) {
    DecodedCardFile decoded;
    std::string data = textModeRead(fileBytes, &decoded.complete);

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

void appendField(std::string& out, const std::string& field) {
    size_t zero = field.find(kFieldEnd);
    out.append(field, 0, zero);
}

}  // namespace

std::string encodeCardFile(const std::vector<Entry>& entries) {
    size_t size = 0;
    for (const Entry& e : entries)
        size += e.firstName.size() + e.middleName.size() + e.lastName.size() + e.address.size() +
                e.sex.size() + 5;

    std::string data;
    data.reserve(size);
    for (const Entry& e : entries) {
        appendField(data, e.firstName);
        data += kFieldSeparator;
        appendField(data, e.middleName);
        data += kFieldSeparator;
        appendField(data, e.lastName);
        data += kFieldSeparator;
        appendField(data, e.address);
        data += kFieldSeparator;
        appendField(data, e.sex);
        data += kRecordTerminator;
    }
    return textModeWrite(data);
}

int firstUnstorableByte(const std::string& field) {
    for (char c : field) {
        if (c == kFieldSeparator || c == kRecordTerminator || c == kEndOfText || c == kFieldEnd)
            return static_cast<unsigned char>(c);
    }
    return -1;
}
