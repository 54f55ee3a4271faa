#include "sync/sync_state.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "data/fingerprint.h"
#include "interchange/tab_separated.h"
#include "platform/safe_write.h"
#include "platform/url.h"

namespace cardsync {

namespace {

constexpr const char* kHeader = "qbcard sync state 1";

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    for (std::string& field : fields) field = fromTabSeparatedField(field);
    return fields;
}

bool parse(const std::string& text, State& state) {
    size_t at = 0;
    std::vector<std::string> lines;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;  // every record ends in a line break
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.size() < 4 || lines[0] != kHeader) return false;
    const char* const kFields[] = {"collection", "from", "token"};
    std::string* values[] = {&state.collection, &state.from, &state.syncToken};
    for (size_t i = 0; i < 3; ++i) {
        std::vector<std::string> f = fieldsOf(lines[i + 1]);
        if (f.size() != 2 || f[0] != kFields[i]) return false;
        *values[i] = f[1];
    }
    for (size_t i = 4; i < lines.size(); ++i) {
        std::vector<std::string> f = fieldsOf(lines[i]);
        // Hrefs in the one spelling the session gives them: a state written before
        // kept them as the server wrote them, whole URLs or percent-encoded.
        const size_t hrefAt = f.size() == 6                                              ? 3
                              : !f.empty() && (f[0] == "untouched" || f[0] == "created") ? 1
                                                                                         : 0;
        if (hrefAt && hrefAt < f.size()) {
            const std::string href = url::hrefOn(state.collection, f[hrefAt]);
            if (!href.empty()) f[hrefAt] = href;
        }
        if (f.size() == 3 && f[0] == "untouched") {
            state.untouched[f[1]] = f[2];
            continue;
        }
        if (f.size() == 2 && f[0] == "created") {
            state.createdSinceToken.insert(f[1]);
            continue;
        }
        if (f.size() == 2 && f[0] == "sync-collection" && f[1] == "refused") {
            state.noSyncCollection = true;
            continue;
        }
        if (f.size() != 6 || f[5].size() != 16) return false;
        Agreed agreed{f[3], f[4], 0};
        char* end = nullptr;
        agreed.digest = std::strtoull(f[5].c_str(), &end, 16);
        if (*end) return false;
        state.contacts[{f[0], f[1], f[2]}] = agreed;
    }
    return true;
}

}  // namespace

std::string stateFileName(const std::string& cardFile, const std::string& collection) {
    Fingerprint f;
    f.add(collection.data(), collection.size());
    return cardFile + ".sync-" + hex(f.digest());
}

State loadState(files::FileSystem& fs, const std::string& path, const std::string& collection) {
    std::string text;
    State state;
    if (files::readWholeFile(fs, path, text) == files::ReadResult::ok && parse(text, state) &&
        state.collection == collection)
        return state;
    State first;
    first.collection = collection;
    return first;
}

std::string collectionSyncedFrom(files::FileSystem& fs, const std::string& cardFile,
                                 const std::string& url) {
    const std::string prefix = cardFile + ".sync-";
    for (const std::string& name : files::namesStartingWith(fs, prefix)) {
        std::string text;
        State state;
        if (name.size() != prefix.size() + 16 ||
            files::readWholeFile(fs, name, text) != files::ReadResult::ok || !parse(text, state))
            continue;
        if (state.from == url || state.collection == url) return state.collection;
    }
    return std::string();
}

bool saveState(files::FileSystem& fs, const std::string& path, const State& state) {
    std::string text = std::string(kHeader) + "\n";
    text += "collection\t" + tabSeparatedField(state.collection) + "\n";
    text += "from\t" + tabSeparatedField(state.from) + "\n";
    text += "token\t" + tabSeparatedField(state.syncToken) + "\n";
    for (const auto& [names, agreed] : state.contacts)
        text += tabSeparatedField(names.last) + "\t" + tabSeparatedField(names.first) + "\t" +
                tabSeparatedField(names.middle) + "\t" + tabSeparatedField(agreed.href) + "\t" +
                tabSeparatedField(agreed.etag) + "\t" + hex(agreed.digest) + "\n";
    for (const auto& [href, etag] : state.untouched)
        text += "untouched\t" + tabSeparatedField(href) + "\t" + tabSeparatedField(etag) + "\n";
    for (const std::string& href : state.createdSinceToken)
        text += "created\t" + tabSeparatedField(href) + "\n";
    if (state.noSyncCollection) text += "sync-collection\trefused\n";
    files::removeStaleTemporaryFiles(fs, path + ".");
    return files::replaceDurably(fs, path, text);
}

}  // namespace cardsync
