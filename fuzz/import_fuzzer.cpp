// The import path on arbitrary input, read as vCard or CSV: merge into a card file,
// save, reload, import again (nothing changes), and every export format and layout
// imported into an empty card file gives the same entries.

#include <cstdint>
#include <string>
#include <vector>

#include "data/card_codec.h"
#include "data/card_file.h"
#include "fuzz/fuzz_support.h"
#include "interchange/csv.h"
#include "interchange/vcard.h"
#include "tests/support/memory_files.h"

namespace {

// Puts the contacts the way `qbcard import` does, in merge mode.
void importInto(std::vector<Entry>& book, const std::vector<Contact>& contacts) {
    EntryPutter putter(book);
    for (const Contact& contact : contacts) {
        Entry entry;
        std::string why;
        size_t replaced = 0;
        if (entryOf(contact, 1252, false, entry, why, replaced)) putter.put(entry, PutMode::merge);
    }
    normaliseEntries(book);
}

std::vector<Contact> readAny(const std::string& text) {
    return (vcard::looksLikeVCard(text) ? vcard::read(text) : csv::read(text)).contacts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<Contact> contacts = readAny(text);
    MemoryFileSystem disk;
    CardFile card(kCardFileName, disk);
    std::vector<Entry> book;
    card.load(book);
    importInto(book, contacts);
    require(static_cast<bool>(card.save(book)), "save succeeds");
    const std::string saved = disk.files[kCardFileName];

    std::vector<Entry> reloaded;
    card.load(reloaded);
    require(encodeCardFile(reloaded) == saved, "reload gives the same entries");
    importInto(reloaded, contacts);
    require(encodeCardFile(reloaded) == saved, "importing again changes nothing");

    std::vector<Contact> exported;
    for (const Entry& e : reloaded) exported.push_back(contactOf(e, 1252));
    const std::string exports[] = {
        vcard::write(exported, vcard::Version::v3), vcard::write(exported, vcard::Version::v4),
        csv::write(exported, csv::Layout::plain), csv::write(exported, csv::Layout::google),
        csv::write(exported, csv::Layout::outlook)};
    for (const std::string& exportedText : exports) {
        std::vector<Entry> fresh;
        importInto(fresh, readAny(exportedText));
        require(encodeCardFile(fresh) == saved, "every export imports as the card file was");
    }
    return 0;
}
