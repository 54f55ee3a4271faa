#include "tests/support/fake_carddav.h"

#include <regex>

namespace {

const std::string kPath = "/book/";

std::string xmlText(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : std::string(1, c);
    return out;
}

}  // namespace

std::string FakeCardDav::multistatus(const std::string& inside, const std::string& token) {
    return "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
           "xmlns:c=\"urn:ietf:params:xml:ns:carddav\">" +
           inside + (token.empty() ? "" : "<d:sync-token>" + token + "</d:sync-token>") +
           "</d:multistatus>";
}

std::string FakeCardDav::found(const std::string& href, const std::string& props) {
    return "<d:response><d:href>" + href + "</d:href><d:propstat><d:prop>" + props +
           "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

void FakeCardDav::putCard(const std::string& href, const std::string& body) {
    cards[href] = body;
    versions_[href] = nextVersion_++;
    changes_.push_back({href, false});
}

void FakeCardDav::removeCard(const std::string& href) {
    cards.erase(href);
    versions_.erase(href);
    changes_.push_back({href, true});
}

std::string FakeCardDav::etagOf(const std::string& href) const {
    return "\"v" + std::to_string(versions_.at(href)) + "\"";
}

http::Response FakeCardDav::request(const std::string& method, const std::string& url,
                                    const http::Headers& headers, const std::string& body) {
    ++requests;
    asked.push_back(url);
    http::Response r;
    if (requests > answerUpTo) {
        r.error = "Connection refused";
        return r;
    }
    if (beforeAnswer) beforeAnswer(method);
    if (!busy.empty()) {
        r.status = busy.front().status;
        r.headers.emplace_back("Date", kDate);
        if (!busy.front().retryAfter.empty())
            r.headers.emplace_back("Retry-After", busy.front().retryAfter);
        busy.erase(busy.begin());
        return r;
    }
    const std::string href = url.substr(url.find('/', 8));
    if (redirects.count(href)) {
        r.status = 301;
        r.headers.emplace_back("Location", redirects[href]);
        return r;
    }
    r.status = 207;
    if (method == "PROPFIND" && http::headerValue(headers, "Depth") == "0") {
        r.body = multistatus(found(kPath,
                                   "<d:resourcetype><d:collection/><c:addressbook/>"
                                   "</d:resourcetype>"));
    } else if (method == "PROPFIND") {
        std::string inside;
        for (const auto& card : cards)
            inside += found(card.first, "<d:getetag>" + etagOf(card.first) + "</d:getetag>");
        r.body = multistatus(inside);
    } else if (method == "REPORT" && body.find("sync-collection") != std::string::npos) {
        std::smatch token;
        std::regex_search(body, token, std::regex("<d:sync-token>([0-9]+)</d:sync-token>"));
        if (!offersSyncCollection) {
            r.status = 403;
            return r;
        }
        size_t since = token.empty() ? 0 : std::stoul(token[1]);
        std::map<std::string, bool> touched, existed;  // href -> still there, there at `since`
        for (size_t i = 0; i < since && i < changes_.size(); ++i)
            existed[changes_[i].href] = !changes_[i].removed;
        for (size_t i = since; i < changes_.size(); ++i)
            if (cards.count(changes_[i].href) || !reportsOnlyDifference ||
                existed[changes_[i].href])
                touched[changes_[i].href] = cards.count(changes_[i].href) != 0;
        std::string inside;
        for (const auto& [h, there] : touched)
            inside += there ? found(h, "<d:getetag>" + etagOf(h) + "</d:getetag>")
                            : (since ? "<d:response><d:href>" + h +
                                           "</d:href><d:status>HTTP/1.1 404 Not "
                                           "Found</d:status></d:response>"
                                     : "");
        r.body = multistatus(inside, std::to_string(changes_.size()));
    } else if (method == "REPORT") {
        std::string inside;
        std::smatch match;
        for (auto at = body.cbegin();
             std::regex_search(at, body.cend(), match, std::regex("<d:href>([^<]*)</d:href>"));
             at = match.suffix().first) {
            if (failing.count(match[1]))
                inside += "<d:response><d:href>" + match[1].str() + "</d:href><d:status>HTTP/1.1 " +
                          std::to_string(failing[match[1]]) + " No</d:status></d:response>";
            if (!cards.count(match[1]) || failing.count(match[1])) continue;
            ++cardsRead;
            inside +=
                found(match[1], "<d:getetag>" + etagOf(match[1]) + "</d:getetag><c:address-data>" +
                                    xmlText(cards[match[1]]) + "</c:address-data>");
        }
        r.body = multistatus(inside);
    } else if (method == "PUT" || method == "DELETE") {
        const std::string ifMatch = http::headerValue(headers, "If-Match");
        bool exists = cards.count(href) != 0;
        if ((http::headerValue(headers, "If-None-Match") == "*" && exists) ||
            (!ifMatch.empty() && (!exists || etagOf(href) != ifMatch))) {
            r.status = 412;
            return r;
        }
        if (method == "DELETE") {
            removeCard(href);
            r.status = 204;
        } else {
            putCard(href, body);
            r.status = exists ? 204 : 201;
            r.headers.emplace_back("ETag", etagOf(href));
        }
    } else {
        r.status = 405;
    }
    return r;
}
