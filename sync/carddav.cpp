#include "sync/carddav.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/files.h"
#include "platform/url.h"
#include "platform/xml.h"
#include "sync/credentials.h"

namespace carddav {

namespace {

constexpr const char* kDav = "DAV:";
constexpr const char* kCardDav = "urn:ietf:params:xml:ns:carddav";
constexpr size_t kFetchBatch = 100;
constexpr int kMostRedirects = 5;
constexpr int kMostRetries = 10;

const std::string kPrologue = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
const std::string kNamespaces = " xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"";

bool isSuccess(int status) { return status >= 200 && status < 300; }

// "HTTP/1.1 200 OK" -> 200
int statusOf(const xml::Element* status) {
    if (!status) return 0;
    size_t space = status->text.find(' ');
    return space == std::string::npos ? 0 : std::atoi(status->text.c_str() + space + 1);
}

std::string trimmed(const std::string& text) {
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return std::string();
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// The properties a server found for one resource of a multistatus answer.
const xml::Element* foundProperties(const xml::Element& response) {
    for (const xml::Element& part : response.children)
        if (part.space == kDav && part.name == "propstat" &&
            isSuccess(statusOf(part.child(kDav, "status"))))
            return part.child(kDav, "prop");
    return nullptr;
}

// Whether a resource that came without its card is gone (404 for it, or for each
// of its properties) rather than kept back by a failure of the server's.
bool isGone(const xml::Element& response) {
    if (statusOf(response.child(kDav, "status")) == 404) return true;
    bool gone = false;
    for (const xml::Element& part : response.children) {
        if (part.space != kDav || part.name != "propstat") continue;
        if (statusOf(part.child(kDav, "status")) != 404) return false;
        gone = true;
    }
    return gone;
}

// The properties found for the first resource of a multistatus answer.
const xml::Element* propertiesIn(const xml::Element& root) {
    const xml::Element* response = root.child(kDav, "response");
    return response ? foundProperties(*response) : nullptr;
}

// A status that refuses the request itself rather than failing for the moment.
bool refusesRequest(int status) {
    return (status >= 400 && status < 500 && status != 401 && status != 408 && status != 429) ||
           status == 501;
}

std::string hrefInside(const xml::Element* property) {
    const xml::Element* href = property ? property->child(kDav, "href") : nullptr;
    return href ? trimmed(href->text) : std::string();
}

// A card's bytes inside XML: the XML reader has made its CR LF line ends LF, and
// vCard lines end in CR LF, so they are put back.
std::string cardText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 40);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

std::string resolved(const std::string& base, const std::string& reference) {
    return url::resolved(base, reference);
}

bool sameServer(const std::string& a, const std::string& b) {
    return url::parse(a).origin() == url::parse(b).origin();
}

bool isBusy(int status) { return status == 503 || status == 429; }

FailureKind kindOf(const http::Response& response) {
    switch (response.outcome()) {
        case http::Outcome::unreachable:
            return FailureKind::unreachable;
        case http::Outcome::credentialsRefused:
            return FailureKind::credentialsRefused;
        case http::Outcome::certificateChanged:
            return FailureKind::certificateChanged;
        case http::Outcome::answered:
            break;
    }
    if (isSuccess(response.status)) return FailureKind::none;
    return response.status == 404 ? FailureKind::notFound : FailureKind::refused;
}

// Seconds since 1970 of an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT"); -1 if it is
// none.
long long secondsOfHttpDate(const std::string& text) {
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    char month[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text.c_str(), "%*3s, %2d %3s %4d %2d:%2d:%2d GMT", &day, month, &year, &hour,
                    &minute, &second) != 6)
        return -1;
    const char* found = std::strstr(kMonths, month);
    if (!found || std::strlen(month) != 3 || (found - kMonths) % 3 || day < 1 || day > 31)
        return -1;
    // Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
    int m = static_cast<int>(found - kMonths) / 3 + 1;
    long long y = year - (m <= 2);
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long days = era * 146097 + doe - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

}  // namespace

long long retryAfterSeconds(const http::Response& response) {
    const std::string value = trimmed(response.header("Retry-After"));
    if (!isBusy(response.status) || value.empty()) return -1;
    if (value.find_first_not_of("0123456789") == std::string::npos)
        return value.size() > 9 ? 999999999 : std::atoll(value.c_str());
    long long at = secondsOfHttpDate(value);
    if (at < 0) return -1;
    long long now = secondsOfHttpDate(trimmed(response.header("Date")));
    if (now < 0) now = static_cast<long long>(std::time(nullptr));
    return at > now ? at - now : 0;
}

std::string describe(const http::Response& response, const std::string& method,
                     const std::string& url) {
    if (response.status == 0) return "no answer from " + url + ": " + response.error;
    if (response.status == 401) return url + " refused the user name or password";
    std::string line =
        "the server answered " + std::to_string(response.status) + " to " + method + " " + url;
    const std::string when = trimmed(response.header("Retry-After"));
    if (retryAfterSeconds(response) >= 0)
        line += when.find_first_not_of("0123456789") == std::string::npos
                    ? " and asked to be called again in " + when + " seconds"
                    : " and asked to be called again after " + when;
    return line;
}

Session::Session(http::Client& client, std::string url)
    : client_(client), start_(std::move(url)), collection_(start_) {
    wait_ = [](unsigned seconds) {
        files::realFileSystem().pause(static_cast<int>(seconds) * 1000);
    };
}

http::Response Session::send(const std::string& method, const std::string& url,
                             const http::Headers& headers, const std::string& body) {
    std::string at = url;
    http::Response response;
    for (int hop = 0, retries = 0; hop <= kMostRedirects; ++hop) {
        ++requests_;
        response = client_.request(method, at, headers, body);
        lastStatus_ = response.status;
        // A busy server that says when to come back is asked again then, within
        // the sync's bound on waiting.
        const long long wait = retryAfterSeconds(response);
        if (wait >= 0 && retries < kMostRetries && waited_ + wait <= kMostRetryWaitSeconds) {
            wait_(static_cast<unsigned>(wait));
            waited_ += static_cast<unsigned>(wait);
            ++retries;
            --hop;
            continue;
        }
        bool moved = response.status == 301 || response.status == 302 || response.status == 307 ||
                     response.status == 308;
        if (!moved || response.header("Location").empty()) break;
        // The password goes with every request: another server is followed only
        // where it may be sent (HTTPS, or this machine).
        std::string next = resolved(at, response.header("Location")), unsafe;
        if (!sameServer(next, at) && !cardsync::mayAuthenticate(next, unsafe)) break;
        at = next;
    }
    lastUrl_ = at;
    lastFailure_ = {kindOf(response), at, response.error};
    return response;
}

std::string Session::absolute(const std::string& href) const { return resolved(collection_, href); }

bool Session::multistatus(const std::string& method, const std::string& url,
                          const std::string& depth, const std::string& body, std::string& xml,
                          std::string& why) {
    http::Response response = send(
        method, url, {{"Depth", depth}, {"Content-Type", "application/xml; charset=utf-8"}}, body);
    if (response.status != 207) {
        why = describe(response, method, url);
        return false;
    }
    xml = std::move(response.body);
    return true;
}

bool Session::readXml(const std::string& body, const std::string& url, xml::Element& root,
                      std::string& why) const {
    std::string xmlWhy;
    if (xml::parse(body, root, xmlWhy)) return true;
    why = url + " answered with XML that cannot be read: " + xmlWhy;
    return false;
}

bool Session::properties(const std::string& url, const std::string& depth, xml::Element& root,
                         std::string& why) {
    const std::string ask = kPrologue + "<d:propfind" + kNamespaces +
                            "><d:prop><d:resourcetype/><d:displayname/>"
                            "<d:current-user-principal/><c:addressbook-home-set/>"
                            "</d:prop></d:propfind>";
    std::string body;
    return multistatus("PROPFIND", url, depth, ask, body, why) && readXml(body, url, root, why);
}

bool Session::discover(std::vector<AddressBook>& found, std::string& why) {
    xml::Element root;
    if (!startingProperties(root, why)) return false;
    const std::string answeredAt = lastUrl_;  // where the redirects, if any, led
    const xml::Element* props = propertiesIn(root);
    if (props && props->find(kCardDav, "addressbook")) {
        found.push_back({answeredAt, ""});
        return true;
    }
    std::string home;
    return findHome(answeredAt, props, home, why) &&
           addressBooksIn(resolved(answeredAt, home), answeredAt, found, why);
}

// The properties of the URL the user gave, or of the server's well-known address
// when that URL answers with none.
bool Session::startingProperties(xml::Element& root, std::string& why) {
    if (properties(start_, "0", root, why)) return true;
    if (!answered()) return false;
    const std::string firstWhy = why;
    if (properties(url::parse(start_).written + "/.well-known/carddav", "0", root, why))
        return true;
    why = firstWhy;
    return false;
}

// The address-book home: named where discovery began, or by the user's principal.
bool Session::findHome(const std::string& answeredAt, const xml::Element* found, std::string& home,
                       std::string& why) {
    home = found ? hrefInside(found->child(kCardDav, "addressbook-home-set")) : "";
    std::string principal = found ? hrefInside(found->child(kDav, "current-user-principal")) : "";
    if (home.empty() && !principal.empty()) {
        xml::Element atPrincipal;
        if (!properties(resolved(answeredAt, principal), "0", atPrincipal, why)) return false;
        const xml::Element* p = propertiesIn(atPrincipal);
        home = p ? hrefInside(p->child(kCardDav, "addressbook-home-set")) : "";
    }
    if (home.empty()) why = start_ + " is neither an address book nor an account that leads to one";
    return !home.empty();
}

bool Session::addressBooksIn(const std::string& home, const std::string& answeredAt,
                             std::vector<AddressBook>& found, std::string& why) {
    xml::Element listing;
    if (!properties(home, "1", listing, why)) return false;
    for (const xml::Element& response : listing.children) {
        const xml::Element* p = foundProperties(response);
        if (!p || !p->find(kCardDav, "addressbook")) continue;
        const xml::Element* name = p->child(kDav, "displayname");
        found.push_back(
            {resolved(answeredAt, hrefInside(&response)), name ? trimmed(name->text) : ""});
    }
    if (found.empty()) why = "the account at " + start_ + " has no address book";
    return !found.empty();
}

// Whether the last request was answered at all, by a server that took the password.
bool Session::answered() const {
    return lastFailure_.kind != FailureKind::unreachable &&
           lastFailure_.kind != FailureKind::credentialsRefused &&
           lastFailure_.kind != FailureKind::certificateChanged;
}

bool Session::syncReport(const std::string& syncToken, std::string& xml, std::string& why) {
    return multistatus("REPORT", collection_, "0",
                       kPrologue + "<d:sync-collection" + kNamespaces + "><d:sync-token>" +
                           xml::escaped(syncToken) +
                           "</d:sync-token><d:sync-level>1</d:sync-level>"
                           "<d:prop><d:getetag/></d:prop></d:sync-collection>",
                       xml, why);
}

bool Session::changesSince(const std::string& syncToken, Listing& listing, std::string& why) {
    std::string body;
    listing = Listing();
    listing.whole = false;
    return syncReport(syncToken, body, why) && readListing(body, true, listing, why);
}

bool Session::list(const std::string& syncToken, bool offersSyncCollection, Listing& listing,
                   std::string& why) {
    std::string body;
    listing = Listing();
    listing.whole = syncToken.empty();
    bool synced = offersSyncCollection && syncReport(syncToken, body, why);
    if (offersSyncCollection && !synced && !syncToken.empty() && answered()) {
        // The token has expired, or the server has stopped offering changes: ask
        // for every card and its ETag instead.
        listing.whole = true;
        synced = syncReport("", body, why);
    }
    if (!synced) {
        // A refusal of the request itself, not a failure of the moment.
        const bool refused = offersSyncCollection && refusesRequest(lastStatus_);
        listing.whole = true;
        if (offersSyncCollection && !answered()) return false;
        if (!propfindListing(body, why)) return false;
        listing.syncCollectionRefused = refused;
    }
    why.clear();  // a refusal that the fallback answered is no failure
    return readListing(body, synced, listing, why);
}

bool Session::propfindListing(std::string& xml, std::string& why) {
    return multistatus("PROPFIND", collection_, "1",
                       kPrologue + "<d:propfind" + kNamespaces +
                           "><d:prop><d:resourcetype/><d:getetag/></d:prop></d:propfind>",
                       xml, why);
}

bool Session::readListing(const std::string& body, bool synced, Listing& listing,
                          std::string& why) {
    xml::Element root;
    if (!readXml(body, collection_, root, why)) return false;
    const std::string self = url::hrefOn(collection_, collection_);
    for (const xml::Element& response : root.children) {
        if (response.name != "response") continue;
        // A card of this collection lives on its server; anything else is not taken.
        // Its href is kept in one spelling, however the server writes it.
        const std::string href = url::hrefOn(collection_, hrefInside(&response));
        if (href.empty() || href == self) continue;
        const xml::Element* p = foundProperties(response);
        if (!p) {
            if (statusOf(response.child(kDav, "status")) == 404) listing.removed.push_back(href);
            continue;
        }
        const xml::Element* type = p->child(kDav, "resourcetype");
        if (type && !type->children.empty()) continue;  // a collection inside, not a card
        const xml::Element* etag = p->child(kDav, "getetag");
        listing.etags[href] = etag ? trimmed(etag->text) : std::string();
    }
    if (synced)
        if (const xml::Element* token = root.child(kDav, "sync-token"))
            listing.syncToken = trimmed(token->text);
    return true;
}

bool Session::fetch(const std::vector<std::string>& hrefs, std::vector<Card>& cards,
                    std::string& why) {
    for (size_t from = 0; from < hrefs.size(); from += kFetchBatch) {
        std::string report = kPrologue + "<c:addressbook-multiget" + kNamespaces +
                             "><d:prop><d:getetag/><c:address-data/></d:prop>";
        for (size_t i = from; i < hrefs.size() && i < from + kFetchBatch; ++i)
            report += "<d:href>" + xml::escaped(hrefs[i]) + "</d:href>";
        report += "</c:addressbook-multiget>";
        std::string body;
        xml::Element root;
        if (!multistatus("REPORT", collection_, "1", report, body, why) ||
            !readXml(body, collection_, root, why))
            return false;
        for (const xml::Element& response : root.children) {
            const xml::Element* p = foundProperties(response);
            const xml::Element* data = p ? p->child(kCardDav, "address-data") : nullptr;
            // A card gone since the listing counts as deleted there; one the server
            // failed to give must not, or the sync would delete it here.
            if (!data && !isGone(response)) {
                why = "the server did not give the card " + absolute(hrefInside(&response));
                return false;
            }
            if (!data) continue;
            const xml::Element* etag = p->child(kDav, "getetag");
            cards.push_back({url::hrefOn(collection_, hrefInside(&response)),
                             etag ? trimmed(etag->text) : std::string(), cardText(data->text)});
        }
    }
    return true;
}

WriteResult Session::put(const std::string& href, const std::string& body, const std::string& etag,
                         std::string& newEtag, std::string& storedAt, std::string& why) {
    const std::string url = absolute(href);
    http::Response response = send("PUT", url,
                                   {{"Content-Type", "text/vcard; charset=utf-8"},
                                    etag.empty() ? http::Headers::value_type{"If-None-Match", "*"}
                                                 : http::Headers::value_type{"If-Match", etag}},
                                   body);
    if (response.status == 412) return WriteResult::preconditionFailed;
    if (!isSuccess(response.status)) {
        why = describe(response, "PUT", url);
        const bool uidTaken =
            response.status == 409 ||
            (response.status == 403 && response.body.find("no-uid-conflict") != std::string::npos);
        return etag.empty() && uidTaken ? WriteResult::uidTaken : WriteResult::failed;
    }
    newEtag = response.header("ETag");
    // A server may name a new card itself (Google does), and says where in Location.
    const std::string location =
        response.status == 201 ? url::hrefOn(url, trimmed(response.header("Location"))) : "";
    storedAt = location.empty() ? href : location;
    return WriteResult::done;
}

WriteResult Session::remove(const std::string& href, const std::string& etag, std::string& why) {
    const std::string url = absolute(href);
    http::Headers headers;
    if (!etag.empty()) headers.emplace_back("If-Match", etag);
    http::Response response = send("DELETE", url, headers, "");
    if (response.status == 412) return WriteResult::preconditionFailed;
    if (isSuccess(response.status) || response.status == 404) return WriteResult::done;
    why = describe(response, "DELETE", url);
    return WriteResult::failed;
}

std::string Session::hrefFor(const std::string& uid) const {
    std::string path = url::hrefOn(collection_, collection_);
    if (path.empty() || path.back() != '/') path += '/';
    std::string name = uid.compare(0, 9, "urn:uuid:") == 0 ? uid.substr(9) : uid;
    return url::normalisedPath(path + name + ".vcf");
}

}  // namespace carddav
