#include "sync/sync_run.h"

#include <map>
#include <set>

#include "interchange/vcard.h"
#include "platform/conventions.h"
#include "platform/files.h"
#include "platform/safe_write.h"
#include "sync/card_patch.h"
#include "sync/local_book.h"
#include "sync/sync_state.h"

namespace cardsync {

namespace {

// A crash between two saves of the state costs nothing but a few comparisons on
// the next sync: each side already holds what was done, and the three-way step
// records it. Saving now and then keeps that work small.
constexpr size_t kStateSaveEvery = 50;

struct RemoteCard {
    std::string href, etag;
    uint64_t digest = 0;
    bool fetched = false;  // `contact`, `entry` and `body` are only known when fetched
    Contact contact;
    Entry entry;
    std::string body;
};

// The file name of a person's conflict copy: the names with their letters, whatever
// the script; only what no file name may hold (controls, and the signs Windows
// reserves) becomes "_".
std::string conflictNameOf(const Names& names) {
    std::string name =
        names.last + ", " + names.first + (names.middle.empty() ? "" : " ") + names.middle;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
            std::string("/\\:*?\"<>|").find(c) != std::string::npos)
            c = '_';
    return name;
}

class Run {
  public:
    Run(files::FileSystem& fs, const Options& options, carddav::Session& session,
        const std::function<void(const std::string&)>& say)
        : options_(options), session_(session), say_(say), fs_(fs), book_(options.cardFile, fs) {}

    Outcome go(std::string& failure);
    const Totals& totals() const { return totals_; }

  private:
    bool readLocal(std::string& failure);
    bool readRemote(std::string& failure);
    std::map<std::string, Names> agreedByHref() const;
    bool deletedThere(const std::string& href) const;
    std::map<std::string, std::string> cardsThereNow() const;
    std::vector<std::string> cardsToFetch(const std::map<std::string, std::string>& now,
                                          const std::map<std::string, Names>& agreedByHref);
    void takeCard(const carddav::Card& card, const std::map<std::string, Names>& agreedByHref);
    void leaveUntouched(const std::string& href, const std::string& etag, const std::string& why);
    bool keepLoser(const Names& names, Loser loser, std::string& keptAs, std::string& failure);
    bool keepAside(const Names& names, const std::string& card, const std::string& side,
                   std::string& keptAs, std::string& failure);
    void say(const Names& names, const Decision& decision, const std::string& keptAs);
    void agree(const Names& names, const RemoteCard& remote);
    void applyHere(const Names& names, Step step);
    bool leaveOut(const State& agreedBefore);
    bool applyThere(const Names& names, const Decision& decision, const std::string& keptAs,
                    bool retried, std::string& failure);
    bool settle(const Names& names, const Decision& decision, const std::string& keptAs,
                bool retried, carddav::WriteResult result, std::string& failure);
    bool changedThere(const Names& names) const;
    carddav::WriteResult sendThere(const Names& names, const Decision& decision,
                                   std::string& failure);
    void recordSent(const Names& names, const Contact& contact, const std::string& href,
                    const std::string& etag, Step step);
    carddav::WriteResult deleteThere(const Names& names, const Decision& decision,
                                     std::string& keptAs, std::string& failure);
    bool retryAfterPrecondition(const Names& names, std::string& failure);
    carddav::WriteResult whyNewCardRefused(const std::string& href, std::string& failure);
    bool heldThereByAnother(const Names& names, const std::string& href) const;
    bool mayHideDeletions(const std::map<std::string, Names>& agreedByHref) const;
    bool listWhole(std::string& failure);
    void newCard(const Contact& contact, std::string& href, std::string& body,
                 bool uidTaken = false) const;
    bool planChanges(Plan& plan, std::string& failure);
    Outcome tellPlan(const Plan& plan);
    bool fetchCardsToPatch(const Plan& plan, std::string& failure);
    bool keepLosers(const Plan& plan, std::map<Names, std::string>& keptAs, std::string& failure);
    bool changeHere(const Plan& plan, std::map<Names, std::string>& keptAs, std::string& failure);
    bool changeThere(const Plan& plan, std::map<Names, std::string>& keptAs, std::string& failure);
    std::optional<uint64_t> digestIn(const std::map<Names, RemoteCard>& side, const Names& n) const;
    bool moveTokenOn(bool stopped, std::string& failure);

