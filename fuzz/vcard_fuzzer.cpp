// Feeds arbitrary text to the vCard reader and checks, beyond not crashing, that
// reading it in the pieces a large file is cut into gives what reading it whole
// gives, and that what it read is written by both vCard versions and read back the same.

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "interchange/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ContactsRead whole = vcard::read(text);
    // Read in two pieces, cut where a large file may be cut, the text gives the same.
    if (const size_t end = vcard::pieceEnd(text)) {
        const std::string first = text.substr(0, end), second = text.substr(end);
        ContactsRead parts = vcard::read(first);
        ContactsRead rest = vcard::read(second, nullptr, vcard::lineCount(first));
        parts.contacts.insert(parts.contacts.end(), rest.contacts.begin(), rest.contacts.end());
        parts.problems.insert(parts.problems.end(), rest.problems.begin(), rest.problems.end());
        for (const auto& [what, count] : rest.ignored) parts.ignored[what] += count;
        require(parts.contacts.size() == whole.contacts.size() &&
                    parts.problems.size() == whole.problems.size() &&
                    parts.ignored == whole.ignored,
                "pieces read as many cards, problems and ignored properties as the whole");
        for (size_t i = 0; i < parts.contacts.size(); ++i)
            require(sameFields(parts.contacts[i], whole.contacts[i]) &&
                        parts.contacts[i].line == whole.contacts[i].line,
                    "each card of the pieces is the card of the whole, on the same line");
        for (size_t i = 0; i < parts.problems.size(); ++i)
            require(parts.problems[i].line == whole.problems[i].line &&
                        parts.problems[i].reason == whole.problems[i].reason,
                    "each problem of the pieces is the problem of the whole");
    }
    std::vector<Contact> contacts;
    for (const Contact& c : whole.contacts) contacts.push_back(normalised(c));
    for (vcard::Version version : {vcard::Version::v3, vcard::Version::v4}) {
        ContactsRead again = vcard::read(vcard::write(contacts, version));
        require(again.problems.empty(), "our own vCard reads without problems");
        require(again.contacts.size() == contacts.size(), "as many cards come back");
        for (size_t i = 0; i < contacts.size(); ++i)
            require(sameFields(normalised(again.contacts[i]), contacts[i]),
                    "each card comes back the same");
    }
    return 0;
}
