#include "tests/sim/sim_server.h"

#include <algorithm>

#include "platform/xml.h"

namespace sim {

namespace {

const std::string kDav = "DAV:";
const std::string kPath = "/book/";
const std::string kTokenPrefix = "http://127.0.0.1:5232/sync/";

std::string decoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A path from an href or URL in any spelling the server gave.
std::string pathOf(const std::string& reference) {
    std::string at = reference;
    if (at.compare(0, 4, "http") == 0) at = at.substr(at.find('/', at.find("://") + 3));
    return decoded(at);
}

std::string withoutWeakness(const std::string& etag) {
    return etag.compare(0, 2, "W/") == 0 ? etag.substr(2) : etag;
}

std::string response(const std::string& href, const std::string& props) {
    return "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + props +
           "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

std::string multistatus(const std::string& inside, const std::string& after = "") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:multistatus xmlns:d=\"DAV:\" "
           "xmlns:c=\"urn:ietf:params:xml:ns:carddav\">" +
           inside + after + "</d:multistatus>";
}

std::string uidIn(const std::string& card) {
    size_t at = card.find("\nUID:");
    if (at == std::string::npos) return std::string();
    return card.substr(at + 5, card.find('\r', at) - at - 5);
}

// As some servers store a card: their own PRODID and a UID added, the lines in
// another order, line breaks in values escaped as \N.
std::string rewritten(const std::string& card, unsigned number) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < card.size();) {
        size_t end = card.find("\r\n", at);
        if (end == std::string::npos) end = card.size();
        std::string line = card.substr(at, end - at);
        if (!line.empty() && line[0] == ' ' && !lines.empty())
            lines.back() += line.substr(1);
        else if (!line.empty())
            lines.push_back(line);
        at = end + 2;
    }
    if (lines.size() < 3) return card;
    std::reverse(lines.begin() + 2, lines.end() - 1);
    if (uidIn(card).empty()) lines.insert(lines.begin() + 2, "UID:sim-" + std::to_string(number));
    lines.insert(lines.begin() + 2, "PRODID:-//Sim//Server//EN");
    std::string out;
    for (std::string& line : lines) {
        for (size_t at = 0; (at = line.find("\\n", at)) != std::string::npos; at += 2)
            line[at + 1] = 'N';
        out += line + "\r\n";
    }
    return out;
}

}  // namespace

std::string describe(const Behaviour& b) {
    static const char* const kListings[] = {"removals (Radicale)", "differences only (Xandikos)",
                                            "no sync-collection (SabreDAV 1.8)"};
    static const char* const kExpired[] = {"403 valid-sync-token", "412", "500",
                                           "a full listing (DAViCal)"};
    static const char* const kPutEtags[] = {"given", "none", "stale"};
    static const char* const kDuplicates[] = {"allowed", "409", "412"};
    std::string text = std::string("listing ") + kListings[int(b.listing)] + ", expired token " +
                       kExpired[int(b.expired)] + ", ETag on PUT " + kPutEtags[int(b.putEtag)] +
                       ", duplicate UID " + kDuplicates[int(b.duplicateUid)];
    if (b.rewrites) text += ", rewrites cards";
    if (b.namesResource) text += ", names new cards itself";
    if (b.weakEtags) text += ", weak ETags";
    if (b.encodedHrefs) text += ", percent-encoded hrefs";
    if (b.absoluteHrefs) text += ", absolute hrefs";
    return text;
}

const char* describe(Fault fault) {
    static const char* const kWords[] = {"",
                                         "the request is lost",
                                         "the answer is lost after the server acted",
                                         "500",
                                         "503 with Retry-After",
                                         "429 with Retry-After",
                                         "the answer is cut halfway",
                                         "qbcard crashes before sending it",
                                         "qbcard crashes once the server acted"};
    return kWords[int(fault)];
}

void Server::store(const std::string& path, const std::string& body) {
    cards[path] = body;
    versions_[path] = nextVersion_++;
    log_.emplace_back(path, false);
}

