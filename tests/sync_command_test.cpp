#include "cli/sync_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "platform/conventions.h"
#include "tests/support/fake_carddav.h"
#include "tests/support/faulty_files.h"
#include "tests/support/temp_folder.h"

namespace {

const std::string kRoot = "http://127.0.0.1:5232/";
const std::string kBook = FakeCardDav::kBook;

std::string card(const std::string& name) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + name + "\r\nN:" + name + ";Al;;;\r\nFN:Al " +
           name + "\r\nEND:VCARD\r\n";
}

http::Response multistatus(const std::string& inside) {
    return {207, {}, FakeCardDav::multistatus(inside), ""};
}

std::string found(const std::string& href, const std::string& props) {
    return FakeCardDav::found(href, props);
}

std::string book(const std::string& href, const std::string& name) {
    return found(href, "<d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>" +
                           (name.empty() ? "" : "<d:displayname>" + name + "</d:displayname>"));
}

struct Answer {
    std::string method, path;
    http::Response response;
    int times = 1;
    std::string bodyMatches = "";  // a pattern; any body when empty
};

// Answers from a table first, each entry as often as it says, and the rest from a
// CardDAV server in memory; notes each request as "METHOD path", with the kind of
// a REPORT.
class TableClient : public http::Client {
  public:
    TableClient(std::vector<Answer>& table, std::vector<std::string>& asked, FakeCardDav& server)
        : table_(table), asked_(asked), server_(server) {}

    http::Response request(const std::string& method, const std::string& url,
                           const http::Headers& headers, const std::string& body) override {
        const std::string path = url.substr(url.find('/', 8));
        asked_.push_back(method + " " + path +
                         (body.find("sync-collection") != std::string::npos ? " sync"
                          : body.find("multiget") != std::string::npos      ? " multiget"
                                                                            : ""));
        for (Answer& answer : table_)
            if (answer.times > 0 && answer.method == method && answer.path == path &&
                std::regex_search(body, std::regex(answer.bodyMatches))) {
                --answer.times;
                return answer.response;
            }
        return server_.request(method, url, headers, body);
    }

  private:
    std::vector<Answer>& table_;
    std::vector<std::string>& asked_;
    FakeCardDav& server_;
};

class SyncCommandTest : public ::testing::Test {
  protected:
    TempFolder folder;
    FaultyFileSystem fs;
    FakeCardDav server;
    std::vector<Answer> table;
    std::vector<std::string> asked;  // by the last sync
    std::optional<std::string> environmentPassword;
    bool canAsk = true;
    std::vector<std::string> prompts;
    http::Settings opened;

    struct Result {
        int exitCode;
        std::string err;
    };

    Result sync(const std::string& url, const std::string& user = "") {
        SyncSystem system{fs, "netrc", environmentPassword,
                          [&](const http::Settings& settings, std::string&) {
                              opened = settings;
                              return std::make_unique<TableClient>(table, asked, server);
                          },
                          [&](const std::string& prompt, std::string& answer) {
                              prompts.push_back(prompt);
                              answer = "typed";
                              return canAsk;
                          }};
        SyncSettings settings;
        settings.url = url;
        settings.user = user;
        asked.clear();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int exitCode = syncAddressBook(CardOptions(), settings, system);
        testing::internal::GetCapturedStdout();
        return {exitCode, testing::internal::GetCapturedStderr()};
    }

    // The account at kRoot: its principal, its home, and in it the address books.
    void account(const std::string& books) {
        table = {
            {"PROPFIND", "/",
             multistatus(found("/",
                               "<d:current-user-principal><d:href>/p/al/</d:href>"
                               "</d:current-user-principal>")),
             9},
            {"PROPFIND", "/p/al/",
             multistatus(found("/p/al/",
                               "<c:addressbook-home-set><d:href>/home/</d:href>"
                               "</c:addressbook-home-set>")),
             9},
            {"PROPFIND", "/home/", multistatus(found("/home/", "") + books), 9},
        };
    }

    // The first requests of the last sync.
    std::vector<std::string> firstAsked(size_t count) const {
        return {asked.begin(), asked.begin() + std::min(count, asked.size())};
    }

