#include "interchange/csv.h"

#include <gtest/gtest.h>

namespace {

TEST(CsvTest, WritesQuotedGuardedCrlfRowsAfterAByteOrderMark) {
    Contact c;
    c.firstName = "=SUM(A1)";
    c.lastName = "Lee, \"Jr\"";
    c.address = "1 Road\nTown";
    c.sex = "'x";
    EXPECT_EQ(csv::write({c}, csv::Layout::plain),
              "\xEF\xBB\xBF"
              "First Name,Middle Name,Last Name,Address,Sex\r\n"
              "'=SUM(A1),,\"Lee, \"\"Jr\"\"\",\"1 Road\r\nTown\",''x\r\n");
    EXPECT_EQ(csv::write({}, csv::Layout::outlook, false),
              "First Name,Middle Name,Last Name,Home Street,Gender\r\n");
    ContactsRead read = csv::read(csv::write({c}, csv::Layout::google));
    ASSERT_TRUE(read.notThisFormat.empty());
    ASSERT_EQ(read.contacts.size(), 1u);
    EXPECT_EQ(read.contacts[0].firstName, c.firstName);  // the guard undone
    EXPECT_EQ(read.contacts[0].lastName, c.lastName);
    EXPECT_EQ(read.contacts[0].address, c.address);
    EXPECT_EQ(read.contacts[0].sex, c.sex);
}

TEST(CsvTest, ReadsOtherProgramsColumnsAndReportsBadRows) {
    const std::string text =
        "Given Name;Family Name;E-mail;Gender;Home Address\n"
        "Ann;Lee;a@b;female;\"1 Road\r\nTown\"\n"
        ";;;;\n"
        "Bo;Zed;x;male;;extra\n"
        "'@Cy;Moe;;unspecified;'hello\n";
    ContactsRead read = csv::read(text);
    ASSERT_TRUE(read.notThisFormat.empty());
    ASSERT_EQ(read.contacts.size(), 2u);
    EXPECT_EQ(read.contacts[0].firstName + "|" + read.contacts[0].lastName + "|" +
                  read.contacts[0].address + "|" + read.contacts[0].sex,
              "Ann|Lee|1 Road\nTown|Female");
    EXPECT_EQ(
        read.contacts[1].firstName + "|" + read.contacts[1].sex + "|" + read.contacts[1].address,
        "@Cy||'hello");
    EXPECT_EQ(read.contacts[1].line, 6u);
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(read.problems[0].line, 5u);
    EXPECT_EQ(read.ignored, (std::map<std::string, size_t>{{"E-mail", 2}}));
    EXPECT_FALSE(csv::read("Phone,Mail\r\n1,2\r\n").notThisFormat.empty());
}

std::string summary(const Contact& c) {
    return c.firstName + "|" + c.lastName + "|" + c.address + "|" + c.sex + "\n";
}

std::string summary(const ContactsRead& read) {
    std::string out;
    for (const Contact& c : read.contacts) out += summary(c);
    for (const Problem& p : read.problems) out += "line " + std::to_string(p.line) + "\n";
    for (const auto& [column, count] : read.ignored)
        out += "ignored " + column + " " + std::to_string(count) + "\n";
    return out;
}

TEST(CsvTest, AddressesNamesAndRowsOfOtherProgramsLoseNothing) {
    const struct {
        const char* name;
        std::string text, read;
    } cases[] = {
        {"outlook: Home, else Business; the other set's cells counted",
         "First Name,Last Name,Home Street,Home Street 2,Home City,Home State,Home Postal "
         "Code,Home Country/Region,Business Street,Business City,Home Address PO Box\n"
         "Ann,Lee,1 Road,Flat 2,Town,ST,12345,Land,9 Work St,City,\n"
         "Bo,Zed,,,,,,,9 Work St,City,\n",
         "Ann|Lee|1 Road\nFlat 2\nTown ST 12345\nLand|\nBo|Zed|9 Work St\nCity|\n"
         "ignored Business City 1\nignored Business Street 1\n"},
        {"google without Formatted",
         "Name,Given Name,Family Name,Gender,Address 1 - Street,Address 1 - City,"
         "Address 1 - Postal Code,Address 2 - Formatted\n"
         "Ann Lee,Ann,Lee,m,1 Road,Town,123,\n,Bo,Zed,F,,,,\"2 St\nCity\"\n",
         "Ann|Lee|1 Road\nTown 123|Male\nBo|Zed|2 St\nCity|Female\n"},
        {"thunderbird",
         "First Name,Last Name,Home Address,Home Address 2,Home City,Home ZipCode,Work Address\n"
         "Ann,Lee,1 Road,Flat 2,Town,123,x\n",
         "Ann|Lee|1 Road\nFlat 2\nTown 123|\nignored Work Address 1\n"},
        {"a Name alone names the row; a row without a name is refused with its line",
         "First Name,Last Name,Name,E-mail\n,,Ann Lee,a@b\n,,,x@y\n,,,\n",
         "Ann|Lee||\nline 3\nignored E-mail 2\n"},
        {"a quote never closed", "First Name,Last Name\nAnn,\"Lee\nBo,Zed\n", "line 2\n"},
        {"sep= names the delimiter", "sep=;\nFirst Name;Last Name\nAnn;Lee\nBo;\"Zed\n",
         "Ann|Lee||\nline 4\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(summary(csv::read(c.text)), c.read) << c.name;
}

// What qbcard writes in every layout comes back as it was: an entry without a name,
// one with all five fields empty, and every kind of sex.
TEST(CsvTest, EveryLayoutReadsBackWhatItWrote) {
    std::vector<Contact> contacts(5);
    contacts[1].address = "1 Road";
    contacts[2] = {"Ann", "", "Lee", "", "Male", 0};
    contacts[3] = {"Bo", "", "Zed", "2 St\nTown", "Female", 0};
    contacts[4] = {"Cy", "M", "Moe", "", "other", 0};
    for (csv::Layout layout : {csv::Layout::plain, csv::Layout::google, csv::Layout::outlook}) {
        ContactsRead read = csv::read(csv::write(contacts, layout));
        EXPECT_TRUE(read.problems.empty());
        ASSERT_EQ(read.contacts.size(), contacts.size()) << static_cast<int>(layout);
        for (size_t i = 0; i < contacts.size(); ++i) {
            Contact got = read.contacts[i];
            got.line = 0;
            EXPECT_EQ(summary(got) + got.middleName, summary(contacts[i]) + contacts[i].middleName)
                << static_cast<int>(layout) << i;
        }
    }
}

}  // namespace