void Server::erase(const std::string& path) {
    cards.erase(path);
    versions_.erase(path);
    log_.emplace_back(path, true);
}

std::string Server::etagOf(const std::string& path) const {
    std::string etag = "\"" + std::to_string(versions_.at(path)) + "\"";
    return behaviour_.weakEtags ? "W/" + etag : etag;
}

std::string Server::spelled(const std::string& path) const {
    std::string out = behaviour_.absoluteHrefs ? kOrigin : "";
    for (unsigned char c : path) {
        bool plain =
            std::isalnum(c) || std::string("/-._~").find(char(c)) != std::string::npos ||
            (!behaviour_.encodedHrefs && std::string("@+:").find(char(c)) != std::string::npos);
        static const char kHex[] = "0123456789ABCDEF";
        out += plain ? std::string(1, char(c)) : std::string{'%', kHex[c >> 4], kHex[c & 15]};
    }
    return out;
}

bool Server::existedAt(const std::string& path, size_t token) const {
    bool existed = false;
    for (size_t i = 0; i < token; ++i)
        if (log_[i].first == path) existed = !log_[i].second;
    return existed;
}

http::Response Server::request(const std::string& method, const std::string& url,
                               const http::Headers& headers, const std::string& body) {
    const size_t n = ++requests;
    if (beforeAnswer) beforeAnswer(n);
    const Fault fault = faults.count(n) ? faults[n] : Fault::none;
    http::Response r;
    switch (fault) {
        case Fault::crashBefore:
            throw Crash{};
        case Fault::lostRequest:
            r.error = "Connection reset by peer";
            return r;
        case Fault::serverError:
            r.status = 500;
            return r;
        case Fault::busy:
        case Fault::tooMany:
            r.status = fault == Fault::busy ? 503 : 429;
            r.headers.emplace_back("Retry-After", std::to_string(n % 3 == 0 ? 120 : n % 5));
            return r;
        default:
            break;
    }
    r = answer(method, pathOf(url), headers, body);
    if (fault == Fault::crashAfter) throw Crash{};
    if (fault == Fault::lostAnswer) return http::Response{0, {}, {}, "Operation timed out"};
    if (fault == Fault::cutAnswer) {
        r.body.resize(r.body.size() / 2);
        if (r.body.empty()) r = http::Response{0, {}, {}, "Connection reset by peer"};
    }
    return r;
}

http::Response Server::answer(const std::string& method, const std::string& path,
                              const http::Headers& headers, const std::string& body) {
    http::Response r;
    r.status = 207;
    if (method == "PUT" || method == "DELETE") return write(method, path, headers, body);
    if (method == "GET") {
        if (!cards.count(path)) return http::Response{404, {}, {}, {}};
        return http::Response{200, {{"ETag", etagOf(path)}}, cards[path], {}};
    }
    xml::Element root;
    std::string why;
    if (path != kPath || !xml::parse(body, root, why)) return http::Response{400, {}, {}, {}};
    if (method == "PROPFIND") {
        const std::string book = "<d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>";
        std::string inside = response(spelled(kPath), book);
        if (http::headerValue(headers, "Depth") == "1")
            for (const auto& card : cards)
                inside += response(spelled(card.first), "<d:resourcetype/><d:getetag>" +
                                                            etagOf(card.first) + "</d:getetag>");
        r.body = multistatus(inside);
    } else if (method == "REPORT" && root.name == "sync-collection") {
        return listing(body);
    } else if (method == "REPORT" && root.name == "addressbook-multiget") {
        std::string inside;
        for (const xml::Element& href : root.children) {
            if (href.name != "href" || !cards.count(pathOf(href.text))) continue;
            inside += response(href.text, "<d:getetag>" + etagOf(pathOf(href.text)) +
                                              "</d:getetag><c:address-data>" +
                                              xml::escaped(cards[pathOf(href.text)]) +
                                              "</c:address-data>");
        }
        r.body = multistatus(inside);
    } else {
        r.status = 405;
    }
    return r;
}

