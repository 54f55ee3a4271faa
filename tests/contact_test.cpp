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

}  // namespace
