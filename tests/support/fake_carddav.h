#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/http.h"

// A CardDAV server held in memory, answering through the HTTP seam: one address
// book at /book/, ETags, sync tokens, multiget, conditional PUT and DELETE. Tests
// count its requests, change cards behind the client's back and make it stop
// answering after the n-th request.
class FakeCardDav : public http::Client {
  public:
    static constexpr const char* kBook = "http://127.0.0.1:5232/book/";

    std::map<std::string, std::string> cards;  // href -> body
    size_t requests = 0, cardsRead = 0;
    size_t answerUpTo = static_cast<size_t>(-1);  // requests after this one get no answer
    bool offersSyncCollection = true;
    // Changes since a token leave out a card created after it and deleted since, as
    // a server may that reports the difference between two states.
    bool reportsOnlyDifference = false;
    // The next requests are answered so, in order, instead of being served: a busy
    // server, with the Retry-After it gives (none when empty) and a fixed Date.
    struct Busy {
        int status;
        std::string retryAfter;
    };
    std::vector<Busy> busy;
    static constexpr const char* kDate = "Sun, 06 Nov 1994 08:49:37 GMT";
    std::map<std::string, std::string> redirects;  // path -> where a 301 sends it
    std::map<std::string, int> failing;            // path -> the status a multiget gives it instead
    std::vector<std::string> asked;                // every URL requested, in order
    // Runs before each request is answered, with its method: a second client at work.
    std::function<void(const std::string& method)> beforeAnswer;

    // A multistatus answer, and one resource in it with the properties found.
    static std::string multistatus(const std::string& inside, const std::string& token = "");
    static std::string found(const std::string& href, const std::string& props);

    void putCard(const std::string& href, const std::string& body);
    void removeCard(const std::string& href);
    std::string etagOf(const std::string& href) const;

    http::Response request(const std::string& method, const std::string& url,
                           const http::Headers& headers, const std::string& body) override;

  private:
    struct Change {
        std::string href;
        bool removed;
    };
    std::map<std::string, unsigned> versions_;  // href -> its ETag's number
    std::vector<Change> changes_;               // the sync token is their count
    unsigned nextVersion_ = 1;
};
