#include "cli/sync_command.h"

#include <cstdlib>

#include "platform/console.h"
#include "platform/conventions.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/user.h"
#include "sync/carddav.h"
#include "sync/credentials.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"

namespace {

// Each request and the status of its answer, for --verbose.
class TellingClient : public http::Client {
  public:
    explicit TellingClient(http::Client& inner) : inner_(inner) {}
    http::Response request(const std::string& method, const std::string& url,
                           const http::Headers& headers, const std::string& body) override {
        http::Response response = inner_.request(method, url, headers, body);
        console::error(method + " " + url + " -> " +
                       (response.status ? std::to_string(response.status) : response.error) + "\n");
        return response;
    }

  private:
    http::Client& inner_;
};

// The password comes from the user's netrc file, QBCARD_PASSWORD or the terminal, in that order;
// never from the command line, where other users of the machine could read it.
bool findCredentials(const SyncSettings& settings, http::Settings& http, std::string& why) {
    http.user = settings.user;
    std::string netrc;
    const std::string path = user::netrcPath();
    if (!path.empty() &&
        files::readWholeFile(files::realFileSystem(), path, netrc) == files::ReadResult::ok &&
        cardsync::fromNetrc(netrc, cardsync::hostOf(settings.url), http.user, http.password))
        return cardsync::mayAuthenticate(settings.url, why);
    if (const char* password = std::getenv("QBCARD_PASSWORD")) {
        http.password = password;
    } else if (!http.user.empty() && !user::askHidden("Password for " + http.user + " at " +
                                                          cardsync::hostOf(settings.url) + ": ",
                                                      http.password)) {
        why = "no password for " + http.user + ": put it in " + conventions::kNetrc +
              " or QBCARD_PASSWORD, or run qbcard on a terminal";
        return false;
    }
    return http.user.empty() || cardsync::mayAuthenticate(settings.url, why);
}

// A 401 to a request that named no user: the server asks for one, it refused none.
std::string askedForAUser() {
    return std::string(
               "the server asks for a user name: give it with --user, or a login for "
               "this server in ") +
           conventions::kNetrc;
}

// Finds the address book the URL leads to; false, with the exit code set and the
// reason told, when there is none or there are several to choose from.
bool findAddressBook(carddav::Session& session, const SyncSettings& settings,
                     const http::Settings& httpSettings, int& exitCode) {
    std::vector<carddav::AddressBook> books;
    std::string why;
    if (!session.discover(books, why)) {
        if (session.lastStatus() == 401 && httpSettings.user.empty()) why = askedForAUser();
        exitCode = fail(settings.url, why);
        return false;
    }
    if (books.size() > 1) {
        std::string list;
        for (const carddav::AddressBook& book : books)
            list += "  " + book.url + (book.name.empty() ? "" : "  (" + book.name + ")") + "\n";
        console::error(prefixed(settings.url) +
                       ": this account has several address books; sync one by its URL:\n" + list);
        exitCode = kNothingDone;
        return false;
    }
    session.useCollection(books[0].url);
    return true;
}

}  // namespace

int syncAddressBook(const CardOptions& options, const SyncSettings& settings) {
    if (cardsync::hasUserInfo(settings.url)) {
        // Not repeated in the message: it may hold the password.
        complain(std::string("the URL names a user before its host; give the user with --user "
                             "and the password in ") +
                 conventions::kNetrc + " or QBCARD_PASSWORD, never in the URL");
        return kNothingDone;
    }
    http::Settings httpSettings;
    httpSettings.caFile = settings.caFile;
    std::string why;
    if (!findCredentials(settings, httpSettings, why)) return fail(settings.url, why);
    std::unique_ptr<http::Client> client = http::openClient(httpSettings, why);
    if (!client) return fail(settings.url, why);
    TellingClient telling(*client);
    carddav::Session session(settings.verbose ? telling : *client, settings.url);

    // An address book found before is used again without asking the server: a
    // sync with nothing to do then costs the fewest requests.
    const std::string known =
        cardsync::collectionSyncedFrom(files::realFileSystem(), options.file, settings.url);
    int exitCode = kDone;
    if (!known.empty())
        session.useCollection(known);
    else if (!findAddressBook(session, settings, httpSettings, exitCode))
        return exitCode;

    cardsync::Options syncOptions;
    syncOptions.cardFile = options.file;
    syncOptions.codePage = options.codePage;
    syncOptions.dryRun = settings.dryRun;
    syncOptions.force = settings.force;
    syncOptions.prefer = settings.preferLocal ? cardsync::Prefer::local : cardsync::Prefer::remote;
    cardsync::Totals totals;
    std::string failure;
    auto run = [&] {
        syncOptions.from = session.collection() == settings.url ? "" : settings.url;
        totals = cardsync::Totals();
        failure.clear();
        return cardsync::runSync(
            files::realFileSystem(), syncOptions, session,
            [](const std::string& line) { console::out(line + "\n"); }, totals, failure);
    };
    cardsync::Outcome outcome = run();
    if (outcome == cardsync::Outcome::stopped && !known.empty() && session.lastStatus() == 404) {
        // The address book has moved since it was found: find it again.
        if (!findAddressBook(session, settings, httpSettings, exitCode)) return exitCode;
        outcome = run();
    }
    if (outcome == cardsync::Outcome::stopped) {
        if (session.lastStatus() == 401 && httpSettings.user.empty())
            failure = settings.url + ": " + askedForAUser();
        complain(failure);
        return kNothingDone;
    }
    console::out(cardsync::summaryOf(totals, options.file + ".conflicts") +
                 (settings.dryRun ? " (a dry run: nothing was changed)" : "") + "\n");
    return outcome == cardsync::Outcome::done ? kDone : kDoneWithFindings;
}
