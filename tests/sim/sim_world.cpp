#include "tests/sim/sim_world.h"

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "data/card_file.h"
#include "interchange/codepage.h"
#include "interchange/vcard.h"
#include "sync/card_patch.h"
#include "sync/names.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"
#include "tests/support/memory_files.h"

namespace sim {

namespace {

using cardsync::Names;

const std::string kCard = kCardFileName;
const std::string kConflicts = kCard + ".conflicts/";
const std::string kGone = "\x01gone";  // a version deleted by its user

// One process's view of the file system in memory: its own temporary files (they
// are named after the process), its file operations counted, and a crash or the
// window program's save before any of them.
class ProcessFiles : public files::FileSystem {
  public:
    ProcessFiles(MemoryFileSystem& disk, unsigned long process,
                 const std::set<unsigned long>& running)
        : disk_(disk), running_(running), own_(tag(files::currentProcessId())), as_(tag(process)) {}

    std::function<void(size_t)> beforeOperation;
    size_t crashAt = 0;

    files::ReadResult readFile(const std::string& path, const Consumer& consume) override {
        operation();
        return disk_.readFile(mapped(path), consume);
    }
    bool isReadOnly(const std::string&) override { return false; }
    using files::FileSystem::writeDurably;
    bool writeDurably(const std::string& path, const Producer& next) override {
        if (!operation(false)) return disk_.writeDurably(mapped(path), next);
        std::string bytes;  // a crash halfway through the write leaves half the file
        for (std::string_view piece; next(piece);) bytes += piece;
        disk_.writeDurably(mapped(path), bytes.substr(0, bytes.size() / 2));
        throw Crash{};
    }
    files::ReplaceResult replaceFile(const std::string& source,
                                     const std::string& target) override {
        operation();
        return disk_.replaceFile(mapped(source), mapped(target));
    }
    bool exchangeFiles(const std::string& source, const std::string& target) override {
        operation();
        return disk_.exchangeFiles(mapped(source), mapped(target));
    }
    files::LockResult lock(const std::string& path,
                           std::unique_ptr<files::HeldLock>& held) override {
        operation();
        return disk_.lock(path, held);
    }
    files::MoveResult moveWithoutReplacing(const std::string& source,
                                           const std::string& target) override {
        operation();
        return disk_.moveWithoutReplacing(mapped(source), mapped(target));
    }
    bool truncateFile(const std::string& path, size_t size) override {
        operation();
        return disk_.truncateFile(mapped(path), size);
    }
    bool isFolder(const std::string& path) override { return disk_.isFolder(path); }
    std::vector<std::string> namesIn(const std::string& folder) override {
        return disk_.namesIn(folder);
    }
    void removeFile(const std::string& path) override {
        operation();
        disk_.removeFile(mapped(path));
    }
    bool makeFolder(const std::string&) override { return true; }
    void pause(int) override {}
    bool isProcessRunning(unsigned long id) override { return running_.count(id) != 0; }

  private:
    static std::string tag(unsigned long process) {
        return files::machineName() + "-" + std::to_string(process) + ".tmp";
    }
    std::string mapped(const std::string& path) const {
        size_t at = path.rfind(own_);
        return at == std::string::npos ? path : path.substr(0, at) + as_;
    }
    // True when the process crashes here.
    bool operation(bool throwNow = true) {
        ++operations_;
        if (beforeOperation) beforeOperation(operations_);
        if (operations_ != crashAt) return false;
        if (throwNow) throw Crash{};
        return true;
    }

