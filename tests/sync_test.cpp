#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "data/card_file.h"
#include "tests/support/temp_folder.h"

#include "platform/conventions.h"
#include "sync/card_patch.h"
#include "sync/credentials.h"
#include "sync/plan.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"
#include "tests/support/fake_carddav.h"
#include "tests/support/memory_files.h"

namespace {

using cardsync::Loser;
using cardsync::Step;

TEST(SyncPlanTest, DecidesEachContactThreeWays) {
    const std::optional<uint64_t> no;
    struct Case {
        std::optional<uint64_t> local, agreed, remote;
        cardsync::Prefer prefer;
        Step step;
        bool conflict;
        Loser loser;
    } cases[] = {
        {1, 1, 1, cardsync::Prefer::remote, Step::none, false, Loser::none},
        {no, no, no, cardsync::Prefer::remote, Step::none, false, Loser::none},
        {2, 1, 2, cardsync::Prefer::remote, Step::record, false, Loser::none},
        {1, no, 1, cardsync::Prefer::remote, Step::record, false, Loser::none},
        {no, 1, no, cardsync::Prefer::remote, Step::forget, false, Loser::none},
        {2, 1, 1, cardsync::Prefer::remote, Step::sendChange, false, Loser::none},
        {1, no, no, cardsync::Prefer::remote, Step::sendNew, false, Loser::none},
        {no, 1, 1, cardsync::Prefer::remote, Step::deleteThere, false, Loser::none},
        {1, 1, 2, cardsync::Prefer::local, Step::receive, false, Loser::none},
        {no, no, 1, cardsync::Prefer::remote, Step::receive, false, Loser::none},
        {1, 1, no, cardsync::Prefer::local, Step::deleteHere, false, Loser::none},
        {2, 1, 3, cardsync::Prefer::remote, Step::receive, true, Loser::local},
        {2, 1, 3, cardsync::Prefer::local, Step::sendChange, true, Loser::remote},
        {2, no, 3, cardsync::Prefer::remote, Step::receive, true, Loser::local},
        {no, 1, 3, cardsync::Prefer::remote, Step::receive, true, Loser::none},
        {no, 1, 3, cardsync::Prefer::local, Step::deleteThere, true, Loser::remote},
        {2, 1, no, cardsync::Prefer::remote, Step::deleteHere, true, Loser::local},
        {2, 1, no, cardsync::Prefer::local, Step::sendNew, true, Loser::none},
    };
    for (const Case& c : cases) {
        cardsync::Decision d = cardsync::decide(c.local, c.agreed, c.remote, c.prefer);
        EXPECT_EQ(d.step, c.step) << c.local.value_or(0) << c.agreed.value_or(0)
                                  << c.remote.value_or(0);
        EXPECT_EQ(d.conflict, c.conflict);
        EXPECT_EQ(d.loser, c.loser);
    }
}

TEST(SyncPlanTest, GuardsRefuseEmptySidesAndMassDeletes) {
    auto book = [](int count) {
        cardsync::Digests d;
        for (int i = 0; i < count; ++i) d[{"L" + std::to_string(i), "", ""}] = 7;
        return d;
    };
    cardsync::Digests two = book(2);
    two.erase(two.begin());
    struct Case {
        cardsync::Digests local, agreed, remote;
        bool force;
        const char* refusal;  // a word of the refusal, or "" for none
    } cases[] = {
        {{}, book(4), book(4), false, "card file holds no contacts"},
        {book(4), book(4), {}, false, "address book holds no contacts"},
        {{}, book(4), book(4), true, ""},
        {book(4), book(4), book(1), false, "delete 3 of the 4 contacts in the card file"},
        {book(4), book(4), book(2), false, ""},  // half is not more than half
        {book(1), book(4), book(4), false, "delete 3 of the 4 contacts in the address book"},
        {{}, {}, book(3), false, ""},  // a first sync into an empty card file
    };
    for (const Case& c : cases) {
        cardsync::Plan plan =
            cardsync::makePlan(c.local, c.agreed, c.remote, cardsync::Prefer::remote, c.force);
        if (*c.refusal)
            EXPECT_NE(plan.refusal.find(c.refusal), std::string::npos) << plan.refusal;
        else
            EXPECT_EQ(plan.refusal, "");
    }
}

Contact named(const std::string& first, const std::string& last, const std::string& address = "",
              const std::string& sex = "") {
    Contact c;
    c.firstName = first;
    c.lastName = last;
    c.address = address;
    c.sex = sex;
    return c;
}

TEST(CardPatchTest, ChangesOnlyTheOwnedLinesInPlace) {
    const std::string kept =
        "item1.TEL;TYPE=CELL:+1 555\r\nPHOTO;ENCODING=b;TYPE=JPEG:AAAA\r\n "
        "BBBB\r\nX-ODD;a=\"b:c\":z\r\nLABEL;TYPE=WORK:1 Work St\r\n";
    const std::string card =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;Dr.;Jr.\r\nFN:Dr. Ann Lee\r\n" + kept +
        "ADR;TYPE=WORK:;;1 Work St;;;;\r\nitem2.ADR;TYPE=HOME:;;2 Home "
        "St;;;;\r\nitem2.LABEL:2 Home St\r\nX-GENDER:Female\r\nEND:VCARD\r\n";
    struct Case {
        Contact contact;
        std::string expected;
    } cases[] = {
        {named("Ann", "Lee", "2 Home St", "Female"), card},
        {named("Ann", "Lee-Smith", "2 Home St", "Female"),
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee-Smith;Ann;;Dr.;Jr.\r\nFN:Ann Lee-Smith\r\n" + kept +
             "ADR;TYPE=WORK:;;1 Work St;;;;\r\nitem2.ADR;TYPE=HOME:;;2 Home "
             "St;;;;\r\nitem2.LABEL:2 Home St\r\nX-GENDER:Female\r\nEND:VCARD\r\n"},
        {named("Ann", "Lee", "3 New Rd\nTown", "Male"),
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;Dr.;Jr.\r\nFN:Dr. Ann Lee\r\n" + kept +
             "ADR;TYPE=WORK:;;1 Work St;;;;\r\nitem2.ADR;TYPE=HOME:;;3 New "
             "Rd\\nTown;;;;\r\nitem2.LABEL:3 New Rd\\nTown\r\nX-GENDER:Male\r\nEND:VCARD\r\n"},
        {named("Ann", "Lee", "", ""),
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;Dr.;Jr.\r\nFN:Dr. Ann Lee\r\n" + kept +
             "ADR;TYPE=WORK:;;1 Work St;;;;\r\nEND:VCARD\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cardsync::patchServerCard(card, c.contact), c.expected);
        Contact read;
        std::string why;
        ASSERT_TRUE(cardsync::readServerCard(c.expected, read, why)) << why;
        EXPECT_EQ(read.lastName, c.contact.lastName);
        EXPECT_EQ(read.address, c.contact.address.empty() ? "1 Work St" : c.contact.address);
    }
    // vCard 2.1: a quoted-printable address that goes on after "=" is one line.
    const std::string old =
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lee;Ann\r\n"
        "ADR;ENCODING=QUOTED-PRINTABLE:;;1 Road=0D=0A=\r\nTown;;;;\r\n"
        "TEL:1\r\nEND:VCARD\r\n";
    Contact read;
    std::string why;
    ASSERT_TRUE(cardsync::readServerCard(old, read, why)) << why;
    EXPECT_EQ(read.address, "1 Road\r\nTown");
    EXPECT_EQ(cardsync::patchServerCard(old, named("Ann", "Lee", "New", "")),
              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lee;Ann\r\nADR:;;New;;;;\r\nTEL:1\r\nEND:VCARD\r\n");
    // A preferred address wins over a home one; a 4.0 card gets GENDER, added before END.
    const std::string four =
        "BEGIN:VCARD\nVERSION:4.0\nFN:Bo Zed\nN:Zed;Bo;;;\nADR;TYPE=home:;;Home;;;;\n"
        "ADR;PREF=1;LABEL=\"Pref^nTown\":;;Pref;;;;\nEND:VCARD\n";
    EXPECT_EQ(cardsync::patchServerCard(four, named("Bo", "Zed", "New", "Male")),
              "BEGIN:VCARD\nVERSION:4.0\nFN:Bo Zed\nN:Zed;Bo;;;\nADR;TYPE=home:;;Home;;;;\n"
              "ADR;PREF=1:;;New;;;;\r\nGENDER:M\r\nEND:VCARD\n");
}

TEST(SyncStateTest, RoundTripsAndReadsDamageAsAFirstSync) {
    MemoryFileSystem fs;
    cardsync::State state;
    state.collection = "https://h/book/";
    state.syncToken = "tok\t1";
    state.from = "https://h/";
    state.contacts[{"Lee\r\nX", "Ann\\", ""}] = {"/book/a.vcf", "\"e1\"", 0xFEDCBA9876543210ull};
    const std::string path = cardsync::stateFileName("test.txt", state.collection);
    EXPECT_NE(path, cardsync::stateFileName("test.txt", "https://h/other/"));
    ASSERT_TRUE(cardsync::saveState(fs, path, state));
    cardsync::State read = cardsync::loadState(fs, path, state.collection);
    EXPECT_EQ(read.syncToken, state.syncToken);
    ASSERT_EQ(read.contacts.size(), 1u);
    EXPECT_EQ(read.contacts.begin()->first, state.contacts.begin()->first);
    EXPECT_EQ(read.contacts.begin()->second.digest, 0xFEDCBA9876543210ull);
    EXPECT_EQ(fs.files.size(), 1u);  // no temporary file left behind
    EXPECT_EQ(cardsync::collectionSyncedFrom(fs, "test.txt", "https://h/"), state.collection);
    EXPECT_EQ(cardsync::collectionSyncedFrom(fs, "test.txt", state.collection), state.collection);
    EXPECT_EQ(cardsync::collectionSyncedFrom(fs, "test.txt", "https://h/x/"), "");
    const std::string whole = fs.files[path];
    for (const std::string& damaged :
         {whole.substr(0, whole.size() - 3), std::string("x"), whole + "a\tb\n"}) {
        fs.files[path] = damaged;
        EXPECT_TRUE(cardsync::loadState(fs, path, state.collection).contacts.empty());
    }
    fs.files[path] = whole;
    EXPECT_TRUE(cardsync::loadState(fs, path, "https://h/other/").contacts.empty());
}

// A state written before hrefs had one spelling kept them as the server wrote them.
TEST(SyncStateTest, ReadsHrefsInTheSessionsSpelling) {
    MemoryFileSystem fs;
    cardsync::State state;
    state.collection = "https://h/book/";
    state.contacts[{"Lee", "Ann", ""}] = {"https://H/book/a%40b.vcf", "\"e1\"", 1};
    state.untouched["https://h:443/book/c%2b.vcf"] = "\"e2\"";
    state.createdSinceToken.insert("/book/%64.vcf");
    ASSERT_TRUE(cardsync::saveState(fs, "s", state));
    cardsync::State read = cardsync::loadState(fs, "s", state.collection);
    ASSERT_EQ(read.contacts.size(), 1u);
    EXPECT_EQ(read.contacts.begin()->second.href, "/book/a@b.vcf");
    EXPECT_EQ(read.untouched.count("/book/c+.vcf"), 1u);
    EXPECT_EQ(read.createdSinceToken.count("/book/d.vcf"), 1u);
}

TEST(SyncCredentialsTest, SendsPasswordsOnlyWhereSafeAndReadsNetrc) {
    struct Case {
        const char* url;
        bool allowed;
    } cases[] = {{"https://dav.example.org/", true}, {"http://127.0.0.1:5232/", true},
                 {"http://localhost/", true},        {"http://[::1]:80/a", true},
                 {"http://dav.example.org/", false}, {"http://127.0.0.1.evil.org/", false}};
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(cardsync::mayAuthenticate(c.url, why), c.allowed) << c.url;
    }
    EXPECT_TRUE(cardsync::hasUserInfo("https://ann:secret@h/book/"));
    EXPECT_FALSE(cardsync::hasUserInfo("https://h/a@b/"));
    const std::string netrc =
        "machine other login x password y\nmachine dav.example.org login ann password s1\n"
        "default login bo password s2\n";
    std::string user, password;
    ASSERT_TRUE(cardsync::fromNetrc(netrc, "dav.example.org", user, password));
    EXPECT_EQ(user + ":" + password, "ann:s1");
    user = "bo";
    ASSERT_TRUE(cardsync::fromNetrc(netrc, "dav.example.org", user, password));
    EXPECT_EQ(password, "s2");
}

// ---- whole syncs against the stand-in server ----------------------------------------

const std::string kConflicts = std::string("test.txt.conflicts") + conventions::kPathSeparator;

const std::string kPhoneCard =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:x1\r\nN:Zed;Bo;;;\r\nFN:Bo Zed\r\nTEL:+1 555\r\n"
    "item1.EMAIL;TYPE=INTERNET:bo@zed\r\nEND:VCARD\r\n";

struct SyncRun {
    cardsync::Outcome outcome;
    std::string lines, failure;
};

SyncRun syncOnce(files::FileSystem& fs, FakeCardDav& server, cardsync::Options options = {},
                 carddav::Session::Waiter wait = nullptr) {
    carddav::Session session(server, FakeCardDav::kBook);
    if (wait) session.setWaiter(wait);
    std::vector<carddav::AddressBook> books;
    SyncRun run{cardsync::Outcome::stopped, "", ""};
    if (!session.discover(books, run.failure)) return run;
    session.useCollection(books.at(0).url);
    cardsync::Totals totals;
    run.outcome = cardsync::runSync(
        fs, options, session, [&](const std::string& line) { run.lines += line + "\n"; }, totals,
        run.failure);
    run.lines += cardsync::summaryOf(totals, "test.txt.conflicts") + "\n";
    return run;
}

class SyncRunTest : public ::testing::Test {
  protected:
    MemoryFileSystem fs;
    FakeCardDav server;
    void SetUp() override {
        fs.files["test.txt"] =
            "Ann\xfeM\xfeLee\xfe"
            "1 Road\r\r\nTown\xfe"
            "Female\xfd";
        server.putCard("/book/bo.vcf", kPhoneCard);
    }

    // The first sync of the book above: Ann goes there, Bo comes here, in full.
    void expectFirstSync(const SyncRun& first) {
        EXPECT_EQ(first.outcome, cardsync::Outcome::done) << first.failure;
        EXPECT_EQ(first.lines,
                  "added here: Bo Zed\nadded there: Ann M Lee\n"
                  "1 sent, 1 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
        EXPECT_EQ(fs.files["test.txt"],
                  "Ann\xfeM\xfeLee\xfe"
                  "1 Road\r\r\nTown\xfe"
                  "Female\xfd"
                  "Bo\xfe\xfeZed\xfe\xfe\xfd");
    }
};

TEST_F(SyncRunTest, FirstSyncThenNothingToDoInTwoRequestsWithoutBodies) {
    expectFirstSync(syncOnce(fs, server));
    EXPECT_EQ(server.cards.size(), 2u);
    const size_t before = server.requests, read = server.cardsRead;
    SyncRun again = syncOnce(fs, server);
    EXPECT_EQ(again.lines, "0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
    EXPECT_EQ(server.requests - before, 2u);
    EXPECT_EQ(server.cardsRead, read);
    // One change here costs the same few requests in a book of any size.
    fs.files["test.txt"] =
        "Ann\xfeM\xfeLee\xfe"
        "2 Lane\xfe"
        "Female\xfd"
        "Bo\xfe\xfeZed\xfe\xfe\xfd";
    const size_t beforeChange = server.requests;
    EXPECT_EQ(syncOnce(fs, server).lines,
              "updated there: Ann M Lee\n1 sent, 0 received, 0 deleted here, 0 deleted there, 0 "
              "conflicts\n");
    EXPECT_EQ(server.requests - beforeChange, 4u);  // collection, changes, the card, its write
    syncOnce(fs, server);
    const size_t readBefore = server.cardsRead;
    // Without sync-collection, the ETags are listed instead; still no card is read.
    server.offersSyncCollection = false;
    const std::string cardFileBefore = fs.files["test.txt"];
    const SyncRun listed = syncOnce(fs, server);
    EXPECT_EQ(listed.outcome, cardsync::Outcome::done) << listed.failure;
    EXPECT_EQ(listed.lines, "0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
    EXPECT_EQ(fs.files["test.txt"], cardFileBefore);
    EXPECT_EQ(server.cards.size(), 2u);
    EXPECT_EQ(server.cardsRead, readBefore);
    // The refusal is remembered: one request lists the cards, until the state is made afresh.
    const size_t beforeRefused = server.requests;
    syncOnce(fs, server);
    EXPECT_EQ(server.requests - beforeRefused, 2u);
    server.offersSyncCollection = true;
    const std::string state = cardsync::stateFileName("test.txt", FakeCardDav::kBook);
    fs.files.erase(state);
    syncOnce(fs, server);
    EXPECT_NE(cardsync::loadState(fs, state, FakeCardDav::kBook).syncToken, "");
}

TEST_F(SyncRunTest, TakesNoCardFromAnotherServer) {
    // A listing that names a card elsewhere would make the client send the password there.
    server.putCard("http://elsewhere.example/evil.vcf",
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Evil;Eve;;;\r\nEND:VCARD\r\n");
    expectFirstSync(syncOnce(fs, server));
}

TEST(CardDavTest, ABusyServerIsAskedAgainWhenItSaysWithinTheBound) {
    using Busy = FakeCardDav::Busy;
    struct Case {
        std::vector<Busy> busy;
        std::vector<unsigned> waits;
        std::string failure;  // empty when the sync goes through
    } cases[] = {
        {{{503, "2"}, {429, "0"}}, {2, 0}, ""},
        {{{429, "Sun, 06 Nov 1994 08:50:07 GMT"}}, {30}, ""},
        {{{503, "30"}, {503, "31"}}, {30}, ".vcf and asked to be called again in 31 seconds"},
        {{{429, "Sun, 06 Nov 1994 09:49:37 GMT"}},
         {},
         ".vcf and asked to be called again after Sun, 06 Nov 1994 09:49:37 GMT"},
        {{{503, ""}}, {}, "the server answered 503 to PUT"},
        {{{500, "1"}}, {}, "the server answered 500 to PUT"},
    };
    for (const Case& c : cases) {
        MemoryFileSystem fs;
        FakeCardDav server;
        fs.files["test.txt"] = "Ann\xfe\xfeLee\xfe\xfe\xfd";
        server.beforeAnswer = [&](const std::string& method) {
            if (method == "PUT") server.busy = c.busy, server.beforeAnswer = nullptr;
        };
        std::vector<unsigned> waits;
        SyncRun run = syncOnce(fs, server, {}, [&](unsigned s) { waits.push_back(s); });
        EXPECT_EQ(waits, c.waits) << c.failure;
        EXPECT_EQ(run.outcome == cardsync::Outcome::done, c.failure.empty()) << run.failure;
        EXPECT_EQ(run.failure.find(c.failure) != std::string::npos, true) << run.failure;
        EXPECT_EQ(run.failure.find("called") != std::string::npos,
                  c.failure.find("called") != std::string::npos)
            << run.failure;
    }
}

TEST(CardDavTest, FollowsRedirectsOnlyWhereThePasswordMayGo) {
    // The password goes with every request: a redirect to plain HTTP elsewhere is not
    // followed, and the address book is then found on the server itself.
    for (const char* start :
         {"http://127.0.0.1:5232/.well-known/carddav", "http://127.0.0.1:5232/old/"}) {
        FakeCardDav server;
        server.redirects["/.well-known/carddav"] = "/book/";
        server.redirects["/old/"] = "http://elsewhere.example/book/";
        carddav::Session session(server, start);
        std::vector<carddav::AddressBook> books;
        std::string why;
        ASSERT_TRUE(session.discover(books, why)) << start << why;
        EXPECT_EQ(books.at(0).url, FakeCardDav::kBook);
        for (const std::string& url : server.asked)
            EXPECT_EQ(url.find("elsewhere"), std::string::npos) << start;
    }
}

TEST_F(SyncRunTest, CardsTheCardFileCannotHoldAreLeftAsTheyAre) {
    syncOnce(fs, server);
    const std::string before = fs.files["test.txt"];
    // A name 1252 cannot hold; Bo's address turned into one; a second card named Ann M Lee.
    const std::string chinese =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xE7\x8E\x8B;\xE5\xB0\x8F;;;\r\nEND:VCARD\r\n";
    server.putCard("/book/wang.vcf", chinese);
    std::string moved = kPhoneCard;
    moved.replace(moved.find("TEL"), 0, "ADR:;;\xE5\x8C\x97\xE4\xBA\xAC;;;;\r\n");
    server.putCard("/book/bo.vcf", moved);
    server.putCard(
        "/book/ann2.vcf",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;M;;\r\nADR:;;Else;;;;\r\nEND:VCARD\r\n");
    SyncRun run = syncOnce(fs, server);
    EXPECT_EQ(run.outcome, cardsync::Outcome::doneWithProblems) << run.failure;
    EXPECT_NE(run.lines.find("3 left untouched on the server"), std::string::npos) << run.lines;
    EXPECT_EQ(fs.files["test.txt"], before);
    EXPECT_EQ(server.cards["/book/wang.vcf"], chinese);
    EXPECT_EQ(server.cards["/book/bo.vcf"], moved);
    EXPECT_EQ(server.cards.size(), 4u);
    // Told once per change, with or without sync-collection, and not read again
    // while nothing changes there.
    const size_t read = server.cardsRead;
    for (bool offered : {true, false}) {
        server.offersSyncCollection = offered;
        SyncRun again = syncOnce(fs, server);
        EXPECT_EQ(again.lines,
                  "0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
        EXPECT_EQ(fs.files["test.txt"], before);
    }
    EXPECT_EQ(server.cardsRead, read);
    server.putCard("/book/wang.vcf", chinese + "\r\n");
    EXPECT_NE(syncOnce(fs, server).lines.find("left untouched on the server: /book/wang.vcf"),
              std::string::npos);
    // Once the card that had its names is deleted there, the second one comes here.
    std::string first;
    for (const auto& [href, body] : server.cards)
        if (href != "/book/ann2.vcf" && body.find("N:Lee;Ann;M") != std::string::npos) first = href;
    server.removeCard(first);
    EXPECT_NE(syncOnce(fs, server).lines.find("updated here: Ann M Lee"), std::string::npos);
    EXPECT_NE(fs.files["test.txt"].find("Else"), std::string::npos);
}

// A changed card the server fails to give is not taken for deleted there; one it
// says is gone (404) is.
TEST_F(SyncRunTest, OnlyACardTheServerSaysIsGoneIsDeletedHere) {
    syncOnce(fs, server);
    for (int status : {500, 404}) {
        const std::string before = fs.files["test.txt"];
        server.putCard("/book/bo.vcf", kPhoneCard);
        server.failing["/book/bo.vcf"] = status;
        SyncRun run = syncOnce(fs, server);
        server.failing.clear();
        if (status == 404) {
            EXPECT_NE(run.lines.find("deleted here: Bo Zed"), std::string::npos) << run.lines;
            continue;
        }
        EXPECT_EQ(run.outcome, cardsync::Outcome::stopped);
        EXPECT_NE(
            run.failure.find("did not give the card " + std::string(FakeCardDav::kBook) + "bo.vcf"),
            std::string::npos)
            << run.failure;
        EXPECT_EQ(fs.files["test.txt"], before);
    }
}

TEST_F(SyncRunTest, ADeletionHereKeepsTheServersCardAsideWhenItHoldsMore) {
    syncOnce(fs, server);
    fs.files["test.txt"] =
        "Ann\xfeM\xfeLee\xfe"
        "1 Road\r\r\nTown\xfe"
        "Female\xfd";
    SyncRun run = syncOnce(fs, server);
    EXPECT_EQ(run.lines,
              "deleted there: Bo Zed; its card is kept in " + kConflicts +
                  "Zed, Bo (deleted there).vcf\n0 sent, 0 received, 0 deleted here, 1 deleted "
                  "there, 0 conflicts\n");
    EXPECT_EQ(fs.files[kConflicts + "Zed, Bo (deleted there).vcf"], kPhoneCard);
    EXPECT_EQ(server.cards.size(), 1u);
    // A card that holds nothing more (as qbcard writes them) goes without a copy.
    const std::string ann = fs.files["test.txt"];
    fs.files["test.txt"] = ann + "Cy\xfe\xfeRay\xfe\xfe\xfd";
    syncOnce(fs, server);
    fs.files["test.txt"] = ann;
    EXPECT_EQ(syncOnce(fs, server).lines,
              "deleted there: Cy Ray\n0 sent, 0 received, 0 deleted here, 1 deleted there, 0 "
              "conflicts\n");
}

TEST_F(SyncRunTest, ConflictsKeepTheLoserAndEditsKeepWhatTheCardFileDoesNotHold) {
    syncOnce(fs, server);
    // Both sides change Bo; only this side changes Ann's address.
    fs.files["test.txt"] =
        "Ann\xfeM\xfeLee\xfe"
        "2 Lane\xfe"
        "Female\xfd"
        "Bo\xfe\xfeZed\xfeHere\xfe\xfd";
    std::string theirs = kPhoneCard;
    theirs.replace(theirs.find("TEL"), 0, "ADR:;;There;;;;\r\n");
    server.putCard("/book/bo.vcf", theirs);
    cardsync::Options options;
    options.prefer = cardsync::Prefer::local;
    SyncRun run = syncOnce(fs, server, options);
    EXPECT_EQ(run.outcome, cardsync::Outcome::doneWithProblems) << run.failure;
    EXPECT_NE(run.lines.find("conflict: Bo Zed: changed on both sides; updated there"),
              std::string::npos)
        << run.lines;
    std::string keptName;
    for (const auto& file : fs.files)
        if (file.first.rfind(kConflicts, 0) == 0) keptName = file.first;
    EXPECT_EQ(fs.files[keptName], theirs);
    const std::string& bo = server.cards["/book/bo.vcf"];
    EXPECT_NE(bo.find("ADR:;;Here;;;;\r\nTEL:+1 555\r\nitem1.EMAIL;TYPE=INTERNET:bo@zed\r\n"),
              std::string::npos)
        << bo;
    for (const auto& card : server.cards)
        if (card.first != "/book/bo.vcf") {
            EXPECT_NE(card.second.find("ADR:;;2 Lane;;;;"), std::string::npos);
        }
}

// A server may leave out of the changes since a token a card created after it and
// deleted since; a card sent by any sync and then deleted there is deleted here all
// the same, also when another client's change keeps the token from moving past the
// sync's own writes, and the guard against emptying a side sees such deletions.
TEST(SyncTokenTest, ACardSentAndThenDeletedThereIsDeletedHere) {
    const std::string bo = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Zed;Bo;;;\r\nEND:VCARD\r\n";
    for (bool raced : {false, true}) {
        MemoryFileSystem fs;
        FakeCardDav server;
        server.reportsOnlyDifference = true;
        fs.files["test.txt"] = "Ann\xfe\xfeLee\xfe\xfe\xfd";
        server.putCard("/book/bo.vcf", bo);
        if (raced)
            server.beforeAnswer = [&](const std::string& method) {
                if (method == "PUT") server.putCard("/book/bo.vcf", bo + "\r\n");
            };
        for (const char* added : {"", "Cy\xfe\xfeRay\xfe\xfe\xfd"}) {
            fs.files["test.txt"] += added;
            EXPECT_NE(syncOnce(fs, server).lines.find("added there"), std::string::npos);
            std::string sent;
            for (const auto& card : server.cards)
                if (card.first != "/book/bo.vcf") sent = card.first;
            server.removeCard(sent);
            SyncRun after = syncOnce(fs, server);
            EXPECT_NE(after.lines.find("1 deleted here"), std::string::npos)
                << raced << added << after.lines;
            EXPECT_EQ(fs.files["test.txt"], "Bo\xfe\xfeZed\xfe\xfe\xfd") << raced << added;
        }
    }
    MemoryFileSystem fs;
    FakeCardDav server;
    server.reportsOnlyDifference = true;
    fs.files["test.txt"] = "Ann\xfe\xfeLee\xfe\xfe\xfd";
    syncOnce(fs, server);
    server.removeCard(std::string(server.cards.begin()->first));
    EXPECT_NE(syncOnce(fs, server).failure.find("--force"), std::string::npos);
}

TEST_F(SyncRunTest, ASaveRemovesTheTemporaryFilesOfKilledSaves) {
    syncOnce(fs, server);
    const std::string state = cardsync::stateFileName("test.txt", FakeCardDav::kBook);
    const std::string mine = files::machineName() + "-4000000001.tmp";
    const std::vector<std::string> stale = {"test.txt." + mine, state + "." + mine,
                                            kConflicts + mine};
    const std::vector<std::string> kept = {"test.txt.other-machine-7.tmp",
                                           kConflicts + "other-machine-7.tmp", "test.txtx." + mine,
                                           "test.txt.sync" + mine};
    for (const auto& name : stale) fs.files[name] = "half";
    for (const auto& name : kept) fs.files[name] = "half";
    fs.files["test.txt"] += "Cy\xfe\xfeRay\xfe\xfe\xfd";
    server.putCard("/book/bo.vcf",
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Zed;Bo;;;\r\nADR:;;X;;;;\r\nEND:VCARD\r\n");
    fs.files["test.txt"].replace(fs.files["test.txt"].find("Zed\xfe"), 4, "Zed\xfeY");
    EXPECT_EQ(syncOnce(fs, server).outcome, cardsync::Outcome::doneWithProblems);
    for (const auto& name : stale) EXPECT_EQ(fs.files.count(name), 0u) << name;
    for (const auto& name : kept) EXPECT_EQ(fs.files.count(name), 1u) << name;
}

TEST_F(SyncRunTest, AWriteThatMeetsAnotherClientsChangeDecidesAgain) {
    syncOnce(fs, server);
    fs.files["test.txt"] =
        "Ann\xfeM\xfeLee\xfe"
        "1 Road\r\r\nTown\xfe"
        "Female\xfd"
        "Bo\xfe\xfeZed\xfeHere\xfe\xfd";
    std::string theirs = kPhoneCard;
    theirs.replace(theirs.find("TEL"), 0, "ADR:;;There;;;;\r\n");
    server.beforeAnswer = [&](const std::string& method) {
        if (method == "PUT") server.putCard("/book/bo.vcf", theirs), server.beforeAnswer = nullptr;
    };
    SyncRun run = syncOnce(fs, server);
    EXPECT_EQ(run.lines.substr(0, run.lines.find("; the card file's")),
              "conflict: Bo Zed: changed on both sides; updated here");
    EXPECT_EQ(run.lines.substr(run.lines.find('\n') + 1),
              "0 sent, 1 received, 0 deleted here, 0 deleted there, 1 conflict kept in "
              "test.txt.conflicts\n");
    EXPECT_EQ(server.cards["/book/bo.vcf"], theirs);
    EXPECT_NE(fs.files["test.txt"].find("Zed\xfeThere\xfe"), std::string::npos);
}

TEST_F(SyncRunTest, ASyncStoppedAtAnyRequestResumesWithoutRepeatingOrUndoing) {
    auto prepare = [&](MemoryFileSystem& files, FakeCardDav& dav) {
        files.files = fs.files;
        dav.putCard("/book/bo.vcf", kPhoneCard);
        dav.putCard("/book/cy.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ray;Cy;;;\r\nEND:VCARD\r\n");
        syncOnce(files, dav);
        files.files["test.txt"] =
            "Ann\xfeM\xfeLee\xfeNew\xfe"
            "Female\xfd"
            "Di\xfe\xfeVo\xfe\xfe\xfd"
            "Bo\xfe\xfeZed\xfe\xfe\xfd"
            "Cy\xfe\xfeRay\xfe\xfe\xfd";
        dav.removeCard("/book/bo.vcf");
        dav.putCard("/book/eve.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Eve;Al;;;\r\nEND:VCARD\r\n");
    };
    std::string expectedFile;
    std::map<std::string, std::string> expectedCards;
    {
        MemoryFileSystem files;
        FakeCardDav dav;
        prepare(files, dav);
        SyncRun whole = syncOnce(files, dav);
        ASSERT_EQ(whole.outcome, cardsync::Outcome::done) << whole.lines << whole.failure;
        expectedFile = files.files["test.txt"];
        expectedCards = dav.cards;
    }
    for (size_t n = 0;; ++n) {
        MemoryFileSystem files;
        FakeCardDav dav;
        prepare(files, dav);
        const size_t start = dav.requests;
        dav.answerUpTo = start + n;
        SyncRun cut = syncOnce(files, dav);
        dav.answerUpTo = static_cast<size_t>(-1);
        SyncRun resumed = syncOnce(files, dav);
        EXPECT_EQ(resumed.outcome, cardsync::Outcome::done) << n << resumed.failure;
        EXPECT_EQ(files.files["test.txt"], expectedFile) << n;
        EXPECT_EQ(dav.cards, expectedCards) << n;
        SyncRun after = syncOnce(files, dav);
        EXPECT_EQ(after.lines, "0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts\n")
            << n;
        if (cut.outcome == cardsync::Outcome::done) break;
    }
}

TEST_F(SyncRunTest, GuardsAndDryRunsChangeNothing) {
    syncOnce(fs, server);
    const auto filesBefore = fs.files;
    const auto cardsBefore = server.cards;
    fs.files["test.txt"] = "";
    SyncRun emptied = syncOnce(fs, server);
    EXPECT_EQ(emptied.outcome, cardsync::Outcome::stopped);
    EXPECT_NE(emptied.failure.find("--force"), std::string::npos);
    EXPECT_EQ(server.cards, cardsBefore);
    fs.files["test.txt"] = filesBefore.at("test.txt") + "Cy\xfe\xfeRay\xfe\xfe\xfd";
    server.removeCard("/book/bo.vcf");
    const auto cardsNow = server.cards;
    const auto filesNow = fs.files;
    cardsync::Options dry;
    dry.dryRun = true;
    SyncRun planned = syncOnce(fs, server, dry);
    EXPECT_EQ(planned.lines,
              "added there: Cy Ray\ndeleted here: Bo Zed\n"
              "1 sent, 0 received, 1 deleted here, 0 deleted there, 0 conflicts\n");
    EXPECT_EQ(server.cards, cardsNow);
    EXPECT_EQ(fs.files, filesNow);
}

#ifndef _WIN32
// The window program holds the card file in memory while a sync writes it; its next
// Save reads the sync's changes in and applies its own on top: nothing is lost.
TEST(SyncWithTheWindowOpenTest, ASaveAfterASyncKeepsBoth) {
    TempFolder folder;
    writeBytes("test.txt", "Ann\xfe\xfeLee\xfe\xfe\xfd");
    FakeCardDav server;
    server.putCard("/book/bo.vcf", kPhoneCard);
    int loaded[2], synced[2];
    ASSERT_EQ(pipe(loaded), 0);
    ASSERT_EQ(pipe(synced), 0);
    pid_t window = fork();
    ASSERT_GE(window, 0);
    if (window == 0) {  // the window program: loaded at start, then a Save of Zoe
        CardFile card("test.txt", files::realFileSystem());
        std::vector<Entry> entries;
        card.load(entries);
        char go = 0;
        if (write(loaded[1], &go, 1) != 1 || read(synced[0], &go, 1) != 1) _exit(2);
        card.put(entries, Entry{"Zoe", "Ray", "", "", "Female"});
        _exit(card.save(entries) ? 0 : 1);
    }
    char go = 0;
    ASSERT_EQ(read(loaded[0], &go, 1), 1);
    EXPECT_EQ(syncOnce(files::realFileSystem(), server).outcome, cardsync::Outcome::done);
    ASSERT_EQ(write(synced[1], &go, 1), 1);
    int status = 0;
    waitpid(window, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readBytes("test.txt"),
              "Ann\xfe\xfeLee\xfe\xfe\xfdZoe\xfe\xfeRay\xfe\xfe"
              "Female\xfd"
              "Bo\xfe\xfeZed\xfe\xfe\xfd");
    EXPECT_EQ(syncOnce(files::realFileSystem(), server).lines,
              "added there: Zoe Ray\n1 sent, 0 received, 0 deleted here, 0 deleted there, 0 "
              "conflicts\n");
}
#endif

}  // namespace

TEST_F(SyncRunTest, ACompanysCardKeepsItsEmptyNameAndItsOrgUnlessRenamedHere) {
    const std::string roma =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:r1\r\nN:;;;;\r\nFN:Pizzeria Roma\r\n"
        "ORG:Pizzeria Roma\r\nTEL:+39 06\r\nEND:VCARD\r\n";
    server.putCard("/book/roma.vcf", roma);
    fs.files["test.txt"] += std::string("\xfe\xfeGarage Nord\xfe\xfe\xfd");
    EXPECT_EQ(syncOnce(fs, server).lines,
              "added here: Pizzeria Roma\nadded here: Bo Zed\nadded there: Garage Nord\n"
              "added there: Ann M Lee\n"
              "2 sent, 2 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
    EXPECT_NE(fs.files["test.txt"].find("\xfe\xfePizzeria Roma\xfe\xfe\xfd"), std::string::npos);
    // Both sides name it alike: the next sync finds nothing to do.
    EXPECT_EQ(syncOnce(fs, server).lines,
              "0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts\n");
    size_t sentWithName = 0;
    for (const auto& card : server.cards)
        sentWithName += card.second.find("\r\nFN:Garage Nord\r\n") != std::string::npos;
    EXPECT_EQ(sentWithName, 1u);
    const size_t at = fs.files["test.txt"].find("Pizzeria Roma\xfe") + 14;
    fs.files["test.txt"].insert(at, "Via Roma 1");
    syncOnce(fs, server);
    const std::string& patched = server.cards["/book/roma.vcf"];
    EXPECT_EQ(patched, roma.substr(0, roma.find("END")) + "ADR:;;Via Roma 1;;;;\r\nEND:VCARD\r\n");
}

TEST_F(SyncRunTest, AConflictCopyIsNamedWithTheLettersOfTheName) {
    fs.files["test.txt"] = "S\xf8ren\xfe\xfe\xd8vergaard\xfe\xfe\xfd";
    syncOnce(fs, server);
    fs.files["test.txt"] = "S\xf8ren\xfe\xfe\xd8vergaard\xfeHere\xfe\xfd";
    for (auto& card : server.cards)
        if (card.second.find("FN:S\xc3\xb8ren") != std::string::npos)
            server.putCard(card.first, card.second.substr(0, card.second.find("END")) +
                                           "X-GENDER:Male\r\nEND:VCARD\r\n");
    cardsync::Options options;
    options.prefer = cardsync::Prefer::local;
    syncOnce(fs, server, options);
    EXPECT_EQ(fs.files.count(kConflicts + "\xc3\x98vergaard, S\xc3\xb8ren (server).vcf"), 1u);
}
