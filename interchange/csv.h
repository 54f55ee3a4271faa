#pragma once

#include <string>
#include <vector>

#include "interchange/contact.h"

// CSV (RFC 4180): a header row, then one row per contact.
namespace csv {

enum class Layout {
    plain,    // First Name, Middle Name, Last Name, Address, Sex
    google,   // the column names of Google Contacts
    outlook,  // the column names of Outlook
};

// CRLF rows; a field holding a comma, a quote, CR or LF quoted, its quotes doubled;
// a cell that begins with = + - @ (or ') guarded by a leading ' against formula
// injection; an entry without a name has "" as its first name cell. UTF-8, with a
// byte-order mark unless `byteOrderMark` is false.
std::string write(const std::vector<Contact>& contacts, Layout layout, bool byteOrderMark = true);
// The parts of `write`, so that a large export can go out in pieces: the byte-order
// mark and the header row, then one row per contact added to `out`.
std::string header(Layout layout, bool byteOrderMark);
void appendRow(std::string& out, const Contact& contact, Layout layout);

// Columns are matched by header name, with the aliases of the big address books'
// exports; the guard of `write` is undone. An address comes from a whole-address
// column or is joined from its parts, from the first of the Home, Business and
// Other (or Address 1, 2, ...) sets that holds one. A row without any name is
// reported, as is a quoted cell never closed. The cells a card file cannot hold
// are counted by column. When the first row names no column this program knows,
// it is not a CSV file of contacts, and `notThisFormat` says so. A first line
// "sep=;" names the delimiter. With `each`, contacts go there as they are read.
ContactsRead read(const std::string& text, const ContactHandler& each = nullptr);

}  // namespace csv
