#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "interchange/contact.h"

// vCard (RFC 2426 for 3.0, RFC 6350 for 4.0): one card per contact.
namespace vcard {

enum class Version { v3, v4 };

// CRLF line ends, lines folded at 75 octets without splitting a character.
std::string write(const std::vector<Contact>& contacts, Version version);
// One card of `write`, added to `out`, so that a large export can go out in pieces.
void appendCard(std::string& out, const Contact& contact, Version version);

// True when the text starts (after a byte-order mark and blank lines) with BEGIN:VCARD.
bool looksLikeVCard(const std::string& text);

// Tolerant of what other programs write: LF-only lines, folded lines, unknown
// escapes (read as the plain character), several cards, 2.1's CHARSET and
// QUOTED-PRINTABLE. A card without a name, and a line outside any card, are
// reported and skipped. With `each`, each contact goes there as it is read.
// `linesBefore` numbers the lines as a part of a larger file (see pieceEnd).
ContactsRead read(const std::string& text, const ContactHandler& each = nullptr,
                  size_t linesBefore = 0);

// Where a large file may be cut so that reading the parts one after another, each
// after the lines before it, gives exactly what reading it whole gives: just after
// the last END:VCARD line that continues no line before it (by folding or quoted-
// printable) and is followed by one that does not continue it. 0 where there is none.
size_t pieceEnd(std::string_view text);

// How many lines `text` holds, counted as the reader counts them: CR LF, LF and a
// lone CR each end one.
size_t lineCount(std::string_view text);

// One content line as the writer writes it: folded at 75 octets, CRLF at the end.
std::string foldedLine(const std::string& line);

// ---- The property level: for changing some lines of a card another program wrote
// and keeping every other line byte for byte.

// One logical line of a card, read by the reader's own rules (folding, vCard 2.1's
// quoted-printable soft breaks; CR LF, LF and a lone CR each end a physical line).
struct ContentLine {
    std::string raw;   // the physical lines it was made of, line ends included
    std::string text;  // unfolded, without its line end
    std::string name;  // upper case, without its group; empty for a blank line

    std::string head() const;  // the group and name as written: "item1.TEL"
    // Each parameter as written, without its ';': {"TYPE=HOME", "PREF"}.
    std::vector<std::string> parameters() const;
    // A parameter or a parameter's value is `word` (in any case): TYPE=HOME,PREF
    // has HOME and PREF, as have a bare HOME and PREF=1.
    bool has(const std::string& word) const;
    std::string value() const;  // after the ':', as written (still escaped)
};

// The lines of a card: their `raw` bytes, one after another, are the card again.
std::vector<ContentLine> contentLines(const std::string& card);

// The value that `write` gives the property `name` of a contact in `version`, as
// written (escaped); empty where it writes no such property.
std::string writtenValue(const Contact& contact, Version version, const std::string& name);

// The UID of a contact: a UUID derived from its three names alone, so that a later
// export names the same person the same way.
std::string uidOf(const Contact& contact);

}  // namespace vcard
