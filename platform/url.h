#pragma once

#include <string>

// A URL read once into its parts (RFC 3986), for the HTTP clients, the credentials
// and the CardDAV session alike. Scheme and host are kept in lower case, the rest
// as written.
namespace url {

struct Url {
    std::string scheme;    // "https"; empty when the text has none
    std::string userInfo;  // "ann:secret" before an "@"
    std::string host;      // "example.com"; an IPv6 literal without its brackets
    std::string port;      // the digits after the host's ":", if any
    std::string path;      // "/book/"; "/" when the URL has none
    std::string query;     // after "?", without it
    std::string fragment;  // after "#", without it
    bool hasUserInfo = false, hasQuery = false, hasFragment = false;
    bool ipv6 = false;
    std::string written;  // the text before the path: scheme and authority as written

    // The port given, else the scheme's own (443 for https, 80 otherwise).
    int portNumber() const;
    // The host as a URL writes it: "[::1]" for an IPv6 literal.
    std::string hostInUrl() const;
    // "https://example.com:8443": what tells two servers apart, without user info
    // and without a port that is the scheme's own.
    std::string origin() const;
    // What a request asks for: the path and the query.
    std::string target() const;
};

Url parse(const std::string& text);

// A reference found in an answer (a whole URL, a path or a relative name) as a
// whole URL, resolved against the URL that answered.
std::string resolved(const std::string& base, const std::string& reference);

// A path with one spelling for each name: every percent-encoded character that a
// path may hold as it is is decoded, every other encoded one keeps upper-case hex
// digits, and characters a path may not hold are encoded.
std::string normalisedPath(const std::string& path);

// A card's href in the one form it is compared and kept in: its path, normalised,
// resolved against `base`; empty when it is on another server.
std::string hrefOn(const std::string& base, const std::string& href);

}  // namespace url
