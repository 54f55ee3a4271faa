#include "cli/sync_command.h"

#include <cstdlib>

#include "platform/console.h"
#include "platform/conventions.h"
#include "platform/user.h"
#include "sync/carddav.h"
#include "sync/credentials.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"

namespace {

// Each request and what became of it, for --verbose.
class TellingClient : public http::Client {
  public:
    explicit TellingClient(http::Client& inner) : inner_(inner) {}
    http::Response request(const std::string& method, const std::string& url,
                           const http::Headers& headers, const std::string& body) override {
        http::Response response = inner_.request(method, url, headers, body);
        console::error(method + " " + url + " -> " + response.summary() + "\n");
        return response;
    }

  private:
    http::Client& inner_;
};

// The password comes from the user's netrc file, QBCARD_PASSWORD or the terminal, in that order;
// never from the command line, where other users of the machine could read it.
bool findCredentials(const SyncSettings& settings, const SyncSystem& system, http::Settings& http,
                     std::string& why) {
    http.user = settings.user;
    std::string netrc;
    if (!system.netrcPath.empty() &&
        files::readWholeFile(system.fileSystem, system.netrcPath, netrc) == files::ReadResult::ok &&
        cardsync::fromNetrc(netrc, cardsync::hostOf(settings.url), http.user, http.password))
        return cardsync::mayAuthenticate(settings.url, why);
    if (system.passwordFromEnvironment) {
        http.password = *system.passwordFromEnvironment;
    } else if (!http.user.empty() && !system.askPassword("Password for " + http.user + " at " +
                                                             cardsync::hostOf(settings.url) + ": ",
                                                         http.password)) {
        why = "no password for " + http.user + ": put it in " + conventions::kNetrc +
              " or QBCARD_PASSWORD, or run qbcard on a terminal";
        return false;
    }
    return http.user.empty() || cardsync::mayAuthenticate(settings.url, why);
}

void complainOfChangedCertificate(const std::string& url, const std::string& why) {
    complain(url + ": the server's certificate changed during the sync and " + why +
             "; stopped before the password was sent");
}

// A 401 to a request that named no user: the server asks for one, it refused none.
std::string askedForAUser() {
    return std::string(
               "the server asks for a user name: give it with --user, or a login for "
               "this server in ") +
           conventions::kNetrc;
}

// One sync of the card file with the address book the session reaches.
class AddressBookSync {
  public:
    AddressBookSync(const CardOptions& options, const SyncSettings& settings,
                    const SyncSystem& system, carddav::Session& session, bool userGiven)
        : options_(options),
          settings_(settings),
          system_(system),
          session_(session),
          userGiven_(userGiven) {}

    int run() {
        // An address book found before is used again without asking the server: a
        // sync with nothing to do then costs the fewest requests.
        const std::string known =
            cardsync::collectionSyncedFrom(system_.fileSystem, options_.file, settings_.url);
        int exitCode = kDone;
        if (!known.empty())
            session_.useCollection(known);
        else if (!findAddressBook(exitCode))
            return exitCode;
        cardsync::Outcome outcome = syncOnce();
        if (outcome == cardsync::Outcome::stopped && !known.empty() &&
            session_.lastFailure().kind == carddav::FailureKind::notFound) {
            // The address book has moved since it was found: find it again.
            if (!findAddressBook(exitCode)) return exitCode;
            outcome = syncOnce();
        }
        if (outcome == cardsync::Outcome::stopped) return stop(failure_);
        console::out(cardsync::summaryOf(totals_, cardsync::conflictsFolderOf(options_.file)) +
                     (settings_.dryRun ? " (a dry run: nothing was changed)" : "") + "\n");
        return outcome == cardsync::Outcome::done ? kDone : kDoneWithFindings;
    }

