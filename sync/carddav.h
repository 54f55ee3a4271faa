#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/http.h"
#include "platform/xml.h"

// A CardDAV address book (RFC 6352) over one HTTP connection: discovery (RFC 6764),
// the list of cards with their ETags, by sync-collection (RFC 6578) when the
// server offers it, cards fetched in batches, and conditional writes.
namespace carddav {

struct AddressBook {
    std::string url, name;
};

struct Listing {
    bool whole = true;                         // every card, not only the changes since a token
    std::map<std::string, std::string> etags;  // href -> ETag: all cards, or those changed
    std::vector<std::string> removed;          // hrefs gone since the token
    std::string syncToken;                     // empty when the server offers none
    // The server refused sync-collection itself, not a token: the cards were listed
    // by PROPFIND instead, which is all it offers.
    bool syncCollectionRefused = false;
};

struct Card {
    std::string href, etag, body;
};

// uidTaken: a new card refused because another card there has its UID (RFC 6352
// no-uid-conflict, or 409).
enum class WriteResult { done, preconditionFailed, uidTaken, failed };

// Why the last request of a session did not get what it asked for.
enum class FailureKind {
    none,
    unreachable,         // no answer: `reason` holds the system's reason
    credentialsRefused,  // 401
    certificateChanged,  // a certificate that passed earlier in the sync fails: `reason` says how
    notFound,            // 404: the collection has moved or gone
    refused,             // any other answer
};

struct Failure {
    FailureKind kind = FailureKind::none;
    std::string url;  // where the request went last, after redirects
    std::string reason;
};

// A server that answers 503 or 429 with Retry-After is asked again after the time it
// gives, while the waits of one sync add up to no more than this.
constexpr unsigned kMostRetryWaitSeconds = 60;

class Session {
  public:
    // `url` is the collection, or a server or account URL to discover it from.
    Session(http::Client& client, std::string url);

    // How the session waits before asking a busy server again: the system's pause,
    // unless a test gives its own.
    using Waiter = std::function<void(unsigned seconds)>;
    void setWaiter(Waiter wait) { wait_ = std::move(wait); }

    // The address books the URL leads to; false, with `why` set, when none.
    bool discover(std::vector<AddressBook>& found, std::string& why);
    // Works on this collection from now on.
    void useCollection(const std::string& url) { collection_ = url; }
    const std::string& collection() const { return collection_; }

    // The cards' ETags: changes since `syncToken` when it is given and still valid,
    // else every card; by PROPFIND alone when the server is known not to offer
    // sync-collection.
    bool list(const std::string& syncToken, bool offersSyncCollection, Listing& listing,
              std::string& why);
    // The changes since `syncToken` in one request, without falling back to a whole
    // listing; false when the server does not give them.
    bool changesSince(const std::string& syncToken, Listing& listing, std::string& why);
    // The cards at these hrefs, in batches; a card that is gone is left out.
    bool fetch(const std::vector<std::string>& hrefs, std::vector<Card>& cards, std::string& why);
    // A card written with If-Match `etag`, or with If-None-Match: * when `etag` is
    // empty; `newEtag` receives the server's ETag for it when it gives one, and
    // `storedAt` its href: where the server says it put a new card, else `href`.
    WriteResult put(const std::string& href, const std::string& body, const std::string& etag,
                    std::string& newEtag, std::string& storedAt, std::string& why);
    WriteResult remove(const std::string& href, const std::string& etag, std::string& why);

    // A new card's href inside the collection.
    std::string hrefFor(const std::string& uid) const;
    size_t requests() const { return requests_; }
    // The status of the last answer: 0 when there was none.
    int lastStatus() const { return lastStatus_; }
    // What became of the last request.
    const Failure& lastFailure() const { return lastFailure_; }

  private:
    http::Response send(const std::string& method, const std::string& url,
                        const http::Headers& headers, const std::string& body);
    bool multistatus(const std::string& method, const std::string& url, const std::string& depth,
                     const std::string& body, std::string& xml, std::string& why);
    bool readXml(const std::string& body, const std::string& url, xml::Element& root,
                 std::string& why) const;
    bool properties(const std::string& url, const std::string& depth, xml::Element& root,
                    std::string& why);
    bool startingProperties(xml::Element& root, std::string& why);
    bool findHome(const std::string& answeredAt, const xml::Element* found, std::string& home,
                  std::string& why);
    bool addressBooksIn(const std::string& home, const std::string& answeredAt,
                        std::vector<AddressBook>& found, std::string& why);
    bool answered() const;
    bool propfindListing(std::string& xml, std::string& why);
    std::string absolute(const std::string& href) const;
    bool syncReport(const std::string& syncToken, std::string& xml, std::string& why);
    bool readListing(const std::string& xml, bool synced, Listing& listing, std::string& why);

    http::Client& client_;
    std::string start_, collection_;
    Waiter wait_;
    unsigned waited_ = 0;  // seconds, over the whole session
    size_t requests_ = 0;
    int lastStatus_ = 0;  // of the last answer: 0 none, 401 credentials refused
    Failure lastFailure_;
    std::string lastUrl_;  // where the last answer came from, after redirects
};

// "the server answered 500 to PUT https://...", and when a busy server asked to be
// called again.
std::string describe(const http::Response& response, const std::string& method,
                     const std::string& url);

// The seconds a 503 or 429 answer asks the client to wait (Retry-After as seconds
// or as an HTTP date, counted from the answer's Date, else from now); -1 when it
// does not say.
long long retryAfterSeconds(const http::Response& response);

}  // namespace carddav
