// Feeds arbitrary text to the vCard reader and checks, beyond not crashing, that
// what it read is written by both vCard versions and read back the same.

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "interchange/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<Contact> contacts;
    for (const Contact& c : vcard::read(text).contacts) contacts.push_back(normalised(c));
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
