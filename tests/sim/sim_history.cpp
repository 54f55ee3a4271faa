#include "tests/sim/sim_history.h"

namespace sim {

namespace {

// SplitMix64: the same numbers from a seed on every platform and library.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }

  private:
    uint64_t state_;
};

Step change(Random& random, Side side, const Leave& leave) {
    Step s;
    int roll = random.below(100);
    s.kind = roll < 60 ? Kind::put : roll < 85 ? Kind::remove : Kind::rename;
    if (s.kind == Kind::rename && side == Side::there && leave.renameThere) s.kind = Kind::put;
    s.side = side;
    s.names = random.below(kNames);
    s.other = random.below(kNames);
    s.address = random.below(kAddresses);
    s.sex = random.below(kSexes);
    return s;
}

}  // namespace

Person personAt(int index) {
    static const char* const kLast[] = {"Lee", "Ng", "Smith", "Lee-Smith"};
    static const char* const kFirst[] = {"Ann", "Bob", "Cy", "Dee", "Eve", "Ann Marie"};
    return {kLast[index % 4], kFirst[index / 4 % 6], index / 24 ? "M" : ""};
}

const char* addressAt(int index) {
    static const char* const kAddresses[] = {"", "1 Main St", "2 High St\nLeeds",
                                             "3 Rue d'\xC3\x89t\xC3\xA9", "4 Elm Rd, Flat 2; Hull"};
    return kAddresses[index];
}

const char* sexAt(int index) {
    static const char* const kSexes[] = {"", "Male", "Female"};
    return kSexes[index];
}

bool Leave::take(const std::string& list) {
    *this = Leave();
    if (list.empty() || list == "none") return true;
    names = list;
    std::string rest = list + ",";
    for (size_t comma; (comma = rest.find(',')) != std::string::npos; rest.erase(0, comma + 1)) {
        std::string name = rest.substr(0, comma);
        bool* flag = name == "absolute-hrefs"       ? &absoluteHrefs
                     : name == "names-resource"     ? &namesResource
                     : name == "full-listing"       ? &fullListing
                     : name == "window-during-sync" ? &windowDuringSync
                     : name == "rename-there"       ? &renameThere
                                                    : nullptr;
        if (!flag) return false;
        *flag = true;
    }
    return true;
}

History generate(uint64_t seed, const Leave& leave) {
    Random random(seed);
    History h;
    h.seed = seed;
    // The listing and the expired-token answer cycle with the seed, so that any run
    // of twelve seeds meets every one; the other habits are drawn.
    h.behaviour.listing = static_cast<Listing>(seed % 3);
    h.behaviour.expired = static_cast<Expired>(seed / 3 % 4);
    h.behaviour.putEtag = static_cast<PutEtag>(random.below(3));
    h.behaviour.duplicateUid = static_cast<DuplicateUid>(random.below(3));
    h.behaviour.rewrites = random.chance(40);
    h.behaviour.namesResource = random.chance(25);
    h.behaviour.weakEtags = random.chance(25);
    h.behaviour.encodedHrefs = random.chance(30);
    h.behaviour.absoluteHrefs = random.chance(30) && !leave.absoluteHrefs;
    if (leave.namesResource) h.behaviour.namesResource = false;
    if (leave.fullListing && h.behaviour.expired == Expired::fullListing)
        h.behaviour.expired = Expired::forbidden;
    h.prefer = random.chance(50) ? cardsync::Prefer::remote : cardsync::Prefer::local;

    // A first book on either side or both, synced once.
    const int contacts = 3 + random.below(28);
    for (int i = 0; i < contacts; ++i) {
        Step s = change(random, random.chance(60) ? Side::here : Side::there, leave);
        s.kind = Kind::put;
        h.steps.push_back(s);
    }
    h.steps.push_back(Step{});
    const int rounds = 3 + random.below(6);
    for (int round = 0; round < rounds; ++round) {
        for (int n = random.below(6); n > 0; --n)
            h.steps.push_back(change(random, random.chance(50) ? Side::here : Side::there, leave));
        if (random.chance(4)) {
            Step s;
            s.kind = Kind::empty;
            s.side = random.chance(50) ? Side::here : Side::there;
            h.steps.push_back(s);
        }
        if (random.chance(10)) h.steps.push_back(Step{Kind::forgetTokens});
        // What happens during the sync: edits on either side between two of its
        // steps, faults at its requests, a crash at one of its file operations.
        for (int n = random.below(4); n > 0; --n) {
            Step s = change(random, random.chance(50) ? Side::here : Side::there, leave);
            s.at = 1 + random.below(s.side == Side::there ? 12 : 30);
            if (s.side == Side::here && leave.windowDuringSync) continue;
            h.steps.push_back(s);
        }
        for (int n = random.below(3); n > 0; --n) {
            Step s;
            s.kind = Kind::fault;
            s.fault = static_cast<Fault>(1 + random.below(8));
            s.at = 1 + random.below(12);
            h.steps.push_back(s);
        }
        if (random.chance(15)) {
            Step s;
            s.kind = Kind::crash;
            s.at = 1 + random.below(30);
            h.steps.push_back(s);
        }
        h.steps.push_back(Step{});
    }
    return h;
}

std::string describe(const Step& s) {
    auto named = [](int index) {
        Person p = personAt(index);
        return p.first + (p.middle.empty() ? "" : " " + p.middle) + " " + p.last;
    };
    std::string who = s.side == Side::here ? "card file: " : "server: ";
    std::string text;
    switch (s.kind) {
        case Kind::put:
            text = who + "put " + named(s.names) + " (address \"" + addressAt(s.address) +
                   "\", sex \"" + sexAt(s.sex) + "\")";
            break;
        case Kind::remove:
            text = who + "delete " + named(s.names);
            break;
        case Kind::rename:
            text = who + "rename " + named(s.names) + " to " + named(s.other);
            break;
        case Kind::empty:
            text = who + "delete every contact";
            break;
        case Kind::sync:
            return "qbcard syncs";
        case Kind::forgetTokens:
            return "the server forgets its sync tokens";
        case Kind::fault:
            return std::string("at request ") + std::to_string(s.at) +
                   " of the next sync: " + describe(s.fault);
        case Kind::crash:
            return "qbcard crashes at file operation " + std::to_string(s.at) + " of the next sync";
    }
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos;)
        text.replace(at, 1, "\\n");
    if (s.at)
        text = std::string("during the next sync, before its ") +
               (s.side == Side::here ? "file operation " : "request ") + std::to_string(s.at) +
               ": " + text;
    return text;
}

std::string describe(const History& h) {
    std::string text = "seed " + std::to_string(h.seed) + ": server with " + describe(h.behaviour) +
                       "; --prefer " + (h.prefer == cardsync::Prefer::remote ? "remote" : "local") +
                       "\n";
    for (size_t i = 0; i < h.steps.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + describe(h.steps[i]) + "\n";
    return text;
}

}  // namespace sim
