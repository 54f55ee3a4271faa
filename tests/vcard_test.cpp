#include "interchange/vcard.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Contact ann() {
    Contact c;
    c.firstName = "Ann";
    c.middleName = "M";
    c.lastName = "Lee, Jr; \\x";
    c.address = "1 Road\nTown";
    c.sex = "Female";
    return c;
}

TEST(VCardTest, WritesEachVersionExactly) {
    const std::string uid = vcard::uidOf(ann());
    EXPECT_EQ(
        vcard::write({ann()}, vcard::Version::v3),
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid +
            "\r\nN:Lee\\, Jr\\; \\\\x;Ann;M;;\r\nFN:Ann M Lee\\, Jr\\; \\\\x\r\n"
            "ADR:;;1 Road\\nTown;;;;\r\nLABEL:1 Road\\nTown\r\nX-GENDER:Female\r\nEND:VCARD\r\n");
    Contact other = ann();
    other.sex = "n/a";
    EXPECT_EQ(vcard::write({other}, vcard::Version::v4),
              "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:" + uid +
                  "\r\nN:Lee\\, Jr\\; \\\\x;Ann;M;;\r\nFN:Ann M Lee\\, Jr\\; \\\\x\r\n"
                  "ADR:;;1 Road\\nTown;;;;\r\nGENDER:;n/a\r\nEND:VCARD\r\n");
    // The UID follows the three names alone.
    Contact moved = ann();
    moved.address = "elsewhere";
    EXPECT_EQ(vcard::uidOf(moved), uid);
    moved.middleName = "";
    EXPECT_NE(vcard::uidOf(moved), uid);
}

TEST(VCardTest, FoldsAt75OctetsWithoutSplittingACharacter) {
    Contact c;
    c.lastName = std::string(100, 'x');
    for (int i = 0; i < 60; ++i) c.address += "\xC3\xA9";  // é, two octets each
    std::string text = vcard::write({c}, vcard::Version::v3);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 75u);
        if (end - start > 1 && text[start] == ' ') {
            EXPECT_NE(static_cast<unsigned char>(text[start + 1]) & 0xC0, 0x80u)
                << "split at " << start;
        }
    }
    ContactsRead read = vcard::read(text);
    ASSERT_EQ(read.contacts.size(), 1u);
    EXPECT_EQ(read.contacts[0].lastName, c.lastName);
    EXPECT_EQ(read.contacts[0].address, c.address);
}

TEST(VCardTest, ReadsWhatOtherProgramsWrite) {
    const std::string text =
        "\xEF\xBB\xBF"
        "BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann;;;\nitem1.TEL:1\nTEL:2\nNOTE:a \\q note\n"
        "ADR;TYPE=HOME:;;1 Ro\n ad;Town;;99;Land\nX-WAB-GENDER:2\nEND:VCARD\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller="
        "\r\n;J=FCrgen\r\n"
        "GENDER:F\r\nEMAIL:x@y\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\nVERSION:4.0\nTEL:3\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:4.0\nFN:Bo Zed\nX-GENDER:Male\nGENDER:;other\nEND:VCARD\n";
    ContactsRead read = vcard::read(text);
    ASSERT_EQ(read.contacts.size(), 3u);
    const Contact& lee = read.contacts[0];
    EXPECT_EQ(lee.lastName + "|" + lee.firstName + "|" + lee.address + "|" + lee.sex,
              "Lee|Ann|1 Road\nTown 99\nLand|Male");
    EXPECT_EQ(lee.line, 1u);
    const Contact& muller = read.contacts[1];
    EXPECT_EQ(muller.lastName + "|" + muller.firstName + "|" + muller.sex,
              "M\xC3\xBCller|J\xC3\xBCrgen|Female");
    EXPECT_EQ(
        read.contacts[2].firstName + "|" + read.contacts[2].lastName + "|" + read.contacts[2].sex,
        "Bo|Zed|other");
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(read.problems[0].line, 18u);
    EXPECT_EQ(read.ignored, (std::map<std::string, size_t>{{"EMAIL", 1}, {"NOTE", 1}, {"TEL", 3}}));
    EXPECT_TRUE(vcard::looksLikeVCard(text));
    EXPECT_FALSE(vcard::looksLikeVCard("First Name,Last Name\r\n"));
}

