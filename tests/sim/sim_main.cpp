// The sync simulation: histories of edits on both sides, syncs and faults, each
// from a seed, played against qbcard's own sync code and checked.
//
//   sync_sim --seeds 1-2000      the fixed set, as `make test` runs it
//   sync_sim --seconds 60        random seeds for a minute, as `make sim` does
//   sync_sim --seed 1234         one history replayed step by step
//
//   sync_sim --leave HABIT,...   histories without those habits (a seed found
//                                before they were added replays with them left out)
//
// A failing history is shrunk to the fewest steps that still fail the same way and
// printed with its seed.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "tests/sim/sim_world.h"

namespace {

std::string kindOf(const std::string& broken) { return broken.substr(0, broken.find(':')); }

// Drops steps, in ever smaller runs, while the history still breaks the same
// invariant; then sets the server's habits back to the plainest that still do.
sim::History shrunk(sim::History h, const std::string& broken) {
    auto fails = [&](const sim::History& candidate) {
        return kindOf(sim::play(candidate)) == kindOf(broken);
    };
    for (size_t run = h.steps.size() / 2; run >= 1; run /= 2) {
        for (size_t at = 0; at + run <= h.steps.size();) {
            sim::History fewer = h;
            fewer.steps.erase(fewer.steps.begin() + at, fewer.steps.begin() + at + run);
            if (fails(fewer))
                h = fewer;
            else
                at += run;
        }
    }
    // Each habit in turn set back to the plainest server's, where it still fails.
    const std::function<void(sim::Behaviour&)> plainer[] = {
        [](sim::Behaviour& b) { b.putEtag = sim::Behaviour().putEtag; },
        [](sim::Behaviour& b) { b.duplicateUid = sim::Behaviour().duplicateUid; },
        [](sim::Behaviour& b) { b.rewrites = false; },
        [](sim::Behaviour& b) { b.namesResource = false; },
        [](sim::Behaviour& b) { b.weakEtags = false; },
        [](sim::Behaviour& b) { b.encodedHrefs = false; },
        [](sim::Behaviour& b) { b.absoluteHrefs = false; },
    };
    for (const auto& plain : plainer) {
        sim::History simpler = h;
        plain(simpler.behaviour);
        if (fails(simpler)) h = simpler;
    }
    return h;
}

int failed(uint64_t seed, const sim::Leave& leave, const std::string& broken,
           bool verbose = false) {
    std::printf("seed %llu breaks %s\n", static_cast<unsigned long long>(seed), broken.c_str());
    sim::History h = shrunk(sim::generate(seed, leave), broken);
    std::printf("shrunk to %zu steps:\n%s", h.steps.size(), sim::describe(h).c_str());
    std::printf("which breaks %s\nreplay: make sim SEED=%llu\n", sim::play(h, verbose).c_str(),
                static_cast<unsigned long long>(seed));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long long from = 1, to = 2000, seconds = 0, one = 0;
    bool replay = false, survey = false;
    sim::Leave leave;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seeds") &&
            std::sscanf(argv[i + 1], "%llu-%llu", &from, &to) == 2)
            continue;
        if (!std::strcmp(argv[i], "--seconds") && std::sscanf(argv[i + 1], "%llu", &seconds) == 1)
            continue;
        if (!std::strcmp(argv[i], "--seed") && std::sscanf(argv[i + 1], "%llu", &one) == 1) {
            replay = true;
            continue;
        }
        if (!std::strcmp(argv[i], "--leave") && leave.take(argv[i + 1])) continue;
        if (!std::strcmp(argv[i], "--survey") &&
            std::sscanf(argv[i + 1], "%llu-%llu", &from, &to) == 2) {
            survey = true;
            continue;
        }
        std::fprintf(
            stderr,
            "usage: sync_sim [--seeds FROM-TO | --seconds N | --seed N | --survey FROM-TO]\n"
            "                [--leave HABIT,... | --leave none]\n");
        return 2;
    }
    if (!leave.names.empty()) std::printf("left out: %s\n", leave.names.c_str());
    if (replay) {
        sim::History h = sim::generate(one, leave);
        std::printf("%s", sim::describe(h).c_str());
        std::string broken = sim::play(h, true);
        std::printf("%s\n", broken.empty() ? "every invariant holds" : broken.c_str());
        return broken.empty() ? 0 : failed(one, leave, broken, true);
    }
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::mt19937_64 random(std::random_device{}());
    unsigned long long histories = 0, broke = 0;
    for (unsigned long long seed = from; seconds ? elapsed() < seconds : seed <= to; ++seed) {
        const uint64_t s = seconds ? random() : seed;
        std::string broken = sim::play(sim::generate(s, leave));
        ++histories;
        broke += !broken.empty();
        if (!broken.empty() && survey)
            std::printf("%llu %s\n", (unsigned long long)s, broken.substr(0, 150).c_str());
        else if (!broken.empty()) {
            std::printf("after %llu histories in %.0f s, ", histories, elapsed());
            return failed(s, leave, broken);
        }
    }
    std::printf("%llu histories, %llu broke an invariant: %.1f ms each\n", histories, broke,
                elapsed() * 1000 / static_cast<double>(histories));
    return broke ? 1 : 0;
}
