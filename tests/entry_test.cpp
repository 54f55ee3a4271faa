#include "data/entry.h"

#include <gtest/gtest.h>

#include <random>

namespace {

Entry person(std::string first, std::string middle, std::string last, std::string address = "",
             std::string sex = "Female") {
    return Entry{std::move(first), std::move(last), std::move(middle), std::move(address),
                 std::move(sex)};
}

std::vector<std::string> lastNames(const std::vector<Entry>& book) {
    std::vector<std::string> names;
    for (const Entry& e : book) names.push_back(e.lastName);
    return names;
}

class EntryTest : public ::testing::Test {
  protected:
    std::vector<Entry> book;
};

TEST_F(EntryTest, SortsByLastNameBytewise) {
    struct Case {
        std::vector<std::string> given, expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{"Zed", "Abe"}, {"Abe", "Zed"}},
        {{"Abe", ""}, {"", "Abe"}},
        {{"\xC9tienne", "Zz", "zz"}, {"Zz", "zz", "\xC9tienne"}},
        {{"Lee ", "Lee", "Le"}, {"Le", "Lee", "Lee "}},
        {{"Abcdefghijklmnopq2", "Abcdefghijklmnop", "Abcdefghijklmnopq1", "Abcdefghijklmnop\xFF"},
         {"Abcdefghijklmnop", "Abcdefghijklmnopq1", "Abcdefghijklmnopq2", "Abcdefghijklmnop\xFF"}},
        {{std::string("ab\0", 3), "ab", std::string("ab\0c", 4)},
         {"ab", std::string("ab\0", 3), std::string("ab\0c", 4)}},
    };
    for (const Case& c : cases) {
        book.clear();
        for (const std::string& last : c.given) book.push_back(person("F", "", last));
        normaliseEntries(book);
        EXPECT_EQ(lastNames(book), c.expected);
    }
}

TEST_F(EntryTest, MergesOnlyExactlyEqualNames) {
    struct Case {
        Entry first, second;
        size_t expectedCount;
    };
    const Case cases[] = {
        {person("Ann", "", "Lee"), person("Ann", "", "Lee"), 1},
        {person("Ann", "", "Lee"), person("ann", "", "Lee"), 2},
        {person("Ann", "", "Lee"), person("Ann ", "", "Lee"), 2},
        {person("Ann", "M", "Lee"), person("Ann", "", "Lee"), 2},
        {person("ab", "c", "Lee"), person("a", "bc", "Lee"), 2},
    };
    for (const Case& c : cases) {
        book.clear();
        book.push_back(c.first);
        book.push_back(c.second);
        normaliseEntries(book);
        EXPECT_EQ(book.size(), c.expectedCount) << c.second.firstName << "/" << c.second.middleName;
    }
}

TEST_F(EntryTest, LaterAddressAndSexWinInEarlierPlace) {
    book.push_back(person("Ann", "", "Lee", "A1", "Female"));
    book.push_back(person("Bo", "", "Lee", "X", "Male"));
    book.push_back(person("Ann", "", "Lee", "B2", "Male"));
    normaliseEntries(book);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[0].firstName, "Ann");
    EXPECT_EQ(book[0].address, "B2");
    EXPECT_EQ(book[0].sex, "Male");
    EXPECT_EQ(book[1].firstName, "Bo");
}

// With many book of one last name an unstable sort could move the entry just
// saved in front of the old one, and the old address would win.
TEST_F(EntryTest, SaveUpdatesExistingEntryAmongManyWithSameLastName) {
    for (int i = 0; i < 200; ++i) {
        book.push_back(person("P" + std::to_string(i), "", "Lee", "old"));
        book.push_back(person("Q", "", std::to_string(i * 7919 % 200), "other"));
    }
    normaliseEntries(book);
    book.push_back(person("P7", "", "Lee", "new"));
    normaliseEntries(book);
    ASSERT_EQ(book.size(), 400u);
    for (const Entry& e : book) {
        if (e.firstName == "P7") {
            EXPECT_EQ(e.address, "new");
        }
    }
}

// The merge as first described: a linear search of the new collection for each entry.
std::vector<Entry> referenceMerge(const std::vector<Entry>& sorted) {
    std::vector<Entry> merged;
    for (const Entry& e : sorted) {
        bool found = false;
        for (Entry& m : merged) {
            if (sameNames(m, e)) {
                m.address = e.address;
                m.sex = e.sex;
                found = true;
                break;
            }
        }
        if (!found) merged.push_back(e);
    }
    return merged;
}

TEST_F(EntryTest, MergeMatchesLinearSearchEntryForEntry) {
    std::mt19937 random(20261207);
    auto pick = [&](std::vector<std::string> options) {
        return options[random() % options.size()];
    };
    for (int round = 0; round < 50; ++round) {
        book.clear();
        int count = 1 + random() % 300;
        for (int i = 0; i < count; ++i)
            book.push_back(person(pick({"Ann", "Bo", "ann", ""}), pick({"", "M"}),
                                  pick({"Lee", "Abe", "", "Zed", "\xE9"}), std::to_string(i),
                                  pick({"Male", "Female"})));
        if (round % 2) {
            // Sorted, same names and all, and then one Save more: the common case.
            std::stable_sort(book.begin(), book.end(), entryLess);
            book.push_back(person(pick({"Ann", "Bo", "Cy"}), pick({"", "M"}),
                                  pick({"Lee", "Abe", "", "Moe"}), "saved", "Male"));
        }
        std::vector<Entry> sorted = book;
        std::stable_sort(sorted.begin(), sorted.end(), entryLess);
        std::vector<Entry> expected = referenceMerge(sorted);

        normaliseEntries(book);
        ASSERT_EQ(book.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_TRUE(sameNames(book[i], expected[i]));
            EXPECT_EQ(book[i].address, expected[i].address);
            EXPECT_EQ(book[i].sex, expected[i].sex);
        }
        std::vector<Entry> once = book;
        normaliseEntries(book);
        ASSERT_EQ(book.size(), once.size());
        for (size_t i = 0; i < once.size(); ++i) EXPECT_EQ(book[i].address, once[i].address);
    }
}

TEST(EntryPutterTest, PutsByTheRuleOfSave) {
    std::vector<Entry> book = {person("Bo", "", "Zed", "Z", "Male"), person("Al", "", "Abe", "A")};
    EntryPutter putter(book);
    const struct {
        Entry entry;
        PutResult result;
    } puts[] = {
        {person("Al", "", "Abe", "A"), PutResult::unchanged},
        {person("Al", "", "Abe", "A2", "Male"), PutResult::updated},
        {person("al", "", "Abe"), PutResult::added},  // names are compared exactly
        {person("Cy", "", "Moe", "M"), PutResult::added},
        {person("Cy", "", "Moe", "M2"), PutResult::updated},  // one appended before
    };
    for (const auto& p : puts) EXPECT_EQ(putter.put(p.entry), p.result) << p.entry.address;
    normaliseEntries(book);
    ASSERT_EQ(book.size(), 4u);
    EXPECT_EQ(book[0].address + book[0].sex, "A2Male");
    EXPECT_EQ(book[2].lastName + book[2].address, "MoeM2");
}

}  // namespace
