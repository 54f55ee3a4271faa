#include "cli/card_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "cli/command_line.h"
#include "tests/support/temp_folder.h"

namespace {

const std::string FE = "\xFE", FD = "\xFD";
const std::string kAl = "Al" + FE + "J." + FE + "Abe" + FE + FE + "Male" + FD;
const std::string kRenee =
    "Ren\xE9"
    "e" +
    FE + FE + "Dub\xE9" + FE + "1 Road\r\r\nTown" + FE + "Female" + FD;
// Renée Dubé with a two-line address, then Al J. Abe: out of last-name order.
const std::string kBook = kRenee + kAl;
const std::string kSorted = kAl + kRenee;
#ifdef _WIN32
const char* const kFolderReason = "permission denied (or a folder)\n";
#else
const char* const kFolderReason = "is a folder\n";
#endif
const std::string kIgnoredTel = "ignored (the card file cannot hold them): 1 TEL\n";

const char* const kNoName = "qbcard: people.vcf: line 6: the card has no name (N or FN)\n";
const char* const kPeople =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Roe;Rita\r\nTEL:1\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nFN:\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nN:Abe;Al;J.;;\r\nADR:;;2 St;Town;;;\r\nX-GENDER:Male\r\nEND:VCARD\r\n";

// GoogleTest reads what it captured in text mode on Windows, where CR LF comes back
// as LF: compare without CR there.
std::string comparable(std::string text) {
#ifdef _WIN32
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
#endif
    return text;
}

struct Case {
    std::vector<const char*> args;
    std::string cardIn;  // no card file when empty
    std::string out, err;
    std::string cardOut;
    int exitCode;
};

// Arguments and a card file in; standard output, standard error, the card file
// after and the exit code out, with "people.vcf" (kPeople) beside the card file.
TEST(CardCommandsTest, RunsEachCommandAsAUserWould) {
    const std::string afterImport = "Al" + FE + "J." + FE + "Abe" + FE + "2 St\r\r\nTown" + FE +
                                    "Male" + FD +
                                    "Ren\xE9"
                                    "e" +
                                    FE + FE + "Dub\xE9" + FE + "1 Road\r\r\nTown" + FE + "Female" +
                                    FD + "Rita" + FE + FE + "Roe" + FE + FE + FD;
    const Case cases[] = {
        {{"list"},
         kBook,
         "First Name  Middle Name  Last Name  Address        Sex\n"
         "Al          J.           Abe                       Male\n"
         "Renée                    Dubé       1 Road / Town  Female\n",
         "",
         kBook,
         0},
        {{"list", "--format", "tsv"},
         kBook,
         "First Name\tMiddle Name\tLast Name\tAddress\tSex\n"
         "Al\tJ.\tAbe\t\tMale\n"
         "Renée\t\tDubé\t1 Road\\nTown\tFemale\n",
         "",
         kBook,
         0},
        {{"find", "DUB"},
         kBook,
         "First Name  Middle Name  Last Name  Address        Sex\n"
         "Renée                    Dubé       1 Road / Town  Female\n",
         "",
         kBook,
         0},
        {{"find", "zzz"},
         kBook,
         "First Name  Middle Name  Last Name  Address  Sex\n",
         "",
         kBook,
         1},
        {{"check"},
         kBook + "X" + FE + "Y" + FD +
             "\x1A"
             "Z",
         "test.txt: 3 records, 15 fields, 55 bytes\n"
         "  records without exactly four field separators: 1\n"
         "  bytes after the Ctrl-Z that ends the data, not loaded: 1\n"
         "  entries whose sex is neither \"Male\" nor \"Female\" (the form shows Female): 1\n"
         "  entries out of last-name order (sorted at the next save): 1\n",
         "",
         kBook + "X" + FE + "Y" + FD +
             "\x1A"
             "Z",
         1},
        {{"check"},
         kAl + kRenee + kAl + kAl,
         "test.txt: 4 records, 20 fields, 81 bytes\n"
         "  entries with the same three names as an earlier one (merged into it at the next "
         "save): 2\n"
         "  entries out of last-name order (sorted at the next save): 1\n",
         "",
         kAl + kRenee + kAl + kAl,
         1},
        {{"check"},
         kSorted,
         "test.txt: 2 records, 10 fields, 49 bytes\n  no findings\n",
         "",
         kSorted,
         0},
        {{"import", "people.vcf", "--dry-run"},
         kBook,
         "people.vcf: 1 added, 1 updated, 0 unchanged, 1 rejected (a dry run: test.txt is "
         "unchanged)\n  added Roe, Rita\n  updated Abe, Al J.: Address\n"
         "ignored (the card file cannot hold them): 1 TEL\n",
         kNoName,
         kBook,
         1},
        {{"import", "people.vcf"},
         kBook,
         "people.vcf: 1 added, 1 updated, 0 unchanged, 1 rejected\n"
         "  added Roe, Rita\n  updated Abe, Al J.: Address\n"
         "ignored (the card file cannot hold them): 1 TEL\n",
         kNoName,
         afterImport,
         1},
        {{"import", "people.vcf"},
         afterImport,
         "people.vcf: 0 added, 0 updated, 2 unchanged, 1 rejected\n"
         "ignored (the card file cannot hold them): 1 TEL\n",
         kNoName,
         afterImport,
         1},
        // A record without an address or sex keeps what is stored; --replace empties it.
        {{"import", "bare.vcf"},
         kBook,
         "bare.vcf: 0 added, 0 updated, 1 unchanged, 0 rejected\n" + kIgnoredTel,
         "",
         kBook,
         0},
        {{"import", "bare.vcf", "--replace"},
         kBook,
         "bare.vcf: 0 added, 1 updated, 0 unchanged, 0 rejected\n"
         "  updated Dubé, Renée: Address, Sex\n" +
             kIgnoredTel,
         "",
         kAl +
             "Ren\xE9"
             "e" +
             FE + FE + "Dub\xE9" + FE + FE + FD,
         0},
        // The same person twice in one input: both lines said, the later wins, and
        // importing the file again writes nothing.
        {{"import", "twice.vcf"},
         kSorted,
         "twice.vcf: 0 added, 1 updated, 0 unchanged, 0 rejected\n"
         "  updated Abe, Al J.: Address\n",
         "qbcard: twice.vcf: line 6: Abe, Al J. again (first at twice.vcf line 1); the later "
         "one wins\n",
         "Al" + FE + "J." + FE + "Abe" + FE + "2" + FE + "Male" + FD + kRenee,
         0},
        {{"import", "twice.vcf"},
         "Al" + FE + "J." + FE + "Abe" + FE + "2" + FE + "Male" + FD + kRenee,
         "twice.vcf: 0 added, 0 updated, 1 unchanged, 0 rejected\n",
         "qbcard: twice.vcf: line 6: Abe, Al J. again (first at twice.vcf line 1); the later "
         "one wins\n",
         "Al" + FE + "J." + FE + "Abe" + FE + "2" + FE + "Male" + FD + kRenee,
         0},
        // A --file that is not a card file is never rewritten but with --force, and then
        // its original is kept.
        {{"--file", "people.vcf", "import", "bare.vcf"},
         "",
         "",
         "qbcard: people.vcf: is not a card file (1 of its records lack the four field "
         "separators); nothing was written. Give --force to rewrite it as a card file, its "
         "original kept as a backup\n",
         "",
         2},
        {{"import", "cards"},
         "",
         "cards: 2 added, 0 updated, 0 unchanged, 0 rejected\n  added Abe, Al J.\n  added "
         "Roe, Rita\n",
         "",
         "Al" + FE + "J." + FE + "Abe" + FE + "2" + FE + "Male" + FD + "Rita" + FE + FE + "Roe" +
             FE + FE + FD,
         0},
        // A phone's cards for businesses: each its own entry, named by FN or ORG.
        {{"import", "phone.vcf"},
         "",
         "phone.vcf: 5 added, 0 updated, 0 unchanged, 0 rejected\n"
         "  added Pizzeria Roma\n  added Bar Centrale\n  added Apotheke\n  added Zoo\n"
         "  added Garage Nord\n"
         "  Pizzeria Roma: no personal name; named by its FN (phone.vcf line 1)\n"
         "  Bar Centrale: no personal name; named by its FN (phone.vcf line 6)\n"
         "  Apotheke: no personal name; named by its FN (phone.vcf line 11)\n"
         "  Zoo: no personal name; named by its FN (phone.vcf line 16)\n"
         "  Garage Nord: no personal name; named by its ORG (phone.vcf line 21)\n"
         "ignored (the card file cannot hold them): 4 ORG\n",
         "",
         "" + FE + FE + "Apotheke" + FE + FE + FD + FE + FE + "Bar Centrale" + FE + FE + FD + FE +
             FE + "Garage Nord" + FE + FE + FD + FE + FE + "Pizzeria Roma" + FE + FE + FD + FE +
             FE + "Zoo" + FE + FE + FD,
         0},
        {{"import", "company.csv"},
         "",
         "company.csv: 2 added, 0 updated, 0 unchanged, 0 rejected\n  added Pizzeria Roma\n"
         "  added Abe, Al\n"
         "  Pizzeria Roma: no personal name; named by its Company (company.csv line 2)\n"
         "ignored (the card file cannot hold them): 1 Company\n",
         "",
         "Al" + FE + FE + "Abe" + FE + FE + FD + FE + FE + "Pizzeria Roma" + FE + FE + FD,
         0},
        {{"find", "dube", "TOWN", "--format", "tsv"},
         kBook,
         "First Name\tMiddle Name\tLast Name\tAddress\tSex\nRenée\t\tDubé\t1 Road\\nTown\tFemale\n",
         "",
         kBook,
         0},
        {{"list"},
         "\x1B]0;pwned\x07" + FE + FE + "Lee" + FE + FE + FD,
         "First Name    Middle Name  Last Name  Address  Sex\n^[]0;pwned^G               Lee\n",
         "",
         "\x1B]0;pwned\x07" + FE + FE + "Lee" + FE + FE + FD,
         0},
#ifndef _WIN32  // Windows' own table reads 0x98 of 1250 as the C1 control U+0098
        {{"--codepage", "1250", "export", "csv", "--no-bom"},
         "Ann" + FE + FE + "Lee" + FE + "Street \x98 1" + FE + FD + kAl,
         "First Name,Middle Name,Last Name,Address,Sex\r\nAl,J.,Abe,,Male\r\n",
         "qbcard: test.txt: Lee, Ann: Address holds the byte 0x98, which code page 1250 does not "
         "define; not exported\n",
         "Ann" + FE + FE + "Lee" + FE + "Street \x98 1" + FE + FD + kAl,
         1},
#endif
        {{"--file", "cards", "list"},
         "",
         "",
         std::string("qbcard: cards: the card file cannot be read: ") + kFolderReason,
         "",
         2},
        {{"import", "missing.vcf"}, kBook, "", "qbcard: missing.vcf: no such file\n", kBook, 2},
        {{"export", "vcard", "-o", "missing/book.vcf"},
         kBook,
         "",
         "qbcard: missing/book.vcf: cannot be written: no such folder\n",
         kBook,
         2},
        // Wider than an 80-column console (output that is not one): the address gives way.
        {{"list"},
         "Ann" + FE + FE + "Lee" + FE + std::string(70, 'x') + FE + "Female" + FD,
         "First Name  Middle Name  Last Name  Address" + std::string(30, ' ') + "Sex\n" +
             "Ann                      Lee        " + std::string(34, 'x') + "\u2026  Female\n",
         "",
         "Ann" + FE + FE + "Lee" + FE + std::string(70, 'x') + FE + "Female" + FD,
         0},
        {{"list"}, "", "", "qbcard: test.txt: no such card file\n", "", 2},
        {{"--file", "other.txt", "check"}, "", "", "qbcard: other.txt: no such card file\n", "", 2},
        {{"export", "vcard", "-o", "./test.txt"},
         kBook,
         "",
         "qbcard: ./test.txt: is the card file itself; export to another file\n",
         kBook,
         2},
        {{"export", "csv", "--layout", "outlook", "--no-bom"},
         kBook,
         "First Name,Middle Name,Last Name,Home Street,Gender\r\n"
         "Al,J.,Abe,,Male\r\n"
         "Renée,,Dubé,\"1 Road\r\nTown\",Female\r\n",
         "",
         kBook,
         0},
        {{"export", "json"},
         kBook,
         "",
         "qbcard: unknown command json\nRun qbcard --help for the commands.\n",
         kBook,
         2},
        {{"lst"},
         kBook,
         "",
         "qbcard: unknown command lst\nRun qbcard --help for the commands.\n",
         kBook,
         2},
        {{"--bogus"},
         kBook,
         "",
         "qbcard: unknown option --bogus\nRun qbcard --help for the commands.\n",
         kBook,
         2},
        {{"export", "vcard", "--vcard", "2.1"},
         kBook,
         "",
         "qbcard: --vcard: 2.1 not in {3.0,4.0}\nRun qbcard --help for the commands.\n",
         kBook,
         2},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        writeBytes("people.vcf", kPeople);
        writeBytes("bare.vcf", "BEGIN:VCARD\r\nN:Dubé;Renée\r\nTEL:1\r\nEND:VCARD\r\n");
        const std::string al =
            "BEGIN:VCARD\r\nN:Abe;Al;J.\r\nADR:;;1;;;;\r\nX-GENDER:Male\r\nEND:VCARD\r\n";
        writeBytes("twice.vcf", al + al.substr(0, al.find("1;")) + "2;;;;\r\nEND:VCARD\r\n");
        std::filesystem::create_directory("cards");
        writeBytes("cards/a.vcf",
                   al.substr(0, al.find("1;")) + "2;;;;\r\nX-GENDER:Male\r\nEND:VCARD\r\n");
        writeBytes("cards/b.VCF", "BEGIN:VCARD\r\nN:Roe;Rita\r\nEND:VCARD\r\n");
        writeBytes("cards/notes.txt", "not a card");
        std::string phone;
        for (const char* name : {"Pizzeria Roma", "Bar Centrale", "Apotheke", "Zoo", ""})
            phone += std::string("BEGIN:VCARD\r\nN:;;;;\r\nFN:") + name +
                     "\r\nORG:" + (*name ? name : "Garage Nord") + "\r\nEND:VCARD\r\n";
        writeBytes("phone.vcf", phone);
        writeBytes("company.csv",
                   "First Name,Last Name,Company\r\n,,Pizzeria Roma\r\nAl,Abe,Acme\r\n");
        if (!c.cardIn.empty()) writeBytes(kCardFileName, c.cardIn);
        std::vector<const char*> argv = {"qbcard"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int exitCode = runCommandLine(static_cast<int>(argv.size()), argv.data());
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        const std::string what = c.args.front() + std::string(" ") + c.args.back();
        EXPECT_EQ(comparable(out), comparable(c.out)) << what;
        EXPECT_EQ(comparable(err), comparable(c.err)) << what;
        EXPECT_EQ(exitCode, c.exitCode) << what;
        if (c.cardOut.empty())
            EXPECT_FALSE(std::filesystem::exists(kCardFileName)) << what;
        else
            EXPECT_EQ(readBytes(kCardFileName), c.cardOut) << what;
    }
}

TEST(CardCommandsTest, LossyImportStoresAQuestionMarkAndCountsIt) {
    TempFolder folder;
    writeBytes("p.csv", "First Name,Last Name\nŁucja,Nowak\n");
    const char* plain[] = {"qbcard", "import", "p.csv"};
    const char* lossy[] = {"qbcard", "import", "p.csv", "--lossy"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runCommandLine(3, plain), kDoneWithFindings);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qbcard: p.csv: line 2: First Name holds \"Ł\" (U+0141), which code page 1252 "
              "cannot hold\n");
    EXPECT_EQ(runCommandLine(4, lossy), kDone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "p.csv: 0 added, 0 updated, 0 unchanged, 1 rejected\n"
              "p.csv: 1 added, 0 updated, 0 unchanged, 0 rejected\n"
              "  added Nowak, ?ucja\n"  // as stored
              "1 characters stored as \"?\"\n");
    EXPECT_EQ(readBytes(kCardFileName), "?ucja" + FE + FE + "Nowak" + FE + FE + FD);
}

}  // namespace

