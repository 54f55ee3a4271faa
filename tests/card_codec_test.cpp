#include "data/card_codec.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace std::string_literals;

const std::string FE = "\xFE", FD = "\xFD", SUB = "\x1A";

Entry person(std::string first, std::string middle, std::string last, std::string address,
             std::string sex) {
    return Entry{first, last, middle, address, sex};
}

void expectFields(const Entry& e, const std::vector<std::string>& firstMiddleLastAddressSex) {
    EXPECT_EQ((std::vector<std::string>{e.firstName, e.middleName, e.lastName, e.address, e.sex}),
              firstMiddleLastAddressSex);
}

TEST(CardCodecTest, WritesRecordsInFileOrderWithNothingElse) {
    std::vector<Entry> two = {person("Ann", "M", "Lee", "1 Road", "Female"),
                              person("Bo", "", "Zed", "", "Male")};
    EXPECT_EQ(encodeCardFile(two), "Ann" + FE + "M" + FE + "Lee" + FE + "1 Road" + FE + "Female" +
                                       FD + "Bo" + FE + FE + "Zed" + FE + FE + "Male" + FD);
    EXPECT_EQ(encodeCardFile({}), "");
    // A field is stored up to its first zero byte.
    EXPECT_EQ(
        encodeCardFile({person("A\0B"s, "", "", "", ""), person("", "", "", "1\n2\0\n3"s, "x\n")}),
        "A" + FE + FE + FE + FE + FD + FE + FE + FE + "1\r\n2" + FE + "x\r\n" + FD);
}

TEST(CardCodecTest, LineBreaksSurviveTextMode) {
    Entry withAddress = person("A", "", "B", "1 Road\r\nTown", "Male");
    std::string bytes = encodeCardFile({withAddress});
    EXPECT_NE(bytes.find("1 Road\r\r\nTown"), std::string::npos);
    DecodedCardFile decoded = decodeCardFile(bytes);
    ASSERT_EQ(decoded.entries.size(), 1u);
    EXPECT_EQ(decoded.entries[0].address, "1 Road\r\nTown");

    EXPECT_EQ(decodeCardFile("a\r\nb\rc\r").entries.at(0).firstName, "a\nb\rc\r");
    EXPECT_EQ(encodeCardFile({person("\n", "", "", "a\nb\r", "")}),
              "\r\n" + FE + FE + FE + "a\r\nb\r" + FE + FD);
}

TEST(CardCodecTest, CtrlZEndsTheData) {
    struct Case {
        std::string file;
        std::vector<std::string> firstNames;
        bool complete;
    };
    const Case cases[] = {
        {"A" + FD + "B" + FD + SUB, {"A", "B"}, true},  // one trailing Ctrl-Z is not data
        {"A" + FD + "B" + SUB + "C" + FD, {"A", "B"}, false},
        {"A" + FD + SUB + SUB, {"A"}, false},
        {SUB + "A" + FD, {}, false},
        {"A\r" + SUB + "x", {"A\r"}, false},
    };
    for (const Case& c : cases) {
        DecodedCardFile decoded = decodeCardFile(c.file);
        std::vector<std::string> names;
        for (const Entry& e : decoded.entries) names.push_back(e.firstName);
        EXPECT_EQ(names, c.firstNames);
        EXPECT_EQ(decoded.complete, c.complete);
    }
}

TEST(CardCodecTest, SplitsRecordsOfAnyShape) {
    struct Case {
        std::string file;
        std::vector<std::vector<std::string>> entries;
    };
    const Case cases[] = {
        {"", {}},
        {FD, {{"", "", "", "", ""}}},
        {FD + FD, {{"", "", "", "", ""}, {"", "", "", "", ""}}},
        {"A" + FE + "B" + FE + "C" + FE + "D" + FE + "E", {{"A", "B", "C", "D", "E"}}},
        {"A" + FE + "B", {{"A", "B", "A", "B", "A" + FE + "B"}}},
        {"Solo" + FD, {{"Solo", "Solo", "Solo", "Solo", "Solo"}}},
        {"A" + FE + "B" + FE + "C" + FE + "D" + FE + "E" + FE + "F" + FD,
         {{"A", "B", "C", "D", "E" + FE + "F"}}},
        {"A" + FE + FE + FE + FE + FD, {{"A", "", "", "", ""}}},
        {"A" + FE + "B" + FE + "C" + FD, {{"A", "B", "C", "A", "B" + FE + "C"}}},
    };
    for (const Case& c : cases) {
        DecodedCardFile decoded = decodeCardFile(c.file);
        ASSERT_EQ(decoded.entries.size(), c.entries.size());
        for (size_t i = 0; i < c.entries.size(); ++i)
            expectFields(decoded.entries[i], c.entries[i]);
        EXPECT_TRUE(decoded.complete);
    }
}