    // No card file and no sync state: a first sync.
    void startAfresh() {
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            std::filesystem::remove_all(entry.path());
    }

    size_t cardsHere() {
        const std::string bytes = readBytes("test.txt");
        return static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\xFD'));
    }
};

TEST_F(SyncCommandTest, FindsThePasswordAndSaysWhatA401Means) {
    const http::Response refused{401, {}, "", ""};
    struct Case {
        std::string user, netrc;
        std::optional<std::string> environment;
        bool canAsk, refuses;
        int exitCode;
        std::string err, prompt, userSent, passwordSent;
    } cases[] = {
        {"", "", std::nullopt, true, true, 2,
         "qbcard: " + kBook + ": the server asks for a user name: give it with --user, or a " +
             "login for this server in " + conventions::kNetrc + "\n",
         "", "", ""},
        {"al", "", std::nullopt, true, true, 2,
         "qbcard: " + kBook + ": " + kBook + " refused the user name or password\n",
         "Password for al at 127.0.0.1: ", "al", "typed"},
        {"al", "", std::nullopt, false, false, 2,
         "qbcard: " + kBook + ": no password for al: put it in " + conventions::kNetrc +
             " or QBCARD_PASSWORD, or run qbcard on a terminal\n",
         "Password for al at 127.0.0.1: ", "", ""},
        {"al", "", "secret", true, false, 0, "", "", "al", "secret"},
        {"", "machine 127.0.0.1 login bo password pw\n", std::nullopt, true, false, 0, "", "", "bo",
         "pw"},
    };
    for (const Case& c : cases) {
        writeBytes("netrc", c.netrc);
        environmentPassword = c.environment;
        canAsk = c.canAsk;
        prompts.clear();
        opened = http::Settings();
        table = {{"PROPFIND", "/book/", refused, c.refuses ? 1 : 0}};
        const Result result = sync(kBook, c.user);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.err;
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(prompts, c.prompt.empty() ? std::vector<std::string>()
                                            : std::vector<std::string>{c.prompt})
            << c.err;
        EXPECT_EQ(opened.user, c.userSent) << c.err;
        EXPECT_EQ(opened.password, c.passwordSent) << c.err;
    }
}

