#pragma once

#include <string>

#include "interchange/contact.h"

// A server's vCard as the card file sees it. The card file owns only the names (N,
// FN), one address (the ADR marked preferred, else home, else the first) and the
// gender; every other line of the card is the server's and is kept byte for byte.
namespace cardsync {

// The contact the card holds, read by the vCard reader from the owned lines alone.
// False, with `why` set, when the card has no name or cannot be read.
bool readServerCard(const std::string& card, Contact& contact, std::string& why);

// The card with only the owned properties changed to `contact`'s: each owned line
// that changes is written anew in place (its group and parameters kept), one that
// is missing is added before END, an address that became empty is removed. A LABEL
// that spells out the old address follows it. Lines that do not change stay as they
// were, folding and line ends included.
std::string patchServerCard(const std::string& card, const Contact& contact);

// True when the card holds more than the card file keeps of it: phones, e-mail,
// photos, another address, unknown lines. Its own bookkeeping (UID, PRODID, REV)
// and the address label do not count.
bool holdsMoreThanTheCardFile(const std::string& card);

}  // namespace cardsync