    MemoryFileSystem& disk_;
    const std::set<unsigned long>& running_;
    const std::string own_, as_;
    size_t operations_ = 0;
};

// A contact as the card file holds it: what both sides are compared in.
bool held(const Contact& contact, Contact& out) {
    Entry entry;
    std::string why;
    size_t replaced = 0;
    if (!entryOf(contact, codepage::kWestern, false, entry, why, replaced)) return false;
    out = contactOf(entry, codepage::kWestern);
    return true;
}

std::string versionOf(const Contact& c) { return c.address + "\x1F" + c.sex; }

struct SyncRun {
    cardsync::Outcome outcome = cardsync::Outcome::stopped;
    cardsync::Totals totals;
    std::string failure;
    bool crashed = false;
};

class World {
  public:
    World(const History& history, bool verbose)
        : h_(history), server_(history.behaviour), verbose_(verbose) {}
    std::string play();

  private:
    std::map<Names, Contact> local();
    std::map<Names, std::pair<std::string, Contact>> remote(std::string* doubled = nullptr);
    void wrote(const Names& names, const std::string& from, const std::string& to);
    bool here(const Step& step);
    void window(const Step& step);
    void windowSavesAgain();
    void there(const Step& step, bool during);
    SyncRun sync(const std::vector<Step>& during, bool force);
    std::string check();
    std::string cleanSyncs();

