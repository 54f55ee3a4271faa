#include "sync/plan.h"

#include <set>

namespace cardsync {

Decision decide(std::optional<uint64_t> local, std::optional<uint64_t> agreed,
                std::optional<uint64_t> remote, Prefer prefer) {
    if (local == remote) {
        if (!local) return {agreed ? Step::forget : Step::none};
        return {local == agreed ? Step::none : Step::record};
    }
    const bool localChanged = local != agreed, remoteChanged = remote != agreed;
    if (!remoteChanged)
        return {local ? (agreed ? Step::sendChange : Step::sendNew) : Step::deleteThere};
    if (!localChanged) return {remote ? Step::receive : Step::deleteHere};
    // Both sides changed, differently (or one deleted what the other changed). The
    // preferred side's version is kept on both; the other, if any, goes aside.
    if (prefer == Prefer::remote)
        return {remote ? Step::receive : Step::deleteHere, true,
                local ? Loser::local : Loser::none};
    if (!local) return {Step::deleteThere, true, remote ? Loser::remote : Loser::none};
    return {remote ? Step::sendChange : Step::sendNew, true, remote ? Loser::remote : Loser::none};
}

Plan makePlan(const Digests& local, const Digests& agreed, const Digests& remote, Prefer prefer,
              bool force) {
    Plan plan;
    std::set<Names> all;
    for (const Digests* side : {&local, &agreed, &remote})
        for (const auto& item : *side) all.insert(item.first);
    auto digest = [](const Digests& side, const Names& names) -> std::optional<uint64_t> {
        auto found = side.find(names);
        if (found == side.end()) return std::nullopt;
        return found->second;
    };
    for (const Names& names : all) {
        Decision d =
            decide(digest(local, names), digest(agreed, names), digest(remote, names), prefer);
        if (d.step == Step::none) continue;
        if (d.step == Step::deleteHere) ++plan.deletesHere;
        if (d.step == Step::deleteThere) ++plan.deletesThere;
        plan.actions.push_back({names, d});
    }
    if (force) return plan;
    const std::string howOn =
        "; nothing was changed. If that is what you want, sync again with --force";
    if (!agreed.empty() && local.empty())
        plan.refusal = "the card file holds no contacts, but the last sync left " +
                       std::to_string(agreed.size()) + " in it" + howOn;
    else if (!agreed.empty() && remote.empty())
        plan.refusal = "the address book holds no contacts, but the last sync left " +
                       std::to_string(agreed.size()) + " in it" + howOn;
    else if (plan.deletesHere * 2 > local.size())
        plan.refusal = "the sync would delete " + std::to_string(plan.deletesHere) + " of the " +
                       std::to_string(local.size()) + " contacts in the card file" + howOn;
    else if (plan.deletesThere * 2 > remote.size())
        plan.refusal = "the sync would delete " + std::to_string(plan.deletesThere) + " of the " +
                       std::to_string(remote.size()) + " contacts in the address book" + howOn;
    return plan;
}

}  // namespace cardsync
