#include "sync/names.h"

#include "data/entry.h"
#include "data/fingerprint.h"

namespace cardsync {

Names namesOf(const Contact& contact) {
    return {contact.lastName, contact.firstName, contact.middleName};
}

std::string shown(const Names& names) {
    Contact c;
    c.lastName = names.last;
    c.firstName = names.first;
    c.middleName = names.middle;
    return fullNameOf(c);
}

uint64_t digestOf(const Contact& contact) {
    Fingerprint f;
    for (const std::string* field : fieldsOf(contact)) {
        f.add(field->data(), field->size());
        f.add("\x1F", 1);  // a byte no field holds, so fields cannot run into each other
    }
    return f.digest();
}

}  // namespace cardsync