    const Options& options_;
    carddav::Session& session_;
    const std::function<void(const std::string&)>& say_;
    files::FileSystem& fs_;
    LocalBook book_;
    std::map<Names, Contact> local_;
    std::map<Names, Entry> localEntries_;  // as the card file holds them, byte for byte
    std::map<Names, RemoteCard> remote_;
    std::set<Names> frozen_;  // the server's card cannot be held here: left as it is
    // The cards left untouched by the last sync, each with the ETag it was told with.
    std::map<std::string, std::string> toldBefore_;
    State state_;
    std::string statePath_, conflicts_;
    carddav::Listing listing_;
    std::set<std::string> listed_;  // the hrefs the listing showed, or the state knew, there
    // Hrefs the state held when the sync began: cards its token covers, or that
    // it remembers to look for.
    std::set<std::string> heldAtToken_;
    // Cards agreed on that the listing did not show: read again after it.
    std::set<std::string> unlisted_;
    // This sync's own writes to the server: href -> the ETag it gave (empty for a
    // deletion), and the hrefs of the cards it created.
    std::map<std::string, std::string> written_;
    std::set<std::string> created_;
    Totals totals_;
    bool localChanged_ = false;
    // A change here was left out: the old token stays, so that the next listing
    // shows that card again.
    bool leftOut_ = false;
};

bool Run::readLocal(std::string& failure) {
    if (!book_.load(failure)) {
        failure = options_.cardFile + ": " + failure;
        return false;
    }
    for (const Entry& entry : book_.entries()) {
        Contact contact = contactOf(entry, options_.codePage);
        local_[namesOf(contact)] = contact;
        localEntries_[namesOf(contact)] = entry;
    }
    return true;
}

void Run::takeCard(const carddav::Card& card, const std::map<std::string, Names>& agreedByHref) {
    auto agreed = agreedByHref.find(card.href);
    RemoteCard remote;
    std::string why;
    size_t replaced = 0;
    if (!readServerCard(card.body, remote.contact, why) ||
        !entryOf(remote.contact, options_.codePage, false, remote.entry, why, replaced)) {
        // Never deleted on either side for that: the card stays as it is on the
        // server, and the entry it was agreed with stays as it is here.
        leaveUntouched(card.href, card.etag, why);
        if (agreed != agreedByHref.end()) frozen_.insert(agreed->second);
        return;
    }
    remote.contact = contactOf(remote.entry, options_.codePage);  // as the card file holds it
    remote.href = card.href;
    remote.etag = card.etag;
    remote.body = card.body;
    remote.fetched = true;
    remote.digest = digestOf(remote.contact);
    const Names names = namesOf(remote.contact);
    auto existing = remote_.find(names);
    if (existing != remote_.end() && existing->second.href != card.href &&
        !deletedThere(existing->second.href)) {
        // Two server cards with the same names: the card file can hold one. The one
        // agreed before is kept; the other is left as it is.
        auto agreedNames = state_.contacts.find(names);
        bool ours = agreedNames != state_.contacts.end() && agreedNames->second.href == card.href;
        leaveUntouched(ours ? existing->second.href : card.href,
                       ours ? existing->second.etag : card.etag, namesTakenThere(names));
        if (!ours) return;
    }
    remote_[names] = remote;
}

// A server that does not know a token may answer with every card instead of
// refusing it (DAViCal), and never tells of the cards deleted since; to the
// client that is a list of changes like any other. Where it could be one (the
// server moved on, told of no deletion, and left out cards agreed on), the whole
// listing is asked for as well: one more request, only when the server changed,
// and always right.
bool Run::mayHideDeletions(const std::map<std::string, Names>& agreedByHref) const {
    if (listing_.whole || !listing_.removed.empty() || listing_.syncToken == state_.syncToken)
        return false;
    for (const auto& item : agreedByHref)
        if (!listing_.etags.count(item.first)) return true;
    return false;
}

bool Run::listWhole(std::string& failure) {
    carddav::Listing whole;
    if (!session_.list("", false, whole, failure)) return false;
    whole.syncToken = listing_.syncToken;  // the token the changes came with holds
    listing_ = whole;
    return true;
}

// A card this sync deleted there holds no names any more: another card renamed to
// them meanwhile is no second card.
bool Run::deletedThere(const std::string& href) const {
    auto own = written_.find(href);
    return own != written_.end() && own->second.empty();
}

std::map<std::string, Names> Run::agreedByHref() const {
    std::map<std::string, Names> byHref;
    for (const auto& [names, agreed] : state_.contacts) byHref[agreed.href] = names;
    return byHref;
}

bool Run::readRemote(std::string& failure) {
    if (!session_.list(state_.syncToken, !state_.noSyncCollection, listing_, failure)) return false;
    if (listing_.syncCollectionRefused) state_.noSyncCollection = true;
    const std::map<std::string, Names> agreed = agreedByHref();
    // What the token's own answer showed: a whole listing asked for after it may
    // show cards created since, which that token does not cover.
    std::set<std::string> coveredByToken;
    const bool relisted = mayHideDeletions(agreed);
    if (relisted) {
        for (const auto& item : listing_.etags) coveredByToken.insert(item.first);
        for (const auto& item : agreed) coveredByToken.insert(item.first);
        for (const auto& item : state_.untouched) coveredByToken.insert(item.first);
        if (!listWhole(failure)) return false;
    }
    for (const auto& item : agreed) heldAtToken_.insert(item.first);
    for (const auto& item : state_.untouched) heldAtToken_.insert(item.first);
    const std::map<std::string, std::string> now = cardsThereNow();
    for (const auto& item : now)
        if (!relisted || coveredByToken.count(item.first)) listed_.insert(item.first);
    std::vector<carddav::Card> cards;
    if (!session_.fetch(cardsToFetch(now, agreed), cards, failure)) return false;
    for (const carddav::Card& card : cards) takeCard(card, agreed);
    return true;
}

// Every card on the server and its ETag, from the whole listing or from the last
// agreed state and the changes since; an empty ETag where only a fetch can tell.
std::map<std::string, std::string> Run::cardsThereNow() const {
    if (listing_.whole) return listing_.etags;
    std::map<std::string, std::string> now;
    for (const auto& item : state_.contacts) now[item.second.href] = item.second.etag;
    for (const auto& item : state_.untouched) now[item.first] = item.second;
    for (const std::string& href : listing_.removed) now.erase(href);
    for (const auto& item : listing_.etags) now[item.first] = item.second;
    // Created here after the token, and not mentioned since: whether it is still
    // there is only known by asking for it.
    for (const std::string& href : state_.createdSinceToken)
        if (now.count(href) && !listing_.etags.count(href)) now[href].clear();
    return now;
}

// The server's card at `href` stays as it is there, and the user is told why, once
// for each version of it.
void Run::leaveUntouched(const std::string& href, const std::string& etag, const std::string& why) {
    auto told = toldBefore_.find(href);
    if (told == toldBefore_.end() || told->second != etag) {
        say_(untouchedLine(href, why));
        ++totals_.untouched;
    }
    state_.untouched[href] = etag;
}

// The cards that must be read. Those agreed on and unchanged since are taken as
// agreed. Those left untouched before are read again only when something changed
// there: a second card that had their names may be gone or renamed.
std::vector<std::string> Run::cardsToFetch(const std::map<std::string, std::string>& now,
                                           const std::map<std::string, Names>& agreedByHref) {
    std::vector<std::string> toFetch;
    toldBefore_.swap(state_.untouched);
    std::map<std::string, std::string> known;  // what the last sync left there
    for (const auto& item : state_.contacts) known[item.second.href] = item.second.etag;
    for (const auto& item : toldBefore_) known[item.first] = item.second;
    const bool changedThere = now != known;
    for (const auto& [href, etag] : now) {
        auto agreed = agreedByHref.find(href);
        auto told = toldBefore_.find(href);
        if (told != toldBefore_.end()) {
            if (changedThere || etag.empty() || told->second != etag) {
                toFetch.push_back(href);
                continue;
            }
            state_.untouched[href] = etag;  // as it was, and told of already
            if (agreed != agreedByHref.end()) frozen_.insert(agreed->second);
        } else if (agreed != agreedByHref.end() && !etag.empty() &&
                   state_.contacts[agreed->second].etag == etag) {
            RemoteCard unchanged;
            unchanged.href = href;
            unchanged.etag = etag;
            unchanged.digest = state_.contacts[agreed->second].digest;
            remote_[agreed->second] = unchanged;
        } else {
            toFetch.push_back(href);
        }
    }
    return toFetch;
}

std::optional<uint64_t> Run::digestIn(const std::map<Names, RemoteCard>& side,
                                      const Names& names) const {
    auto found = side.find(names);
    if (found == side.end()) return std::nullopt;
    return found->second.digest;
}

bool Run::keepLoser(const Names& names, Loser loser, std::string& keptAs, std::string& failure) {
    if (loser == Loser::none) return true;
    std::string card;
    if (loser == Loser::local) {
        card = vcard::write({local_.at(names)}, vcard::Version::v3);
    } else {
        const RemoteCard& remote = remote_.at(names);
        card = remote.fetched ? remote.body : vcard::write({remote.contact}, vcard::Version::v3);
    }
    return keepAside(names, card, loser == Loser::local ? "here" : "server", keptAs, failure);
}

bool Run::keepAside(const Names& names, const std::string& card, const std::string& side,
                    std::string& keptAs, std::string& failure) {
    // Named after the person and the side; a number follows when that name is
    // taken, so that no earlier file is ever written over.
    const std::string folder = conflicts_ + conventions::kPathSeparator;
    const std::string base = folder + conflictNameOf(names) + " (" + side + ")";
    const std::string temporary = files::temporaryFileName(folder);
    files::removeStaleTemporaryFiles(fs_, folder);
    if (fs_.makeFolder(conflicts_))
        keptAs = files::writeUnderFreeName(fs_, temporary, card, [&](int number) {
            return base + (number > 1 ? " " + std::to_string(number) : "") + ".vcf";
        });
    if (!keptAs.empty()) return true;
    failure = conflicts_ + ": the version of " + shown(names) +
              " to keep could not be written there; it was not changed";
    return false;
}

void Run::say(const Names& names, const Decision& decision, const std::string& keptAs) {
    const Standing standing{local_.count(names) != 0, remote_.count(names) != 0,
                            state_.contacts.count(names) != 0};
    const std::string line = changeLine(names, decision, standing, keptAs);
    if (!line.empty()) say_(line);
}

void Run::agree(const Names& names, const RemoteCard& remote) {
    state_.contacts[names] = {remote.href, remote.etag, remote.digest};
    // Until the token moves on, a card the old token does not cover is looked for by
    // href, like one created here: a sync that stops part-way keeps the old token.
    if (!heldAtToken_.count(remote.href)) state_.createdSinceToken.insert(remote.href);
    if (!listed_.count(remote.href)) unlisted_.insert(remote.href);
}

void Run::applyHere(const Names& names, Step step) {
    if (step == Step::receive) {
        const RemoteCard& remote = remote_.at(names);
        auto read = localEntries_.find(names);
        book_.put(remote.entry, read == localEntries_.end() ? nullptr : &read->second);
        agree(names, remote);
        ++totals_.received;
        localChanged_ = true;
    } else if (step == Step::deleteHere) {
        const Entry& gone = localEntries_.at(names);
        book_.remove(gone, &gone);
        state_.contacts.erase(names);
        ++totals_.deletedHere;
        localChanged_ = true;
    } else if (step == Step::record) {
        agree(names, remote_.at(names));
    } else if (step == Step::forget) {
        state_.contacts.erase(names);
    }
}

// Writes one change to the server and tells it; false when the server could not
// be reached or refused it.
bool Run::applyThere(const Names& names, const Decision& decision, const std::string& keptAs,
                     bool retried, std::string& failure) {
    std::string kept = keptAs;
    carddav::WriteResult result = carddav::WriteResult::done;
    if (decision.step == Step::sendNew || decision.step == Step::sendChange)
        result = sendThere(names, decision, failure);
    else if (decision.step == Step::deleteThere)
        result = deleteThere(names, decision, kept, failure);
    else
        return true;
    return settle(names, decision, kept, retried, result, failure);
}

// What the server's answer leads to: a change done is told; one refused as the card
// changed there meanwhile is decided anew, once, and then left to the next sync.
bool Run::settle(const Names& names, const Decision& decision, const std::string& keptAs,
                 bool retried, carddav::WriteResult result, std::string& failure) {
    if (result == carddav::WriteResult::failed) return false;
    if (result == carddav::WriteResult::done) {
        say(names, decision, keptAs);
        return true;
    }
    if (retried) {
        say_(changedAgainLine(names));
        ++totals_.untouched;
        return true;
    }
    return retryAfterPrecondition(names, failure);
}

// Whether the server's card, as read, is another version than the one agreed on.
bool Run::changedThere(const Names& names) const {
    auto agreed = state_.contacts.find(names);
    return agreed == state_.contacts.end() || agreed->second.digest != remote_.at(names).digest;
}

// This side's contact as a new card, or patched into the server's; never carried out
// unless the server holds what this sync read.
carddav::WriteResult Run::sendThere(const Names& names, const Decision& decision,
                                    std::string& failure) {
    const Step step = decision.step;
    const Contact& contact = local_.at(names);
    std::string href, body, ifMatch, etag, storedAt;
    if (step == Step::sendNew) {
        newCard(contact, href, body);
    } else {
        const RemoteCard& remote = remote_.at(names);
        href = remote.href;
        ifMatch = remote.etag;
        body = patchServerCard(remote.body, contact);
    }
    // A card that is gone, or that changed again since the listing, is decided anew.
    const bool stale = step == Step::sendChange &&
                       (!remote_.at(names).fetched || (!decision.conflict && changedThere(names)));
    carddav::WriteResult result = stale
                                      ? carddav::WriteResult::preconditionFailed
                                      : session_.put(href, body, ifMatch, etag, storedAt, failure);
    if (result == carddav::WriteResult::preconditionFailed && step == Step::sendNew)
        result = whyNewCardRefused(href, failure);
    if (result == carddav::WriteResult::uidTaken) {
        // A card renamed there keeps the UID these names make: a UID of their own.
        newCard(contact, href, body, true);
        result = session_.put(href, body, ifMatch, etag, storedAt, failure);
        if (result == carddav::WriteResult::uidTaken) result = carddav::WriteResult::failed;
    }
    if (result == carddav::WriteResult::done) recordSent(names, contact, storedAt, etag, step);
    return result;
}

void Run::recordSent(const Names& names, const Contact& contact, const std::string& href,
                     const std::string& etag, Step step) {
    state_.contacts[names] = {href, etag, digestOf(contact)};
    written_[href] = etag;
    if (step == Step::sendNew) created_.insert(href);
    // In every save of the state from now on, as in agree().
    if (step == Step::sendNew || !heldAtToken_.count(href)) state_.createdSinceToken.insert(href);
    ++totals_.sent;
}

// The server's card deleted, once kept aside where it holds what the card file
// cannot (`keptAs` then names where).
carddav::WriteResult Run::deleteThere(const Names& names, const Decision& decision,
                                      std::string& keptAs, std::string& failure) {
    const RemoteCard& remote = remote_.at(names);
    // A card read again to be kept aside may have changed there since the
    // listing: its new version is not deleted unseen, but decided anew.
    const bool stale = !decision.conflict && remote.fetched && changedThere(names);
    // A deletion here (a rename, too) must not take the server's phones,
    // e-mail and photos with it unseen: such a card is kept aside first.
    if (!stale && !decision.conflict && remote.fetched && holdsMoreThanTheCardFile(remote.body) &&
        !keepAside(names, remote.body, "deleted there", keptAs, failure))
        return carddav::WriteResult::failed;
    const carddav::WriteResult result = stale ? carddav::WriteResult::preconditionFailed
                                              : session_.remove(remote.href, remote.etag, failure);
    if (result == carddav::WriteResult::done) {
        state_.contacts.erase(names);
        written_[remote.href].clear();
        ++totals_.deletedThere;
    }
    return result;
}

// A new card refused with 412 met a card another client put at its href meanwhile,
// or a server that refuses a UID another card holds with 412 rather than 409 or
// 403: when nothing is at the href, it was the UID.
carddav::WriteResult Run::whyNewCardRefused(const std::string& href, std::string& failure) {
    std::vector<carddav::Card> cards;
    if (!session_.fetch({href}, cards, failure)) return carddav::WriteResult::failed;
    return cards.empty() ? carddav::WriteResult::uidTaken
                         : carddav::WriteResult::preconditionFailed;
}

// Whether the server keeps a card of other names at `href`, as far as this sync
// has seen it.
bool Run::heldThereByAnother(const Names& names, const std::string& href) const {
    if (listing_.etags.count(href) || state_.untouched.count(href)) return true;
    for (const auto& [n, remote] : remote_)
        if (remote.href == href) return true;
    for (const auto& [n, agreed] : state_.contacts)
        if (agreed.href == href && (n < names || names < n)) return true;
    return false;
}

// A new card's href and body. A card renamed on the server keeps its href and UID
// under its new names, so the old names sent again (edited here meanwhile) would
// meet it: they go beside it under a UID and href of their own, made from the
// names and a number.
void Run::newCard(const Contact& contact, std::string& href, std::string& body,
                  bool uidTaken) const {
    const std::string uid = vcard::uidOf(contact);
    std::string ownUid = uid;
    href = session_.hrefFor(uid);
    const Names names = namesOf(contact);
    // The card these names were agreed with now holds others: renamed there.
    auto agreed = state_.contacts.find(names);
    bool renamed = uidTaken || (agreed != state_.contacts.end() &&
                                heldThereByAnother(names, agreed->second.href));
    for (int n = 2; renamed || heldThereByAnother(names, href); ++n, renamed = false) {
        Contact numbered = contact;
        numbered.middleName += '\x1F' + std::to_string(n);
        ownUid = vcard::uidOf(numbered);
        href = session_.hrefFor(ownUid);
    }
    body = vcard::write({contact}, vcard::Version::v3);
    if (ownUid != uid) body.replace(body.find("UID:" + uid) + 4, uid.size(), ownUid);
}

// Another client changed the card between the listing and the write: fetch it
// again and decide once more.
bool Run::retryAfterPrecondition(const Names& names, std::string& failure) {
    std::string href = remote_.count(names) ? remote_.at(names).href
                                            : session_.hrefFor(vcard::uidOf(local_.at(names)));
    std::vector<carddav::Card> cards;
    if (!session_.fetch({href}, cards, failure)) return false;
    remote_.erase(names);
    for (const carddav::Card& card : cards) takeCard(card, agreedByHref());
    if (frozen_.count(names)) return true;
    auto localDigest =
        local_.count(names) ? std::optional<uint64_t>(digestOf(local_.at(names))) : std::nullopt;
    auto agreed = state_.contacts.count(names)
                      ? std::optional<uint64_t>(state_.contacts.at(names).digest)
                      : std::nullopt;
    Decision decision = decide(localDigest, agreed, digestIn(remote_, names), options_.prefer);
    std::string keptAs;
    if (decision.conflict && !keepLoser(names, decision.loser, keptAs, failure)) return false;
    if (decision.conflict) ++totals_.conflicts;
    if (decision.step == Step::receive || decision.step == Step::deleteHere) {
        // Written at once: the state must never say both sides agree on a version
        // that the card file does not hold yet.
        const State agreedBefore = state_;
        applyHere(names, decision.step);
        std::string notes;
        if (!book_.save(failure, notes)) {
            state_ = agreedBefore;
            failure = options_.cardFile + ": " + failure;
            return false;
        }
        if (!leaveOut(agreedBefore)) say(names, decision, keptAs);
        localChanged_ = false;
        return true;
    }
    applyHere(names, decision.step);
    return applyThere(names, decision, keptAs, true, failure);
}

bool Run::planChanges(Plan& plan, std::string& failure) {
    Digests here, agreed, there;
    for (const auto& item : local_)
        if (!frozen_.count(item.first)) here[item.first] = digestOf(item.second);
    for (const auto& item : state_.contacts)
        if (!frozen_.count(item.first)) agreed[item.first] = item.second.digest;
    for (const auto& item : remote_)
        if (!frozen_.count(item.first)) there[item.first] = item.second.digest;
    plan = makePlan(here, agreed, there, options_.prefer, options_.force);
    if (plan.refusal.empty()) return true;
    failure = options_.cardFile + " and " + session_.collection() + ": " + plan.refusal;
    return false;
}

Outcome Run::tellPlan(const Plan& plan) {
    for (const Planned& p : plan.actions) {
        say(p.names, p.decision, "");
        Step s = p.decision.step;
        totals_.conflicts += p.decision.conflict;
        totals_.sent += s == Step::sendNew || s == Step::sendChange;
        totals_.received += s == Step::receive;
        totals_.deletedHere += s == Step::deleteHere;
        totals_.deletedThere += s == Step::deleteThere;
    }
    return totals_.conflicts || totals_.untouched ? Outcome::doneWithProblems : Outcome::done;
}

// A change here goes into the server's latest card, and a deletion here keeps it
// aside first: the listing did not need to read them when only this side changed.
bool Run::fetchCardsToPatch(const Plan& plan, std::string& failure) {
    std::vector<std::string> toFetch;
    for (const Planned& p : plan.actions)
        if ((p.decision.step == Step::sendChange || p.decision.step == Step::deleteThere) &&
            remote_.count(p.names) && !remote_.at(p.names).fetched)
            toFetch.push_back(remote_.at(p.names).href);
    if (!toFetch.empty()) {
        std::vector<carddav::Card> cards;
        if (!session_.fetch(toFetch, cards, failure)) return false;
        const std::map<std::string, Names> agreed = agreedByHref();
        for (const carddav::Card& card : cards) takeCard(card, agreed);
    }
    // Cards that changed only where the card file does not look (a phone number):
    // their new ETags, so that they are not read again.
    for (const auto& [names, remote] : remote_) {
        auto found = state_.contacts.find(names);
        if (remote.fetched && found != state_.contacts.end() &&
            found->second.digest == remote.digest)
            found->second = {remote.href, remote.etag, remote.digest};
    }
    return true;
}

// The losing versions first: nothing changes on either side unless they are kept.
bool Run::keepLosers(const Plan& plan, std::map<Names, std::string>& keptAs, std::string& failure) {
    for (const Planned& p : plan.actions) {
        if (!p.decision.conflict) continue;
        ++totals_.conflicts;
        if (!keepLoser(p.names, p.decision.loser, keptAs[p.names], failure)) return false;
    }
    return true;
}

// Everything that comes here, in one save of the card file, then recorded.
bool Run::changeHere(const Plan& plan, std::map<Names, std::string>& keptAs, std::string& failure) {
    const State agreedBefore = state_;
    for (const Planned& p : plan.actions) {
        if (p.decision.step == Step::receive || p.decision.step == Step::deleteHere)
            say(p.names, p.decision, keptAs[p.names]);
        applyHere(p.names, p.decision.step);
    }
    std::string notes;
    if (localChanged_ && !book_.save(failure, notes)) {
        failure = options_.cardFile + ": " + failure;
        return false;
    }
    if (!notes.empty()) say_(notes.substr(0, notes.size() - 1));
    leaveOut(agreedBefore);
    localChanged_ = false;
    return true;
}

// Changes the save left out, as another program changed those entries while the sync
// ran: nothing is agreed on them, so the next sync compares both sides afresh and
// meets the conflict. True when there were any.
bool Run::leaveOut(const State& agreedBefore) {
    for (const Entry& entry : book_.leftOut()) {
        const Names names = namesOf(contactOf(entry, options_.codePage));
        auto agreed = agreedBefore.contacts.find(names);
        if (agreed == agreedBefore.contacts.end())
            state_.contacts.erase(names);
        else
            state_.contacts[names] = agreed->second;
        leftOut_ = true;
        say_(leftForNextSyncLine(names));
        if (remote_.count(names))
            --totals_.received;
        else
            --totals_.deletedHere;
    }
    return !book_.leftOut().empty();
}

// Then the server, one card at a time, the state saved now and then as it goes.
bool Run::changeThere(const Plan& plan, std::map<Names, std::string>& keptAs,
                      std::string& failure) {
    size_t sinceSave = 0;
    for (const Planned& p : plan.actions) {
        Step s = p.decision.step;
        if (s != Step::sendNew && s != Step::sendChange && s != Step::deleteThere) continue;
        if (!applyThere(p.names, p.decision, keptAs[p.names], false, failure)) return false;
        if (++sinceSave == kStateSaveEvery) {
            saveState(fs_, statePath_, state_);
            sinceSave = 0;
        }
    }
    return true;
}

// The token only moves on when every change it covers has been taken in. A card
// created here after the listing's token, or read after it, may be deleted there
// by another client before the next sync, and a server need not tell that of a card
// it did not hold when the token was made: such cards are remembered, to be looked
// for by href. A sync that stops keeps the old token, and with it remembers every
// card it agreed on that the old token does not cover. Else the changes since the
// listing's token are asked for once more: when they are this sync's own writes
// alone, their token is kept.
bool Run::moveTokenOn(bool stopped, std::string& failure) {
    if (stopped || leftOut_) return true;
    state_.syncToken = listing_.syncToken;
    state_.createdSinceToken = unlisted_;
    state_.createdSinceToken.insert(created_.begin(), created_.end());
    if (created_.empty() || listing_.syncToken.empty()) return true;
    carddav::Listing since;
    if (!session_.changesSince(listing_.syncToken, since, failure)) {
        if (session_.lastStatus() == 0) return false;  // the server stopped answering
        failure.clear();
        return true;
    }
    auto known = [&](const std::string& href) {
        for (const auto& item : state_.contacts)
            if (item.second.href == href) return true;
        return state_.untouched.count(href) != 0;
    };
    if (since.syncToken.empty()) return true;
    // A card created here and already deleted there by another client is not
    // mentioned by a server that reports differences only: it must be listed.
    for (const std::string& href : created_)
        if (!since.etags.count(href)) return true;
    for (const auto& [href, etag] : since.etags) {
        auto own = written_.find(href);
        if (own == written_.end() || own->second.empty() || own->second != etag) return true;
    }
    for (const std::string& href : since.removed) {
        auto own = written_.find(href);
        if (own == written_.end() ? known(href) : !own->second.empty()) return true;
    }
    state_.syncToken = since.syncToken;
    state_.createdSinceToken = unlisted_;
    return true;
}

Outcome Run::go(std::string& failure) {
    conflicts_ = conflictsFolderOf(options_.cardFile);
    statePath_ = stateFileName(options_.cardFile, session_.collection());
    state_ = loadState(fs_, statePath_, session_.collection());
    const State loaded = state_;
    if (!options_.from.empty()) state_.from = options_.from;
    Plan plan;
    if (!readLocal(failure) || !readRemote(failure) || !planChanges(plan, failure))
        return Outcome::stopped;
    if (options_.dryRun) return tellPlan(plan);

    std::map<Names, std::string> keptAs;
    if (!fetchCardsToPatch(plan, failure) || !keepLosers(plan, keptAs, failure) ||
        !changeHere(plan, keptAs, failure))
        return Outcome::stopped;
    // What came here is recorded before anything is written there.
    bool stateSaved = state_ == loaded || saveState(fs_, statePath_, state_);
    bool stopped = !changeThere(plan, keptAs, failure);
    stopped = !moveTokenOn(stopped, failure) || stopped;
    if (!(state_ == loaded)) stateSaved = saveState(fs_, statePath_, state_);
    if (stopped) {
        failure +=
            "; the sync stopped there, what it had done is recorded and the next sync "
            "goes on from there";
        return Outcome::stopped;
    }
    if (!stateSaved) {
        failure = statePath_ +
                  ": the sync state could not be written; the next sync compares "
                  "both sides afresh";
        return Outcome::stopped;
    }
    return totals_.conflicts || totals_.untouched ? Outcome::doneWithProblems : Outcome::done;
}

}  // namespace

Outcome runSync(files::FileSystem& fs, const Options& options, carddav::Session& session,
                const std::function<void(const std::string&)>& say, Totals& totals,
                std::string& failure) {
    Run run(fs, options, session, say);
    Outcome outcome = run.go(failure);
    totals = run.totals();
    return outcome;
}

}  // namespace cardsync