// Each line of text is one card's content between BEGIN and END; what the card reads
// as, and the problems the whole file reports.
TEST(VCardTest, QuotedPrintableSoftBreaksFoldsAndStrayLinesLoseNothing) {
    const struct {
        std::string cards;
        std::string read;  // last|first|address|sex of each contact, one per line
        size_t problems;
    } cases[] = {
        // A 2.1 line break is CR LF in the value: one line break, not two.
        {"N:Roe;Rita\r\nADR;ENCODING=QUOTED-PRINTABLE:;;line1=0D=0Aline2;City\r\n",
         "Roe|Rita|line1\r\nline2\nCity|\n", 0},
        // "quoted-printable" in a value says nothing about the line: the next card stays.
        {"N:Roe;Rita\r\nX-GENDER:quoted-printable=\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:Lee;Ann\r\n",
         "Roe|Rita||quoted-printable=\nLee|Ann||\n", 0},
        {"N:Roe;Rita\r\nADR:;;Quoted-Printable=;;;;\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:Lee;Ann\r\n",
         "Roe|Rita|Quoted-Printable=|\nLee|Ann||\n", 0},
        // A fold that falls just after an "=" keeps it.
        {"N:Roe;Rita\r\nADR;ENCODING=QUOTED-PRINTABLE:;;a=\r\n 3Db=\r\nc;;;;\r\n",
         "Roe|Rita|a=bc|\n", 0},
        // X-GENDER's M and F mean what GENDER's do, and so does a gender's text.
        {"N:Roe;Rita\r\nX-GENDER:M\r\n", "Roe|Rita||Male\n", 0},
        {"N:Roe;Rita\r\nGENDER:O;female\r\n", "Roe|Rita||Female\n", 0},
    };
    for (const auto& c : cases) {
        ContactsRead read =
            vcard::read("BEGIN:VCARD\r\nVERSION:2.1\r\n" + c.cards + "END:VCARD\r\n");
        std::string got;
        for (const Contact& k : read.contacts)
            got += k.lastName + "|" + k.firstName + "|" + k.address + "|" + k.sex + "\n";
        EXPECT_EQ(got, c.read) << c.cards;
        EXPECT_EQ(read.problems.size(), c.problems) << c.cards;
    }
    // A file of one long line of BEGIN:VCARD reads as nothing, and says so.
    ContactsRead stray = vcard::read(std::string("BEGIN:VCARD") + "BEGIN:VCARDBEGIN:VCARD");
    EXPECT_TRUE(stray.contacts.empty());
    ASSERT_EQ(stray.problems.size(), 1u);
    EXPECT_EQ(stray.problems[0].line, 1u);
}

// Where a large file may be cut: only after an END:VCARD line that no fold or
// quoted-printable "=" joins to a line before or after it.
TEST(VCardTest, CutsPiecesOnlyWhereNothingJoinsAcross) {
    const std::string card = "BEGIN:VCARD\r\nN:A;B\r\nEND:VCARD\r\n";
    const struct {
        std::string text;
        size_t end;
    } cases[] = {
        {card + card, card.size()},
        {card, 0},  // nothing after it yet: a fold may follow
        {card + " X\r\n" + card, 0},
        {"BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:a=\r\nEND:VCARD\r\n" + card, 0},
        {"BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:a==\r\n\r\nEND:VCARD\r\n" + card, 0},
        {"BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:a=\r\n \r\nEND:VCARD\r\n" + card, 0},
        {"BEGIN:VCARD\nN:A;B\nEND:VCARD\nBEGIN:VCARD\n", 28},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vcard::pieceEnd(c.text), c.end) << c.text;
        if (c.end) {
            EXPECT_EQ(vcard::lineCount(c.text.substr(0, c.end)), 3u) << c.text;
        }
    }
}