// A vCard file larger than the piece the import reads at a time: cards, problems
// and line numbers come out as from one piece, also for a card cut across a piece.
// Exported again, a piece at a time, it reads back as the same card file.
TEST(CardCommandsTest, ALargeVCardFileReadsAndWritesAsIfWhole) {
    TempFolder folder;
    std::string cards, expectedErr;
    size_t line = 1;
    for (int i = 0; i < 150000; ++i, line += 3) {
        if (i % 50000 == 49999) {  // a nameless card in each piece
            cards += "BEGIN:VCARD\r\nFN:\r\nEND:VCARD\r\n";
            expectedErr += "qbcard: big.vcf: line " + std::to_string(line) +
                           ": the card has no name (N or FN)\n";
            continue;
        }
        cards += "BEGIN:VCARD\r\nN:L" + std::to_string(i) + ";F\r\nEND:VCARD\r\n";
    }
    ASSERT_GT(cards.size(), size_t{4} << 20);
    writeBytes("big.vcf", cards);
    const char* argv[] = {"qbcard", "import", "big.vcf"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runCommandLine(3, argv), kDoneWithFindings);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expectedErr);
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "big.vcf: 149997 added, 0 updated, 0 unchanged, 3 rejected");
    const std::string stored = readBytes(kCardFileName);
    EXPECT_EQ(std::count(stored.begin(), stored.end(), FD[0]), 149997);

    // Each card once: a card written twice would be merged on import, not counted.
    const char* exportAll[] = {"qbcard", "export", "vcard", "-o", "all.vcf"};
    const char* importAll[] = {"qbcard", "--file", "again.txt", "import", "all.vcf"};
    const char* listAll[] = {"qbcard", "list", "--format", "tsv"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runCommandLine(5, exportAll), kDone);
    EXPECT_EQ(runCommandLine(5, importAll), kDone);
    EXPECT_EQ(runCommandLine(4, listAll), kDone);
    const std::string again = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string all = readBytes("all.vcf");
    size_t cardsWritten = 0;
    for (size_t at = 0; (at = all.find("BEGIN:VCARD", at)) != std::string::npos; ++at)
        ++cardsWritten;
    EXPECT_EQ(cardsWritten, 149997u);
    EXPECT_EQ(readBytes("again.txt"), stored);
    // The report's count and a line per entry added, then the list's header and rows.
    EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), 1 + 149997 + 1 + 149997);
}
