#include "interchange/contact.h"

#include <gtest/gtest.h>

namespace {

TEST(ContactTest, NamesAndLineBreaksBetweenEntriesAndContacts) {
    const Entry entry{
        "Ren\xE9"
        "e",
        "Dub\xE9", "", "1 Road\r\nTown\rEnd\nX", "Female"};
    const Contact contact = contactOf(entry, 1252);
    EXPECT_EQ(contact.firstName, "Renée");
    EXPECT_EQ(contact.address, "1 Road\nTown\nEnd\nX");
    EXPECT_EQ(fullNameOf(contact), "Renée Dubé");

    Entry back;
    std::string why;
    size_t replaced = 0;
    ASSERT_TRUE(entryOf(contact, 1252, false, back, why, replaced)) << why;
    EXPECT_EQ(back.address, "1 Road\r\nTown\r\nEnd\r\nX");  // every line break as CR LF
    EXPECT_EQ(back.lastName, entry.lastName);

    const struct {
        std::string full, first, last;
    } names[] = {{"Ann Marie Lee", "Ann Marie", "Lee"}, {"Lee", "", "Lee"}, {"", "", ""}};
    for (const auto& n : names) {
        Contact c;
        takeFullName(n.full, c);
        EXPECT_EQ(c.firstName + "|" + c.lastName, n.first + "|" + n.last) << n.full;
    }
}

// A quoted-printable =0D=0A gives a contact a CR LF: it is stored as the one CR LF
// the form stores, never as CR CR LF.
TEST(ContactTest, EveryLineBreakOfAContactIsStoredAsOneCrLf) {
    for (const std::string address : {"a\r\nb", "a\nb", "a\rb"}) {
        Contact contact;
        contact.address = address;
        Entry entry;
        std::string why;
        size_t replaced = 0;
        ASSERT_TRUE(entryOf(contact, 1252, false, entry, why, replaced));
        EXPECT_EQ(entry.address, "a\r\nb");
    }
}

// A byte the code page does not define is named, never turned into an empty field.
TEST(ContactTest, AByteTheCodePageDoesNotDefineIsReported) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows' own table reads 0x98 of 1250 as the C1 control U+0098";
#endif
    const Entry entry{"Ann", "Lee", "", "Street \x98 1", "Female"};
    Contact contact;
    std::string why;
    EXPECT_FALSE(contactOf(entry, 1250, contact, why));
    EXPECT_EQ(why, "Address holds the byte 0x98, which code page 1250 does not define");
    EXPECT_EQ(contact.address, "Street \xEF\xBF\xBD 1");
    EXPECT_TRUE(contactOf(entry, 1252, contact, why));
    EXPECT_EQ(contact.address, "Street \xCB\x9C 1");
}

}  // namespace
