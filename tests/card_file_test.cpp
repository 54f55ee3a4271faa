#include "data/card_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/card_codec.h"
#include "data/entry.h"
#include "tests/support/faulty_files.h"
#include "tests/support/temp_folder.h"

namespace {

const std::string FE = "\xFE", FD = "\xFD", SUB = "\x1A";

bool exists(const char* path) { return std::filesystem::exists(path); }

class CardFileTest : public ::testing::Test {
  protected:
    void SetUp() override { eraseAllEntries(); }
    void TearDown() override { eraseAllEntries(); }

    static void add(const std::string& first, const std::string& last,
                    const std::string& address = "") {
        appendEntry(Entry{first, last, "", address, "Male"});
    }

    TempFolder folder;
};

TEST_F(CardFileTest, MissingFileLoadsNothingAndCreatesNothing) {
    loadCardFile();
    EXPECT_EQ(entryCount(), 0u);
    EXPECT_FALSE(exists(kCardFileName));
}

TEST_F(CardFileTest, SavedFileLoadsBackNormalised) {
    add("Bo", "Zed", "1 Road\r\nTown");
    add("Al", "Abe");
    ASSERT_TRUE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileName), "Al" + FE + FE + "Abe" + FE + FE + "Male" + FD + "Bo" + FE +
                                            FE + "Zed" + FE + "1 Road\r\r\nTown" + FE + "Male" +
                                            FD);
    EXPECT_FALSE(exists(kCardFileTempName));

    eraseAllEntries();
    loadCardFile();
    ASSERT_EQ(entryCount(), 2u);
    EXPECT_EQ(entryAt(1).address, "1 Road\r\nTown");
    EXPECT_FALSE(exists(kCardFileBackupName));

    eraseAllEntries();
    ASSERT_TRUE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileName), "");
}

TEST_F(CardFileTest, LoadDoesNotNormalise) {
    writeBytes(kCardFileName, "Bo" + FE + FE + "Zed" + FE + FE + "Male" + FD + "Al" + FE + FE +
                                  "Abe" + FE + FE + "Male" + FD);
    loadCardFile();
    ASSERT_EQ(entryCount(), 2u);
    EXPECT_EQ(entryAt(0).lastName, "Zed");
}

TEST_F(CardFileTest, ReadOnlyFileLoadsButIsNeverReplaced) {
    const std::string original = "Al" + FE + FE + "Abe" + FE + FE + "Male" + FD;
    writeBytes(kCardFileName, original);
    makeReadOnly(kCardFileName);
    loadCardFile();
    ASSERT_EQ(entryCount(), 1u);
    add("Bo", "Zed");
    EXPECT_FALSE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileName), original);
    EXPECT_FALSE(exists(kCardFileTempName));
}

TEST_F(CardFileTest, BytesCutOffAtLoadAreKeptOnceAsBackup) {
    const std::string original = "Al" + FD + "Bo" + SUB + "Cy" + FD + "Di" + FD;
    writeBytes(kCardFileName, original);
    loadCardFile();
    ASSERT_EQ(entryCount(), 2u);
    ASSERT_TRUE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileBackupName), original);

    add("Ed", "Eve");
    ASSERT_TRUE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileBackupName), original);
}

TEST_F(CardFileTest, CompleteLoadMakesNoBackup) {
    writeBytes(kCardFileName, "Al" + FD + SUB);
    loadCardFile();
    ASSERT_TRUE(saveCardFile());
    EXPECT_FALSE(exists(kCardFileBackupName));
    EXPECT_EQ(readBytes(kCardFileName), "Al" + FE + "Al" + FE + "Al" + FE + "Al" + FE + "Al" + FD);
}

TEST_F(CardFileTest, FailedSaveLeavesOldFileWholeAndNoTemporaryFile) {
    const std::string original = "Al" + FD;
    struct Case {
        const char* name;
        void (*inject)(FaultyFileSystem&);
        int expectedPauses;
    };
    const Case cases[] = {
        {"write", [](FaultyFileSystem& fs) { fs.failWrites = true; }, 0},
        {"replace", [](FaultyFileSystem& fs) { fs.failReplaces = true; }, 0},
        {"always busy", [](FaultyFileSystem& fs) { fs.busyReplaces = 1000; }, 9},
    };
    for (const Case& c : cases) {
        writeBytes(kCardFileName, original);
        eraseAllEntries();
        add("Bo", "Zed");
        FaultyFileSystem fs;
        c.inject(fs);
        EXPECT_FALSE(saveCardFile()) << c.name;
        EXPECT_EQ(readBytes(kCardFileName), original) << c.name;
        EXPECT_FALSE(exists(kCardFileTempName)) << c.name;
        EXPECT_EQ(fs.pauses, c.expectedPauses) << c.name;
    }
}

TEST_F(CardFileTest, BrieflyBusyFileIsReplacedAfterRetrying) {
    FaultyFileSystem fs;
    fs.busyReplaces = 3;
    add("Bo", "Zed");
    EXPECT_TRUE(saveCardFile());
    EXPECT_EQ(fs.pauses, 3);
    EXPECT_EQ(readBytes(kCardFileName).substr(0, 2), "Bo");
}

TEST_F(CardFileTest, UnreadableFileIsNeverOverwritten) {
    const std::string original = "Al" + FD;
    writeBytes(kCardFileName, original);
    FaultyFileSystem fs;
    fs.failReads = true;
    loadCardFile();
    EXPECT_EQ(entryCount(), 0u);
    add("Bo", "Zed");
    EXPECT_FALSE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileName), original);

    // Once it can be read again, the original is kept before the first rewrite.
    fs.failReads = false;
    EXPECT_TRUE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileBackupName), original);
}

}  // namespace
