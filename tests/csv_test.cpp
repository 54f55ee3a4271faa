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

}  // namespace
