#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "data/entry.h"

// One person as vCard and CSV carry it: the entry's five fields as UTF-8 text,
// with "\n" for a line break.
struct Contact {
    std::string firstName, middleName, lastName, address, sex;
    size_t line = 0;  // where it starts in the file it was read from
    // What names a company's record, which has no personal name: "FN" or "ORG" of a
    // card, or the company column of a CSV row; the entry is known by it as its last name.
    std::string namedBy = std::string();
};

// A record of an interchange file that could not be taken, and why.
struct Problem {
    size_t line;
    std::string reason;
};

// Where a reader hands each contact as soon as it has read it, so that a large
// file's contacts need not be held all at once.
using ContactHandler = std::function<void(Contact&)>;

// What a reader made of a file: its contacts (unless they went to a handler), the
// records it could not take, and how many values of each property or column the
// card file cannot hold.
struct ContactsRead {
    std::vector<Contact> contacts;
    std::vector<Problem> problems;
    std::map<std::string, size_t> ignored;
    // Set, saying why, when the file as a whole is not of the reader's format.
    std::string notThisFormat;
};

// The contact of an entry, its bytes read in `codePage`; a line break (CR LF, or a
// lone CR or LF) becomes "\n". False, with `why` naming the field and the byte,
// when a byte is not defined by the code page; it then reads as U+FFFD.
bool contactOf(const Entry& entry, unsigned codePage, Contact& contact, std::string& why);
// The same for showing: an undefined byte as U+FFFD.
Contact contactOf(const Entry& entry, unsigned codePage);

// The entry of a contact, in `codePage`, each "\n" a CR LF as the form stores it.
// False, with `why` set, when a character cannot be held by the code page or would
// become a byte the card file cannot store; with `lossy`, such a character is
// stored as "?" instead and counted in `replaced`.
bool entryOf(const Contact& contact, unsigned codePage, bool lossy, Entry& entry, std::string& why,
             size_t& replaced);

// First, middle and last name, those that are not empty, with a space between.
std::string fullNameOf(const Contact& contact);

// What stands for an entry without any name where a name must be written.
constexpr const char* kNoName = "(no name)";

// The full name as a card carries it: never empty, kNoName for an entry without names.
std::string cardNameOf(const Contact& contact);

// An address in parts, as vCard's ADR and the address columns of CSV files give it.
struct AddressParts {
    std::string poBox, extended, street, locality, region, postalCode, country;
};

// The parts as the lines of one address, in one order for every format: post-office
// box, extended address, street (which may hold several lines), then locality,
// region and postal code on one line, then country; empty parts leave no line.
std::string joinAddress(const AddressParts& parts);

// The sex the card file stores for a gender value of another program: "Male" for
// male or M, "Female" for female or F (in any case), nothing for an unknown or
// unspecified one, and any other text as it is; text after a leading ';' is a
// stored sex written by `sexToWrite`, taken as it is.
std::string sexFromText(const std::string& text);

// The gender value that `sexFromText` reads back as the stored sex `sex`: the text
// itself, or, where it would be read as another ("male", "M", "unknown"), the text
// after a ';', which no other program writes there.
std::string sexToWrite(const std::string& sex);

// Names a contact by a full name alone: its last word is the last name, the words
// before it the first name.
void takeFullName(const std::string& fullName, Contact& contact);
