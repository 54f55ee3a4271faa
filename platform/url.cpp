#include "platform/url.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace url {

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// What a path segment may hold as it is, besides "/" (RFC 3986 pchar).
bool mayStandInPath(unsigned char c) {
    return std::isalnum(c) || std::strchr("-._~!$&'()*+,;=:@", c) != nullptr;
}

}  // namespace

int Url::portNumber() const {
    if (!port.empty()) return std::atoi(port.c_str());
    return scheme == "https" ? 443 : 80;
}

std::string Url::hostInUrl() const { return ipv6 ? "[" + host + "]" : host; }

std::string Url::origin() const {
    std::string out = scheme.empty() ? std::string() : scheme + "://";
    out += hostInUrl();
    if (!port.empty() && portNumber() != (scheme == "https" ? 443 : 80)) out += ":" + port;
    return out;
}

std::string Url::target() const { return hasQuery ? path + "?" + query : path; }

Url parse(const std::string& text) {
    Url u;
    size_t at = 0, scheme = text.find("://");
    if (scheme != std::string::npos && text.find_first_of("/?#") > scheme) {
        u.scheme = lower(text.substr(0, scheme));
        at = scheme + 3;
    }
    size_t end = text.find_first_of("/?#", at);
    if (end == std::string::npos) end = text.size();
    u.written = text.substr(0, end);
    std::string authority = text.substr(at, end - at);
    size_t sign = authority.rfind('@');
    if (sign != std::string::npos) {
        u.hasUserInfo = true;
        u.userInfo = authority.substr(0, sign);
        authority = authority.substr(sign + 1);
    }
    size_t colon = authority.rfind(':');
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        u.ipv6 = true;
        u.host = authority.substr(1, close == std::string::npos ? close : close - 1);
        colon = close != std::string::npos && authority.find(':', close) == close + 1
                    ? close + 1
                    : std::string::npos;
    } else {
        u.host = authority.substr(0, colon);
    }
    if (colon != std::string::npos) u.port = authority.substr(colon + 1);
    u.host = lower(u.host);
    std::string rest = text.substr(end);
    size_t hash = rest.find('#');
    if (hash != std::string::npos) {
        u.hasFragment = true;
        u.fragment = rest.substr(hash + 1);
        rest.erase(hash);
    }
    size_t question = rest.find('?');
    if (question != std::string::npos) {
        u.hasQuery = true;
        u.query = rest.substr(question + 1);
        rest.erase(question);
    }
    u.path = rest.empty() ? "/" : rest;
    return u;
}

std::string resolved(const std::string& base, const std::string& reference) {
    if (reference.find("://") != std::string::npos &&
        reference.find("://") < reference.find_first_of("/?#"))
        return reference;
    const Url from = parse(base);
    if (reference.compare(0, 2, "//") == 0) return from.scheme + ":" + reference;
    if (!reference.empty() && reference[0] == '/') return from.written + reference;
    return from.written + from.path.substr(0, from.path.rfind('/') + 1) + reference;
}

std::string normalisedPath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '%' && i + 2 < path.size() && hexValue(path[i + 1]) >= 0 &&
            hexValue(path[i + 2]) >= 0) {
            c = static_cast<unsigned char>(hexValue(path[i + 1]) * 16 + hexValue(path[i + 2]));
            i += 2;
            // An encoded "/" names no folder: it stays encoded, like "%" itself.
            if (mayStandInPath(c)) {
                out += static_cast<char>(c);
                continue;
            }
        } else if (c == '/' || mayStandInPath(c)) {
            out += static_cast<char>(c);
            continue;
        }
        out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
    return out;
}

std::string hrefOn(const std::string& base, const std::string& href) {
    const Url server = parse(base), card = parse(resolved(base, href));
    if (href.empty() || card.origin() != server.origin()) return std::string();
    return normalisedPath(card.path) + (card.hasQuery ? "?" + card.query : "");
}

}  // namespace url
