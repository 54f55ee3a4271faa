// Export, then import into an empty card file, gives the same card file bytes, for
// random entries of every storable kind, through each interchange format.

#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "data/card_codec.h"
#include "data/entry.h"
#include "interchange/csv.h"
#include "interchange/vcard.h"

namespace {

std::string randomField(std::mt19937& random, bool lineBreaks) {
    // Printable ASCII, the troublesome punctuation of both formats, and the accented
    // letters of 1252; every byte the card file can store but its own separators.
    static const std::string kBytes =
        " abcXYZ019,;:\"'\\=+-@^\t\x80\x8A\x9F\xA0\xC9\xE9\xFC\xFF\x81";
    std::string field;
    for (int n = random() % 12; n > 0; --n) {
        if (lineBreaks && random() % 8 == 0)
            field += "\r\n";
        else
            field += kBytes[random() % kBytes.size()];
    }
    return field;
}

// Any stored sex, also another program's words for one that reading maps ("male").
std::string randomSex(std::mt19937& random) {
    static const char* const kWords[] = {"Male", "Female", "male",    "M", "m",           "F",
                                         "f",    "FEMALE", "unknown", ";", "Unspecified", ";M"};
    const size_t pick = random() % (std::size(kWords) + 4);
    return pick < std::size(kWords) ? kWords[pick] : randomField(random, true);
}

TEST(RoundTripTest, ExportThenImportGivesTheSameCardFile) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 41; ++round) {
        std::vector<Entry> book;
        for (int i = 0, count = round == 40 ? 300 : 1 + random() % 40; i < count; ++i)
            book.push_back({randomField(random, true), randomField(random, true),
                            randomField(random, true), randomField(random, true),
                            randomSex(random)});
        normaliseEntries(book);
        const std::vector<Entry> normalised = book;
        const std::string cardFile = encodeCardFile(normalised);
        std::vector<Contact> contacts;
        for (const Entry& e : normalised) contacts.push_back(contactOf(e, 1252));

        const struct {
            const char* name;
            std::string text;
        } exports[] = {{"vCard 3.0", vcard::write(contacts, vcard::Version::v3)},
                       {"vCard 4.0", vcard::write(contacts, vcard::Version::v4)},
                       {"CSV", csv::write(contacts, csv::Layout::plain)},
                       {"Google CSV", csv::write(contacts, csv::Layout::google)},
                       {"Outlook CSV", csv::write(contacts, csv::Layout::outlook)}};
        for (const auto& exported : exports) {
            const ContactsRead result = vcard::looksLikeVCard(exported.text)
                                            ? vcard::read(exported.text)
                                            : csv::read(exported.text);
            ASSERT_TRUE(result.notThisFormat.empty()) << result.notThisFormat;
            EXPECT_TRUE(result.problems.empty()) << exported.name;
            const std::vector<Contact>& read = result.contacts;
            std::vector<Entry> imported;
            for (const Contact& c : read) {
                Entry e;
                std::string why;
                size_t replaced = 0;
                ASSERT_TRUE(entryOf(c, 1252, false, e, why, replaced))
                    << exported.name << ": " << why;
                imported.push_back(e);
            }
            normaliseEntries(imported);
            ASSERT_EQ(encodeCardFile(imported), cardFile) << exported.name << " in round " << round;
        }
    }
}

}  // namespace
