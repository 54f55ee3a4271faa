#pragma once

#include <cstdint>
#include <string>
#include <tuple>

#include "interchange/contact.h"

// The card file's identity of a person across both sides: the three names.
namespace cardsync {

struct Names {
    std::string last, first, middle;  // UTF-8, as a Contact holds them

    bool operator<(const Names& other) const {
        return std::tie(last, first, middle) < std::tie(other.last, other.first, other.middle);
    }
    bool operator==(const Names& other) const {
        return last == other.last && first == other.first && middle == other.middle;
    }
};

Names namesOf(const Contact& contact);

// "Ann M Lee", for messages.
std::string shown(const Names& names);

// A digest of everything the card file holds of a contact: two versions that the
// card file would store differently give different digests.
uint64_t digestOf(const Contact& contact);

}  // namespace cardsync
