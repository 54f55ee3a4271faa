// Feeds arbitrary text to the CSV reader and checks, beyond not crashing, that
// what it read is written in every layout and read back the same.

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "interchange/csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<Contact> contacts;
    for (const Contact& c : csv::read(text).contacts) contacts.push_back(normalised(c));
    for (csv::Layout layout : {csv::Layout::plain, csv::Layout::google, csv::Layout::outlook}) {
        ContactsRead again = csv::read(csv::write(contacts, layout));
        require(again.problems.empty(), "our own CSV reads without problems");
        require(again.contacts.size() == contacts.size(), "as many rows come back");
        for (size_t i = 0; i < contacts.size(); ++i)
            require(sameFields(again.contacts[i], contacts[i]), "each row comes back the same");
    }
    return 0;
}
