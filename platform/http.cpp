#include "platform/http.h"

#include <algorithm>
#include <cctype>

namespace http {

Outcome Response::outcome() const {
    if (certificateChanged) return Outcome::certificateChanged;
    if (status == 0) return Outcome::unreachable;
    return status == 401 ? Outcome::credentialsRefused : Outcome::answered;
}

std::string Response::summary() const { return status ? std::to_string(status) : error; }

std::string headerValue(const Headers& headers, const std::string& name) {
    for (const auto& item : headers)
        if (item.first.size() == name.size() &&
            std::equal(name.begin(), name.end(), item.first.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return item.second;
    return std::string();
}

std::string Response::header(const std::string& name) const { return headerValue(headers, name); }

}  // namespace http
