#include "platform/http_text.h"

namespace http {

bool readHeaderLine(const std::string& line, Headers::value_type& field) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    const size_t start = line.find_first_not_of(" \t", colon + 1);
    const size_t end = line.find_last_not_of(" \t\r\n");
    field.first = line.substr(0, colon);
    field.second = start == std::string::npos || end < start ? std::string()
                                                             : line.substr(start, end - start + 1);
    return true;
}

Headers readHeaderBlock(const std::string& text) {
    Headers headers;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        Headers::value_type field;
        if (readHeaderLine(text.substr(at, end - at), field)) headers.push_back(field);
        at = end + 2;
    }
    return headers;
}

std::string headerLines(const Headers& headers) {
    std::string lines;
    for (const auto& header : headers) lines += header.first + ": " + header.second + "\r\n";
    return lines;
}

std::string basicAuthorization(const std::string& user, const std::string& password) {
    return "Basic " + base64(user + ":" + password);
}

std::string base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(value >> 18) & 63];
        out += kDigits[(value >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(value >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[value & 63] : '=';
    }
    return out;
}

}  // namespace http
