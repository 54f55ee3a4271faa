#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// HTTP, for the address-book sync: one request at a time over one connection that
// is kept open between requests. libcurl natively; WinHTTP on Windows, loaded only
// when a sync runs.
namespace http {

using Headers = std::vector<std::pair<std::string, std::string>>;

// What became of a request.
enum class Outcome {
    answered,            // with a status other than 401
    credentialsRefused,  // 401
    certificateChanged,  // a new connection showed a certificate that does not pass
    unreachable,         // no answer; `error` holds the system's reason
};

struct Response {
    int status = 0;  // 0: no answer at all; `error` says why
    Headers headers;
    std::string body;
    std::string error;
    // Set by the client when the certificate failed on a request that carried the
    // password, after it had passed on an earlier one; `error` then says how.
    bool certificateChanged = false;

    Outcome outcome() const;
    // The answer in a word, as a log line shows it: its status, or why there was none.
    std::string summary() const;
    // The first header of this name, compared without case; empty if none.
    std::string header(const std::string& name) const;
};

// The first header of this name in `headers`, compared without case; empty if none.
std::string headerValue(const Headers& headers, const std::string& name);

class Client {
  public:
    virtual ~Client() = default;
    virtual Response request(const std::string& method, const std::string& url,
                             const Headers& headers, const std::string& body) = 0;
};

struct Settings {
    std::string user, password;  // Basic authentication when `user` is not empty
    std::string caFile;          // certificates to trust; the system's store if empty
    // Where a certificate changes during the run under a request that carries the
    // password, a system may send that request although it was cancelled (Wine has
    // composed it by then): only ending the run keeps the password from that server.
    // Called then with the request's URL and what is wrong with the certificate, it
    // must not return. Without it the client answers `certificateChanged`.
    std::function<void(const std::string& url, const std::string& why)> stopAtOnce;
};

// The system's HTTP client; nullptr, with `why` set, when it cannot be had here.
std::unique_ptr<Client> openClient(const Settings& settings, std::string& why);

}  // namespace http