http::Response Server::listing(const std::string& body) {
    if (behaviour_.listing == Listing::none) return http::Response{403, {}, {}, {}};
    xml::Element root;
    std::string why;
    xml::parse(body, root, why);
    const xml::Element* given = root.child(kDav, "sync-token");
    const std::string token = given ? given->text : "";
    size_t since = 0;
    bool known = token.empty();
    if (!known && token.compare(0, kTokenPrefix.size(), kTokenPrefix) == 0) {
        since = std::stoul(token.substr(kTokenPrefix.size()));
        known = since >= oldestToken_ && since <= log_.size();
    }
    if (!known) {
        static const int kStatus[] = {403, 412, 500};
        if (behaviour_.expired != Expired::fullListing) {
            http::Response refused{kStatus[int(behaviour_.expired)], {}, {}, {}};
            if (behaviour_.expired == Expired::forbidden)
                refused.body =
                    "<?xml version=\"1.0\"?><d:error xmlns:d=\"DAV:\">"
                    "<d:valid-sync-token/></d:error>";
            return refused;
        }
        since = 0;  // every card, as if no token had been given
    }
    std::map<std::string, bool> touched;  // path -> there now
    if (since == 0)
        for (const auto& card : cards) touched[card.first] = true;
    else
        for (size_t i = since; i < log_.size(); ++i)
            touched[log_[i].first] = cards.count(log_[i].first) != 0;
    std::string inside;
    for (const auto& [path, there] : touched) {
        if (there) {
            inside += response(spelled(path), "<d:getetag>" + etagOf(path) + "</d:getetag>");
        } else if (behaviour_.listing == Listing::removals || existedAt(path, since)) {
            inside += "<d:response><d:href>" + spelled(path) +
                      "</d:href><d:status>HTTP/1.1 404 Not Found</d:status></d:response>";
        }
    }
    const std::string next = kTokenPrefix + std::to_string(log_.size());
    return http::Response{
        207, {}, multistatus(inside, "<d:sync-token>" + next + "</d:sync-token>"), {}};
}

http::Response Server::write(const std::string& method, const std::string& path,
                             const http::Headers& headers, const std::string& body) {
    const bool exists = cards.count(path) != 0;
    const std::string ifMatch = http::headerValue(headers, "If-Match");
    if ((http::headerValue(headers, "If-None-Match") == "*" && exists) ||
        (!ifMatch.empty() &&
         (!exists || withoutWeakness(etagOf(path)) != withoutWeakness(ifMatch))))
        return http::Response{412, {}, {}, {}};
    if (method == "DELETE") {
        if (!exists) return http::Response{404, {}, {}, {}};
        erase(path);
        ++writes;
        return http::Response{204, {}, {}, {}};
    }
    const std::string uid = uidIn(body);
    for (const auto& card : cards)
        if (card.first != path && !uid.empty() && uidIn(card.second) == uid &&
            behaviour_.duplicateUid != DuplicateUid::allowed)
            return http::Response{
                behaviour_.duplicateUid == DuplicateUid::conflict ? 409 : 412, {}, {}, {}};
    http::Response r{exists ? 204 : 201, {}, {}, {}};
    std::string at = path;
    if (!exists && behaviour_.namesResource) {
        at = kPath + "srv-" + std::to_string(nextName_++) + ".vcf";
        r.headers.emplace_back("Location", kOrigin + at);
    }
    store(at, behaviour_.rewrites ? rewritten(body, nextVersion_) : body);
    ++writes;
    if (behaviour_.putEtag == PutEtag::given) r.headers.emplace_back("ETag", etagOf(at));
    if (behaviour_.putEtag == PutEtag::stale)
        r.headers.emplace_back("ETag", "\"" + std::to_string(versions_[at]) + "-put\"");
    return r;
}

}  // namespace sim