// The property level splits a card by the reader's rules and keeps every byte:
// the raw lines joined give the card again, whatever its line ends and folding.
TEST(VCardTest, ContentLinesKeepEveryByteAndReadAsTheReaderDoes) {
    const std::string card =
        "\xEF\xBB\xBF"
        "BEGIN:VCARD\r\nitem1.TEL;TYPE=CELL,pref:+1\nADR;PREF=1;LABEL=\"a:b\":;;St\r\n"
        " reet;;;;\rNOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nb\r\n\r\nEND:VCARD";
    const std::vector<vcard::ContentLine> lines = vcard::contentLines(card);
    std::string joined;
    for (const auto& line : lines) joined += line.raw;
    EXPECT_EQ(joined, card);
    const struct {
        std::string name, head, value;
        bool cell, pref;
    } expected[] = {{"BEGIN", "BEGIN", "VCARD", false, false},
                    {"TEL", "item1.TEL", "+1", true, true},
                    {"ADR", "ADR", ";;Street;;;;", false, true},
                    {"NOTE", "NOTE", "ab", false, false},
                    {"", "", "", false, false},
                    {"END", "END", "VCARD", false, false}};
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].name, expected[i].name) << i;
        EXPECT_EQ(lines[i].head(), expected[i].head) << i;
        EXPECT_EQ(lines[i].value(), expected[i].value) << i;
        EXPECT_EQ(lines[i].has("cell"), expected[i].cell) << i;
        EXPECT_EQ(lines[i].has("PREF"), expected[i].pref) << i;
    }
    EXPECT_EQ(lines[2].parameters(), (std::vector<std::string>{"PREF=1", "LABEL=\"a:b\""}));
}

}  // namespace

TEST(VCardTest, ACardWithoutAPersonalNameIsKnownByItsFnElseItsOrg) {
    const struct {
        const char* lines;
        const char* names;  // last|first|namedBy
    } cases[] = {
        {"N:;;;;\r\nFN:Pizzeria Roma\r\nORG:Pizzeria Roma Ltd;Kitchen", "Pizzeria Roma||FN"},
        {"ORG:Garage Nord;Service\r\nN:;;;;\r\nFN:", "Garage Nord||ORG"},
        {"FN:Bo Zed\r\nORG:Zed Inc", "Zed|Bo|"},
        {"ORG:Zed Inc", "Zed Inc||ORG"},
        {"N:Lee;Ann;;;\r\nFN:Dr Ann Lee\r\nORG:Lee & Co", "Lee|Ann|"},
        {"N:;;;;\r\nFN:(no name)", "||"},
        {"N:;;;;", "||"},
    };
    for (const auto& c : cases) {
        const ContactsRead read = vcard::read(std::string("BEGIN:VCARD\r\nVERSION:3.0\r\n") +
                                              c.lines + "\r\nEND:VCARD\r\n");
        ASSERT_EQ(read.contacts.size(), 1u) << c.lines;
        const Contact& got = read.contacts[0];
        EXPECT_EQ(got.lastName + "|" + got.firstName + "|" + got.namedBy, c.names) << c.lines;
        // The ORG that named the card is held; one that did not is counted as ignored.
        EXPECT_EQ(read.ignored.count("ORG"),
                  got.namedBy == "ORG" || !std::strstr(c.lines, "ORG") ? 0u : 1u)
            << c.lines;
    }
    // What is written is never an empty FN, and reads back as the same entry.
    Contact company, nameless;
    company.lastName = "Pizzeria Roma";
    for (const Contact& c : {company, nameless}) {
        const std::string card = vcard::write({c}, vcard::Version::v4);
        EXPECT_NE(card.find("\r\nFN:" + (c.lastName.empty() ? kNoName : c.lastName) + "\r\n"),
                  std::string::npos)
            << card;
        const ContactsRead read = vcard::read(card);
        ASSERT_EQ(read.contacts.size(), 1u);
        EXPECT_EQ(read.contacts[0].lastName, c.lastName);
    }
}
