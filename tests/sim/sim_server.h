#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/http.h"

// A CardDAV server held in memory for the sync simulation: one address book at
// /book/, answering as the servers met in the field do, each habit a switch, and
// failing at whichever of qbcard's requests a history says.
namespace sim {

// How the server answers sync-collection.
enum class Listing {
    removals,     // every member removed since the token, even one added after it (Radicale)
    differences,  // only the difference between the two states (Xandikos)
    none,         // no sync-collection at all: 403 to the REPORT (SabreDAV 1.8)
};
// How it answers a token it no longer knows.
enum class Expired { forbidden, precondition, error, fullListing };  // 403, 412, 500, DAViCal
enum class PutEtag { given, none, stale };  // stale: the ETag of the card before its rewrite
enum class DuplicateUid { allowed, conflict, precondition };  // refused with 409 / 412

struct Behaviour {
    Listing listing = Listing::removals;
    Expired expired = Expired::forbidden;
    PutEtag putEtag = PutEtag::given;
    DuplicateUid duplicateUid = DuplicateUid::allowed;
    bool rewrites = false;       // adds PRODID, reorders the lines, re-escapes line breaks
    bool namesResource = false;  // a new card goes where the server says, told in Location
    bool weakEtags = false;
    bool encodedHrefs = false;   // hrefs in listings percent-encoded beyond need
    bool absoluteHrefs = false;  // hrefs in listings as whole URLs
};

std::string describe(const Behaviour& behaviour);

enum class Fault {
    none,
    lostRequest,  // never reached the server
    lostAnswer,   // the server acted; the answer never came
    serverError,  // 500, nothing done
    busy,         // 503 with Retry-After, nothing done
    tooMany,      // 429 with Retry-After, nothing done
    cutAnswer,    // the server acted; the answer stops halfway
    crashBefore,  // qbcard ends before the request leaves
    crashAfter,   // qbcard ends once the server has acted
};

const char* describe(Fault fault);

// qbcard's process ending where a history says: thrown through the sync.
struct Crash {};

class Server : public http::Client {
  public:
    static constexpr const char* kOrigin = "http://127.0.0.1:5232";
    static constexpr const char* kBook = "http://127.0.0.1:5232/book/";

    explicit Server(const Behaviour& behaviour) : behaviour_(behaviour) {}

    std::map<std::string, std::string> cards;  // path (decoded) -> body
    void store(const std::string& path, const std::string& body);
    void erase(const std::string& path);
    void forgetTokens() { oldestToken_ = log_.size(); }

    // For one run of qbcard: its requests counted from 1, faults at some of them,
    // and a second client that acts before the n-th is answered.
    std::map<size_t, Fault> faults;
    std::function<void(size_t n)> beforeAnswer;
    size_t requests = 0, writes = 0;  // writes: PUTs and DELETEs carried out

    http::Response request(const std::string& method, const std::string& url,
                           const http::Headers& headers, const std::string& body) override;

  private:
    http::Response answer(const std::string& method, const std::string& path,
                          const http::Headers& headers, const std::string& body);
    http::Response listing(const std::string& body);
    http::Response write(const std::string& method, const std::string& path,
                         const http::Headers& headers, const std::string& body);
    std::string etagOf(const std::string& path) const;
    std::string spelled(const std::string& path) const;
    bool existedAt(const std::string& path, size_t token) const;

    Behaviour behaviour_;
    std::map<std::string, unsigned> versions_;
    std::vector<std::pair<std::string, bool>> log_;  // path, removed; a token is its length
    size_t oldestToken_ = 0;
    unsigned nextVersion_ = 1, nextName_ = 1;
};

}  // namespace sim