  private:
    // Finds the address book the URL leads to; false, with the exit code set and
    // the reason told, when there is none or there are several to choose from.
    bool findAddressBook(int& exitCode) {
        std::vector<carddav::AddressBook> books;
        std::string why;
        if (!session_.discover(books, why)) {
            exitCode = stop(settings_.url + ": " + why);
            return false;
        }
        if (books.size() > 1) {
            std::string list;
            for (const carddav::AddressBook& book : books)
                list += "  " + book.url + (book.name.empty() ? "" : "  (" + book.name + ")") + "\n";
            console::error(prefixed(settings_.url) +
                           ": this account has several address books; sync one by its URL:\n" +
                           list);
            exitCode = kNothingDone;
            return false;
        }
        session_.useCollection(books[0].url);
        return true;
    }

    cardsync::Outcome syncOnce() {
        cardsync::Options syncOptions;
        syncOptions.cardFile = options_.file;
        syncOptions.codePage = options_.codePage;
        syncOptions.dryRun = settings_.dryRun;
        syncOptions.force = settings_.force;
        syncOptions.prefer =
            settings_.preferLocal ? cardsync::Prefer::local : cardsync::Prefer::remote;
        syncOptions.from = session_.collection() == settings_.url ? "" : settings_.url;
        totals_ = cardsync::Totals();
        failure_.clear();
        return cardsync::runSync(
            system_.fileSystem, syncOptions, session_,
            [](const std::string& line) { console::out(line + "\n"); }, totals_, failure_);
    }

    // Says why the sync stopped, in one line, and gives the exit code: `told` as
    // the sync put it, unless the kind of failure has more to say to the user.
    int stop(const std::string& told) const {
        const carddav::Failure& failure = session_.lastFailure();
        if (failure.kind == carddav::FailureKind::credentialsRefused && !userGiven_)
            complain(settings_.url + ": " + askedForAUser());
        else if (failure.kind == carddav::FailureKind::certificateChanged)
            complainOfChangedCertificate(failure.url, failure.reason);
        else
            complain(told);
        return kNothingDone;
    }

    const CardOptions& options_;
    const SyncSettings& settings_;
    const SyncSystem& system_;
    carddav::Session& session_;
    const bool userGiven_;
    cardsync::Totals totals_;
    std::string failure_;
};

}  // namespace

SyncSystem SyncSystem::machine() {
    const char* password = std::getenv("QBCARD_PASSWORD");
    return SyncSystem{files::realFileSystem(), user::netrcPath(),
                      password ? std::optional<std::string>(password) : std::nullopt,
                      http::openClient, user::askHidden};
}

int syncAddressBook(const CardOptions& options, const SyncSettings& settings) {
    return syncAddressBook(options, settings, SyncSystem::machine());
}

int syncAddressBook(const CardOptions& options, const SyncSettings& settings,
                    const SyncSystem& system) {
    if (cardsync::hasUserInfo(settings.url)) {
        // Not repeated in the message: it may hold the password.
        complain(std::string("the URL names a user before its host; give the user with --user "
                             "and the password in ") +
                 conventions::kNetrc + " or QBCARD_PASSWORD, never in the URL");
        return kNothingDone;
    }
    http::Settings httpSettings;
    httpSettings.caFile = settings.caFile;
    httpSettings.stopAtOnce = [](const std::string& url, const std::string& why) {
        complainOfChangedCertificate(url, why);
        std::exit(kNothingDone);
    };
    std::string why;
    if (!findCredentials(settings, system, httpSettings, why)) return fail(settings.url, why);
    std::unique_ptr<http::Client> client = system.openClient(httpSettings, why);
    if (!client) return fail(settings.url, why);
    TellingClient telling(*client);
    carddav::Session session(settings.verbose ? telling : *client, settings.url);
    session.setWaiter(
        [&system](unsigned seconds) { system.fileSystem.pause(static_cast<int>(seconds) * 1000); });
    return AddressBookSync(options, settings, system, session, !httpSettings.user.empty()).run();
}