TEST(CardCodecTest, ZeroByteCutsTheRecordAndIsReportedAsLoss) {
    DecodedCardFile decoded = decodeCardFile("Ann" + FE + "M\0junk"s + FE + "x" + FD + "Bo" + FD);
    ASSERT_EQ(decoded.entries.size(), 2u);
    expectFields(decoded.entries[0], {"Ann", "M", "Ann", "M", "Ann" + FE + "M"});
    EXPECT_EQ(decoded.entries[1].firstName, "Bo");
    EXPECT_FALSE(decoded.complete);
}

// The loader reads the file in pieces; a CR, a CR LF or a Ctrl-Z split between two
// pieces must read as if the file came whole.
TEST(CardCodecTest, PiecesOfAnySizeReadAsTheWholeFile) {
    const std::string file = "Ann" + FE + "M\r" + FE + "Lee" + FE + "1 Road\r\r\nTown\r\n" + FE +
                             "Female" + FD + "Bo\0x"s + FD + "Cy\r" + SUB + "tail" + SUB;
    DecodedCardFile whole = decodeCardFile(file);
    ASSERT_EQ(whole.entries.size(), 3u);
    EXPECT_FALSE(whole.complete);
    for (size_t piece = 1; piece <= file.size(); ++piece) {
        std::vector<Entry> got;
        CardFileDecoder decoder(got);
        for (size_t at = 0; at < file.size(); at += piece)
            decoder.feed(file.data() + at, std::min(piece, file.size() - at));
        EXPECT_EQ(decoder.finish(), whole.complete) << piece;
        ASSERT_EQ(got.size(), whole.entries.size()) << piece;
        for (size_t i = 0; i < got.size(); ++i) {
            const Entry& w = whole.entries[i];
            expectFields(got[i], {w.firstName, w.middleName, w.lastName, w.address, w.sex});
        }
    }
    expectFields(whole.entries[0], {"Ann", "M\r", "Lee", "1 Road\r\nTown\n", "Female"});
    EXPECT_EQ(whole.entries[2].firstName, "Cy\r");
}

TEST(CardCodecTest, RecordsHaveNoLengthLimit) {
    std::string longAddress(5000, 'x');
    std::string file = encodeCardFile({person("A", "", "L", longAddress, "Male"),
                                       person("B", "", "M", std::string(1018, 'y'), "Male"),
                                       person("C", "", "N", "", "Female")});
    DecodedCardFile decoded = decodeCardFile(file);
    ASSERT_EQ(decoded.entries.size(), 3u);
    EXPECT_EQ(decoded.entries[0].address, longAddress);
    EXPECT_EQ(decoded.entries[1].address.size(), 1018u);
    EXPECT_EQ(decoded.entries[2].firstName, "C");
}

TEST(CardCodecTest, RandomEntriesRoundTripByteForByte) {
    std::mt19937 random(7);
    const std::string alphabet = "ab \r\n\r\n\xE9\x80\xFF\x7F,";
    auto field = [&] {
        std::string s(random() % 12, ' ');
        for (char& c : s) c = alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        std::vector<Entry> original(random() % 6);
        for (Entry& e : original) e = person(field(), field(), field(), field(), field());
        std::string bytes = encodeCardFile(original);
        DecodedCardFile decoded = decodeCardFile(bytes);
        ASSERT_EQ(decoded.entries.size(), original.size()) << round;
        for (size_t i = 0; i < original.size(); ++i) {
            const Entry& o = original[i];
            expectFields(decoded.entries[i],
                         {o.firstName, o.middleName, o.lastName, o.address, o.sex});
        }
        EXPECT_EQ(encodeCardFile(decoded.entries), bytes);
    }
}

TEST(CardCodecTest, KnowsWhichBytesCannotBeStored) {
    struct Case {
        std::string field;
        int expected;
    };
    const Case cases[] = {
        {"", -1},
        {"Novotn\xE1 \r\n\xE9\xFF", -1},
        {"Novotn\xFD", 0xFD},
        {"\xFEy", 0xFE},
        {"a\x1A", 0x1A},
        {"a\0b"s, 0x00},
    };
    for (const Case& c : cases) EXPECT_EQ(firstUnstorableByte(c.field), c.expected) << c.field;
}

}  // namespace