// Whatever stops a sync, the user reads why in one line and qbcard ends with 2.
TEST_F(SyncCommandTest, SaysWhyASyncStopped) {
    ASSERT_EQ(sync(kBook).exitCode, 0);
    struct Case {
        http::Response answer;
        std::string err;
    } cases[] = {
        {{0, {}, "", "has expired", true},
         "qbcard: " + kBook +
             ": the server's certificate changed during the sync and has expired; stopped "
             "before the password was sent\n"},
        {{0, {}, "", "Connection reset by peer"},
         "qbcard: no answer from " + kBook + ": Connection reset by peer\n"},
    };
    for (const Case& c : cases) {
        table = {{"REPORT", "/book/", c.answer}};
        const Result result = sync(kBook);
        EXPECT_EQ(result.exitCode, 2) << c.err;
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(SyncCommandTest, FindsTheAddressBookThroughThePrincipalAndTheHome) {
    server.putCard("/book/a.vcf", card("Abe"));
    struct Case {
        std::string books;
        int exitCode;
        std::string err;
        size_t cardsHere;
    } cases[] = {
        {book("/book/", "Main"), 0, "", 1},
        {book("/book/", "Main") + book("/work/", ""), 2,
         "qbcard: " + kRoot + ": this account has several address books; sync one by its URL:\n" +
             "  " + kBook + "  (Main)\n  " + kRoot + "work/\n",
         0},
        {"", 2, "qbcard: " + kRoot + ": the account at " + kRoot + " has no address book\n", 0},
    };
    for (const Case& c : cases) {
        startAfresh();
        account(c.books);
        const Result result = sync(kRoot);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.books;
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(c.exitCode ? 0 : cardsHere(), c.cardsHere);
        EXPECT_EQ(firstAsked(3),
                  (std::vector<std::string>{"PROPFIND /", "PROPFIND /p/al/", "PROPFIND /home/"}));
    }
}

TEST_F(SyncCommandTest, FindsTheAddressBookAgainWhenItAnswers404) {
    server.putCard("/book/a.vcf", card("Abe"));
    account(book("/book/", ""));
    ASSERT_EQ(sync(kRoot).exitCode, 0);
    server.putCard("/book/b.vcf", card("Bey"));
    // Gone from where it was: every way of listing it answers 404.
    table.push_back({"REPORT", "/book/", {404, {}, "", ""}, 2});
    table.push_back({"PROPFIND", "/book/", {404, {}, "", ""}});
    const Result result = sync(kRoot);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(firstAsked(7),
              (std::vector<std::string>{"REPORT /book/ sync", "REPORT /book/ sync",
                                        "PROPFIND /book/", "PROPFIND /", "PROPFIND /p/al/",
                                        "PROPFIND /home/", "REPORT /book/ sync"}));
    EXPECT_EQ(cardsHere(), 2u);
}

// A token the server no longer knows: every card and its ETag by sync-collection.
TEST_F(SyncCommandTest, AnExpiredTokenListsTheWholeBookOnceMore) {
    server.putCard("/book/a.vcf", card("Abe"));
    ASSERT_EQ(sync(kBook).exitCode, 0);
    server.putCard("/book/b.vcf", card("Bey"));
    table.push_back({"REPORT",
                     "/book/",
                     {403, {}, "<d:error xmlns:d=\"DAV:\"><d:valid-sync-token/></d:error>", ""},
                     1,
                     "<d:sync-token>[^<]+</d:sync-token>"});
    EXPECT_EQ(sync(kBook).exitCode, 0);
    EXPECT_EQ(firstAsked(3), (std::vector<std::string>{"REPORT /book/ sync", "REPORT /book/ sync",
                                                       "REPORT /book/ multiget"}));
    EXPECT_EQ(cardsHere(), 2u);
    EXPECT_EQ(sync(kBook).exitCode, 0);
    EXPECT_EQ(asked, (std::vector<std::string>{"REPORT /book/ sync"}));
}

TEST_F(SyncCommandTest, FetchesManyCardsInBatches) {
    for (int i = 0; i < 150; ++i)
        server.putCard("/book/" + std::to_string(i) + ".vcf", card("N" + std::to_string(i)));
    EXPECT_EQ(sync(kBook).exitCode, 0);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "REPORT /book/ multiget"), 2);
    EXPECT_EQ(cardsHere(), 150u);
}

TEST_F(SyncCommandTest, ASyncStoppedPartWayIsFinishedByTheNext) {
    struct Case {
        const char* stop;
        std::function<void()> breaks, mends;
    } cases[] = {
        {"the server stops answering", [&] { server.answerUpTo = server.requests + 4; },
         [&] { server.answerUpTo = static_cast<size_t>(-1); }},
        {"the card file cannot be written", [&] { fs.failWrites = true; },
         [&] { fs.failWrites = false; }},
    };
    for (const Case& c : cases) {
        startAfresh();
        writeBytes("test.txt",
                   "Cy\xFE\xFE"
                   "Dee\xFE\xFE\xFD");
        server = FakeCardDav();
        for (const char* name : {"Abe", "Bey"})
            server.putCard("/book/" + std::string(name) + ".vcf", card(name));
        c.breaks();
        const Result stopped = sync(kBook);
        EXPECT_EQ(stopped.exitCode, 2) << c.stop;
        EXPECT_NE(stopped.err, "") << c.stop;
        c.mends();
        const Result finished = sync(kBook);
        EXPECT_EQ(finished.exitCode, 0) << c.stop << finished.err;
        EXPECT_EQ(cardsHere(), 3u) << c.stop;
        EXPECT_EQ(server.cards.size(), 3u) << c.stop;
        EXPECT_EQ(sync(kBook).exitCode, 0) << c.stop;
        EXPECT_EQ(asked, (std::vector<std::string>{"REPORT /book/ sync"})) << c.stop;
    }
}

}  // namespace