    const History& h_;
    MemoryFileSystem disk_;
    Server server_;
    bool verbose_;
    std::set<unsigned long> running_;
    unsigned long nextProcess_ = 1000;
    unsigned nextCard_ = 1;
    // What the users meant: every version either wrote, each with the versions that
    // replaced it (kGone when it was deleted), the names anyone deleted, and the
    // phones the second client keeps on cards the card file cannot hold them in.
    std::set<std::pair<Names, std::string>> versions_;
    std::map<std::pair<Names, std::string>, std::set<std::string>> next_;
    std::set<Names> deleted_;
    std::map<Names, std::string> phones_;
    std::map<std::string, std::optional<Contact>> read_;  // server cards as read, by body
    // The window program's edits whose save found the card file locked, in order.
    std::vector<Step> waiting_;
    std::map<Names, Contact> hereAtStart_;  // the card file as the running sync began
};

std::map<Names, Contact> World::local() {
    ProcessFiles fs(disk_, 1, running_);
    CardFile file(kCard, fs);
    std::vector<Entry> entries;
    file.load(entries);
    std::map<Names, Contact> out;
    for (const Entry& e : entries) {
        Contact c = contactOf(e, codepage::kWestern);
        out[cardsync::namesOf(c)] = c;
    }
    return out;
}

std::map<Names, std::pair<std::string, Contact>> World::remote(std::string* doubled) {
    std::map<Names, std::pair<std::string, Contact>> out;
    for (const auto& [path, body] : server_.cards) {
        auto known = read_.find(body);
        if (known == read_.end()) {
            Contact c, read;
            std::string why;
            bool ok = cardsync::readServerCard(body, read, why) && held(read, c);
            known = read_.emplace(body, ok ? std::optional<Contact>(c) : std::nullopt).first;
        }
        if (!known->second) continue;
        const Contact& c = *known->second;
        Names names = cardsync::namesOf(c);
        if (out.count(names) && doubled) *doubled += " " + cardsync::shown(names);
        out[names] = {path, c};
    }
    return out;
}

void World::wrote(const Names& names, const std::string& from, const std::string& to) {
    if (!from.empty()) next_[{names, from}].insert(to);
    if (to == kGone) {
        deleted_.insert(names);
        phones_.erase(names);
    } else {
        versions_.insert({names, to});
    }
}

Contact contactFor(int names, int address, int sex) {
    Person p = personAt(names);
    Contact c, out;
    c.lastName = p.last;
    c.firstName = p.first;
    c.middleName = p.middle;
    c.address = addressAt(address);
    c.sex = sexAt(sex);
    held(c, out);
    return out;
}

// The window program: loads the card file, changes it, saves it. False when the
// save failed, as it does while another program's save holds the card file.
bool World::here(const Step& s) {
    ProcessFiles fs(disk_, 2, running_);
    CardFile file(kCard, fs);
    std::vector<Entry> entries;
    file.load(entries);
    normaliseEntries(entries);
    auto find = [&](const Names& names) {
        for (size_t i = 0; i < entries.size(); ++i)
            if (cardsync::namesOf(contactOf(entries[i], codepage::kWestern)) == names) return i;
        return entries.size();
    };
    std::vector<std::tuple<Names, std::string, std::string>> meant;
    auto remove = [&](size_t i) {
        Contact c = contactOf(entries[i], codepage::kWestern);
        meant.emplace_back(cardsync::namesOf(c), versionOf(c), kGone);
        file.remove(entries, entries[i]);
    };
    auto put = [&](const Contact& c) {
        Entry e;
        std::string why;
        size_t replaced = 0;
        entryOf(c, codepage::kWestern, false, e, why, replaced);
        size_t at = find(cardsync::namesOf(c));
        meant.emplace_back(
            cardsync::namesOf(c),
            at < entries.size() ? versionOf(contactOf(entries[at], codepage::kWestern)) : "",
            versionOf(c));
        file.put(entries, e);
    };
    Contact c = contactFor(s.names, s.address, s.sex);
    size_t at = find(cardsync::namesOf(c));
    if (s.kind == Kind::put) {
        put(c);
    } else if (s.kind == Kind::remove && at < entries.size()) {
        remove(at);
    } else if (s.kind == Kind::rename && at < entries.size()) {
        Contact to = contactFor(s.other, 0, 0);
        if (find(cardsync::namesOf(to)) < entries.size()) return true;
        Contact from = contactOf(entries[at], codepage::kWestern);
        to.address = from.address;
        to.sex = from.sex;
        remove(at);
        put(to);
    } else if (s.kind == Kind::empty) {
        while (!entries.empty()) remove(0);
    } else {
        return true;
    }
    if (!file.save(entries)) return false;
    for (const auto& [names, from, to] : meant) wrote(names, from, to);
    return true;
}

// The user's edit in the window, saved once those before it are: a save that
// fails is made again by the user a moment later.
void World::window(const Step& s) {
    waiting_.push_back(s);
    windowSavesAgain();
}

void World::windowSavesAgain() {
    while (!waiting_.empty() && here(waiting_.front())) waiting_.erase(waiting_.begin());
    if (verbose_ && !waiting_.empty()) std::printf("    (the window program's save waits)\n");
}

// A second client on the server. During a sync it adds no names qbcard may be
// adding too (the card file's, then or when the sync began): two clients adding
// one person at once make two cards, whoever syncs.
void World::there(const Step& s, bool during) {
    auto cards = remote();
    Contact c = contactFor(s.names, s.address, s.sex);
    const Names names = cardsync::namesOf(c);
    auto found = cards.find(names);
    auto mayAdd = [&](const Names& n) {
        return !cards.count(n) && !(during && (local().count(n) || hereAtStart_.count(n)));
    };
    if (s.kind == Kind::put && found != cards.end()) {
        wrote(names, versionOf(found->second.second), versionOf(c));
        server_.store(found->second.first,
                      cardsync::patchServerCard(server_.cards[found->second.first], c));
    } else if (s.kind == Kind::put && mayAdd(names)) {
        const std::string number = std::to_string(nextCard_++);
        std::string body = vcard::write({c}, vcard::Version::v3);
        size_t uid = body.find("UID:");
        body.replace(uid, body.find("\r\n", uid) - uid, "UID:sim-" + number);
        phones_[names] = "TEL;TYPE=CELL:+44 555 " + number;
        body.insert(body.find("END:VCARD"), phones_[names] + "\r\n");
        wrote(names, "", versionOf(c));
        server_.store("/book/" + c.firstName + " " + c.lastName + "@" + number + ".vcf", body);
    } else if (s.kind == Kind::remove && found != cards.end()) {
        wrote(names, versionOf(found->second.second), kGone);
        server_.erase(found->second.first);
    } else if (s.kind == Kind::rename && found != cards.end()) {
        Contact to = contactFor(s.other, 0, 0);
        const Names toNames = cardsync::namesOf(to);
        if (!mayAdd(toNames)) return;
        to.address = found->second.second.address;
        to.sex = found->second.second.sex;
        std::string phone = phones_.count(names) ? phones_[names] : "";
        wrote(names, versionOf(found->second.second), kGone);
        wrote(toNames, "", versionOf(to));
        if (!phone.empty()) phones_[toNames] = phone;
        server_.store(found->second.first,
                      cardsync::patchServerCard(server_.cards[found->second.first], to));
    } else if (s.kind == Kind::empty) {
        for (const auto& [n, card] : cards) {
            wrote(n, versionOf(card.second), kGone);
            server_.erase(card.first);
        }
    }
}

SyncRun World::sync(const std::vector<Step>& during, bool force) {
    const unsigned long process = nextProcess_++;
    running_.insert(process);
    ProcessFiles fs(disk_, process, running_);
    hereAtStart_ = local();
    server_.requests = server_.writes = 0;
    for (const Step& s : during) {
        if (s.kind == Kind::fault) server_.faults[s.at] = s.fault;
        if (s.kind == Kind::crash) fs.crashAt = s.at;
    }
    server_.beforeAnswer = [&](size_t n) {
        for (const Step& s : during)
            if (s.at == n && s.side == Side::there && s.kind < Kind::sync) there(s, true);
    };
    fs.beforeOperation = [&](size_t n) {
        windowSavesAgain();
        for (const Step& s : during)
            if (s.at == n && s.side == Side::here && s.kind < Kind::sync) window(s);
    };
    SyncRun run;
    cardsync::Options options;
    options.prefer = h_.prefer;
    options.force = force;
    auto say = [&](const std::string& line) {
        if (verbose_) std::printf("    qbcard: %s\n", line.c_str());
    };
    try {
        carddav::Session session(server_, Server::kBook);
        session.setWaiter([](unsigned) {});  // a busy server's wait costs no time here
        run.outcome = cardsync::runSync(fs, options, session, say, run.totals, run.failure);
    } catch (const Crash&) {
        run.crashed = true;
    }
    if (verbose_)
        std::printf("    -> %s%s\n",
                    run.crashed ? "crashed" : cardsync::summaryOf(run.totals, "").c_str(),
                    run.failure.empty() ? "" : ("; " + run.failure).c_str());
    running_.erase(process);
    windowSavesAgain();
    server_.beforeAnswer = nullptr;
    server_.faults.clear();
    return run;
}

// Two syncs with nothing in the way. Where a guard stops one, the user meant the
// deletions and answers with --force.
std::string World::cleanSyncs() {
    for (int clean = 1; clean <= 2; ++clean) {
        ProcessFiles fs(disk_, 1, running_);
        cardsync::State state =
            cardsync::loadState(fs, cardsync::stateFileName(kCard, Server::kBook), Server::kBook);
        const bool emptied = !state.contacts.empty() && (local().empty() || remote().empty());
        const std::string before = disk_.files[kCard];
        SyncRun run = sync({}, false);
        const bool guarded = run.failure.find("holds no contacts") != std::string::npos;
        if (emptied != guarded)
            return "guards: a side was " + std::string(emptied ? "" : "not ") +
                   "emptied, and the sync said: " + (run.failure.empty() ? "nothing" : run.failure);
        if (run.outcome == cardsync::Outcome::stopped && clean == 1 &&
            (guarded || run.failure.find("would delete") != std::string::npos)) {
            if (server_.writes || disk_.files[kCard] != before)
                return "guards: the refused sync changed a side";
            run = sync({}, true);
        }
        if (run.outcome == cardsync::Outcome::stopped)
            return "clean sync " + std::to_string(clean) + " stopped: " + run.failure;
        const cardsync::Totals& t = run.totals;
        if (clean == 2 && (t.sent || t.received || t.deletedHere || t.deletedThere || t.conflicts ||
                           server_.writes || disk_.files[kCard] != before))
            return "quiet: the second clean sync did something: " +
                   cardsync::summaryOf(t, "conflicts");
    }
    return "";
}

std::string World::check() {
    std::string doubled;
    auto here = local();
    auto there = remote(&doubled);
    if (!doubled.empty()) return "doubled: two server cards for" + doubled;
    std::string differ;
    for (const auto& [names, c] : here)
        if (!there.count(names) || versionOf(there[names].second) != versionOf(c))
            differ +=
                " " + cardsync::shown(names) + (there.count(names) ? " (differs)" : " (only here)");
    for (const auto& [names, c] : there)
        if (!here.count(names)) differ += " " + cardsync::shown(names) + " (only on the server)";
    if (!differ.empty()) return "converged: the sides hold different contacts:" + differ;
    for (const auto& names : versions_)
        if (!deleted_.count(names.first) && !here.count(names.first))
            return "kept: " + cardsync::shown(names.first) + " is gone, and nobody deleted it";
    // Every version a user wrote is held, kept in the conflicts folder, or was
    // replaced or deleted by a user who had it.
    std::set<std::pair<Names, std::string>> kept;
    for (const auto& [path, bytes] : disk_.files) {
        if (path.compare(0, kConflicts.size(), kConflicts) != 0) continue;
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".tmp") == 0) continue;
        for (const Contact& read : vcard::read(bytes).contacts) {
            Contact c;
            if (held(read, c)) kept.insert({cardsync::namesOf(c), versionOf(c)});
        }
    }
    for (const auto& version : versions_) {
        std::set<std::string> seen{version.second};
        std::vector<std::string> open{version.second};
        bool lives = false;
        while (!open.empty() && !lives) {
            std::string v = open.back();
            open.pop_back();
            auto h = here.find(version.first);
            lives = v == kGone || kept.count({version.first, v}) ||
                    (h != here.end() && versionOf(h->second) == v);
            for (const std::string& n : next_[{version.first, v}])
                if (seen.insert(n).second) open.push_back(n);
        }
        if (!lives)
            return "conflicts: a version of " + cardsync::shown(version.first) +
                   " is neither held, nor kept, nor replaced by its user";
    }
    for (const auto& [names, phone] : phones_) {
        if (!there.count(names)) continue;
        // Only on the card the second client made: a card made since for the same
        // names (its first one deleted by the conflict rule) never held it.
        const std::string& card = server_.cards[there[names].first];
        const std::string uid = "UID:sim-" + phone.substr(phone.rfind(' ') + 1) + "\r\n";
        if (card.find(uid) != std::string::npos && card.find(phone) == std::string::npos)
            return "untouched: the phone of " + cardsync::shown(names) + " is gone from its card";
    }
    ProcessFiles fs(disk_, 1, running_);
    CardFile file(kCard, fs);
    std::vector<Entry> entries;
    LoadProblem loaded = file.load(entries);
    if ((loaded != LoadProblem::none && loaded != LoadProblem::missing) || file.malformedRecords())
        return "whole: the card file does not read whole";
    return "";
}

std::string World::play() {
    std::vector<Step> during;
    for (const Step& s : h_.steps) {
        if (verbose_) std::printf("  %s\n", describe(s).c_str());
        if (s.kind == Kind::sync) {
            sync(during, false);
            during.clear();
        } else if (s.at || s.kind == Kind::fault || s.kind == Kind::crash) {
            during.push_back(s);
        } else if (s.kind == Kind::forgetTokens) {
            server_.forgetTokens();
        } else if (s.side == Side::here) {
            window(s);
        } else {
            there(s, false);
        }
    }
    if (verbose_) std::printf("  (the faults stop: two clean syncs)\n");
    std::string broken = cleanSyncs();
    return broken.empty() ? check() : broken;
}

}  // namespace

std::string play(const History& history, bool verbose) { return World(history, verbose).play(); }

}  // namespace sim
