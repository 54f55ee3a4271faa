#include "sync/credentials.h"

#include <sstream>
#include <vector>

#include "platform/url.h"

namespace cardsync {

std::string hostOf(const std::string& url) { return url::parse(url).host; }

bool hasUserInfo(const std::string& url) { return url::parse(url).hasUserInfo; }

bool mayAuthenticate(const std::string& url, std::string& why) {
    const url::Url parts = url::parse(url);
    if (parts.scheme == "https") return true;
    const std::string& host = parts.host;
    size_t dots = 0;
    for (char c : host) dots += c == '.';
    const bool loopbackAddress = host.compare(0, 4, "127.") == 0 && dots == 3 &&
                                 host.find_first_not_of("0123456789.") == std::string::npos;
    if (host == "localhost" || host == "::1" || loopbackAddress) return true;
    why = "the password would cross the network as plain text over " +
          (parts.scheme.empty() ? url : parts.scheme) + "; use an https:// URL";
    return false;
}

bool fromNetrc(const std::string& netrc, const std::string& host, std::string& user,
               std::string& password) {
    std::istringstream words(netrc);
    std::vector<std::string> tokens;
    for (std::string word; words >> word;) tokens.push_back(word);
    // Entries in order; the first that names this host (or the default) and, when
    // a user is given, that user, is taken.
    for (size_t i = 0; i < tokens.size(); ++i) {
        bool matches = false;
        if (tokens[i] == "machine" && i + 1 < tokens.size())
            matches = tokens[++i] == host;
        else if (tokens[i] == "default")
            matches = true;
        else
            continue;
        std::string login, secret;
        size_t j = i + 1;
        for (; j + 1 < tokens.size() && tokens[j] != "machine" && tokens[j] != "default"; j += 2) {
            if (tokens[j] == "login") login = tokens[j + 1];
            if (tokens[j] == "password") secret = tokens[j + 1];
        }
        if (matches && !secret.empty() && (user.empty() || user == login)) {
            if (user.empty()) user = login;
            password = secret;
            return true;
        }
        i = j - 1;
    }
    return false;
}

}  // namespace cardsync
