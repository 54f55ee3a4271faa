#include "data/card_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "data/card_codec.h"
#include "data/entry.h"
#include "platform/files.h"
#include "tests/support/faulty_files.h"
#include "tests/support/temp_folder.h"

namespace {

const std::string FE = "\xFE", FD = "\xFD", SUB = "\x1A";

bool exists(const char* path) { return std::filesystem::exists(path); }

class CardFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        eraseAllEntries();
        loadCardFile();  // as the program starts: in an empty folder, nothing
    }
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
    EXPECT_FALSE(exists(temporaryCardFileName().c_str()));

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
    EXPECT_FALSE(exists(temporaryCardFileName().c_str()));
}

TEST_F(CardFileTest, BytesCutOffAtLoadAreKeptInBackupsThatAreNeverWrittenOver) {
    const std::string originals[] = {"Al" + FD + "Bo" + SUB + "Cy" + FD + "Di" + FD,
                                     "Ed" + SUB + "Fay" + FD};
    const char* backups[] = {kCardFileBackupName, "test.txt.2.bak"};
    for (int load = 0; load < 2; ++load) {
        writeBytes(kCardFileName, originals[load]);
        eraseAllEntries();
        loadCardFile();
        SaveOutcome outcome = saveCardFile();
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome.backupName, backups[load]);
        add("Gus", "Hay");  // a later save keeps no second copy
        outcome = saveCardFile();
        EXPECT_TRUE(outcome.backupName.empty());
    }
    for (int load = 0; load < 2; ++load) EXPECT_EQ(readBytes(backups[load]), originals[load]);
    EXPECT_FALSE(exists("test.txt.3.bak"));
}

TEST_F(CardFileTest, OneCtrlZAtTheEndIsCutFromAFileThatMayBeWritten) {
    const std::string data = "Al" + FD + SUB + "Bo" + FD;
    for (bool readOnly : {false, true}) {
        writeBytes(kCardFileName, data + SUB);
        if (readOnly) makeReadOnly(kCardFileName);
        eraseAllEntries();
        EXPECT_EQ(loadCardFile(), LoadProblem::none);
        EXPECT_EQ(entryCount(), 1u);
        EXPECT_EQ(readBytes(kCardFileName), readOnly ? data + SUB : data) << readOnly;
        std::filesystem::permissions(kCardFileName, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
}

TEST_F(CardFileTest, RecordsAfterTheEndOfTheDataAreNotCountedWhenSizingTheCollection) {
    // Sized by every 0xFD, this collection would take some 2 GB before loading nothing.
    writeBytes(kCardFileName, SUB + std::string(12000000, '\xFD'));
    std::vector<Entry>().swap(entries);
    EXPECT_EQ(loadCardFile(), LoadProblem::none);
    EXPECT_EQ(entryCount(), 0u);
    EXPECT_LE(entries.capacity(), 16u);
    add("Al", "Abe");
    EXPECT_EQ(saveCardFile().backupName, kCardFileBackupName);
    EXPECT_EQ(std::filesystem::file_size(kCardFileBackupName), 12000001u);
}

TEST_F(CardFileTest, AFileTooLargeForMemoryIsReportedAndNeverWritten) {
    writeBytes(kCardFileName, "Al" + FD);
    FaultyFileSystem fs;
    fs.outOfMemoryOnRead = true;
    EXPECT_EQ(loadCardFile(), LoadProblem::tooLarge);
    EXPECT_EQ(entryCount(), 0u);
    fs.outOfMemoryOnRead = false;
    add("Bo", "Zed");
    EXPECT_EQ(saveCardFile().status, SaveStatus::tooLarge);
    EXPECT_EQ(readBytes(kCardFileName), "Al" + FD);
}

TEST_F(CardFileTest, ReplacedFileKeepsItsAttributes) {
    writeBytes(kCardFileName, "Al" + FD);
#ifdef _WIN32
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    SetFileAttributesA(kCardFileName, kept);
#else
    namespace fsys = std::filesystem;
    const fsys::perms kept =
        fsys::perms::owner_read | fsys::perms::owner_write | fsys::perms::group_read;
    fsys::permissions(kCardFileName, kept);
#endif
    loadCardFile();
    add("Bo", "Zed");
    ASSERT_TRUE(saveCardFile());
    EXPECT_EQ(readBytes(kCardFileName).substr(0, 2), "Al");
#ifdef _WIN32
    EXPECT_EQ(GetFileAttributesA(kCardFileName) & kept, kept);
#else
    EXPECT_EQ(fsys::status(kCardFileName).permissions(), kept);
#endif
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
        EXPECT_FALSE(exists(temporaryCardFileName().c_str())) << c.name;
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

TEST_F(CardFileTest, UnreadableFileIsReadBeforeItIsWritten) {
    const std::string original = "Al" + FD;
    writeBytes(kCardFileName, original);
    FaultyFileSystem fs;
    fs.failReads = true;
    EXPECT_EQ(loadCardFile(), LoadProblem::unreadable);
    EXPECT_EQ(entryCount(), 0u);
    add("Bo", "Zed");
    noteEntryPut(entryAt(0));
    EXPECT_EQ(saveCardFile().status, SaveStatus::unreadable);
    EXPECT_EQ(readBytes(kCardFileName), original);
    EXPECT_TRUE(hasUnwrittenChanges());

    // Once it can be read, it is read, and the change is made to what it holds.
    fs.failReads = false;
    SaveOutcome outcome = saveCardFile();
    EXPECT_TRUE(outcome);
    EXPECT_TRUE(outcome.reloaded);
    EXPECT_FALSE(hasUnwrittenChanges());
    ASSERT_EQ(entryCount(), 2u);
    EXPECT_EQ(entryAt(0).firstName, "Al");
    EXPECT_FALSE(exists(kCardFileBackupName));
}

TEST_F(CardFileTest, AnotherProgramsChangesAreReadAndOursAppliedToThem) {
    const Entry al{"Al", "Abe", "", "1", "Male"}, bo{"Bo", "Zed", "", "1", "Male"};
    const Entry cy{"Cy", "Moe", "", "", "Male"}, di{"Di", "Lee", "", "", "Female"};
    Entry bo2 = bo;
    bo2.address = "2";  // the same size
    struct Change {
        bool put;
        Entry entry;
    };
    const struct Case {
        const char* name;
        std::vector<Entry> byTheOther;  // nothing: the file is left alone
        std::vector<Change> ours;
        std::vector<Entry> expected;
    } cases[] = {
        {"none", {}, {{true, cy}}, {al, cy, bo}},
        {"added", {al, bo, di}, {{true, cy}}, {al, di, cy, bo}},
        {"same size, same time", {al, bo2}, {{false, al}}, {bo2}},
        {"removed, put again", {al}, {{true, bo}, {false, al}}, {bo}},
        {"put over", {al, bo2}, {{true, bo}}, {al, bo}},
    };
    for (const Case& c : cases) {
        entries = {al, bo};
        ASSERT_TRUE(saveCardFile());
        eraseAllEntries();
        loadCardFile();
        for (const Change& change : c.ours) {
            if (change.put) {
                appendEntry(change.entry);
                noteEntryPut(change.entry);
            } else {
                eraseEntryAt(0);
                noteEntryRemoved(change.entry);
            }
        }
        if (!c.byTheOther.empty()) {
            auto time = std::filesystem::last_write_time(kCardFileName);
            writeBytes(kCardFileName, encodeCardFile(c.byTheOther));
            std::filesystem::last_write_time(kCardFileName, time);
        }
        SaveOutcome outcome = saveCardFile();
        EXPECT_TRUE(outcome) << c.name;
        EXPECT_EQ(outcome.reloaded, !c.byTheOther.empty()) << c.name;
        EXPECT_EQ(readBytes(kCardFileName), encodeCardFile(c.expected)) << c.name;
    }
    // A card file that has vanished is written again from memory, not taken as empty.
    std::filesystem::remove(kCardFileName);
    appendEntry(cy);
    noteEntryPut(cy);
    SaveOutcome outcome = saveCardFile();
    EXPECT_FALSE(outcome.reloaded);
    EXPECT_EQ(readBytes(kCardFileName), encodeCardFile({al, cy, bo}));
}

TEST_F(CardFileTest, OnlyStaleTemporaryFilesOfThisMachineAreRemoved) {
    const std::string here = "test.txt." + files::machineName() + "-";
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {here + "4001.tmp", true},               // its save ended without cleaning up
        {here + "4002.tmp", false},              // a save under way
        {"test.txt.elsewhere-4001.tmp", false},  // another machine's, over a network share
        {"test.txt.tmp", false},
        {here + "4001.bak", false},
    };
    FaultyFileSystem fs;
    fs.runningProcesses = {4002};
    for (const auto& c : cases) writeBytes(c.name, "Zz" + FD);
    add("Bo", "Zed");
    ASSERT_TRUE(saveCardFile());
    for (const auto& c : cases) EXPECT_EQ(exists(c.name.c_str()), !c.removed) << c.name;
    EXPECT_EQ(fs.writtenPaths, std::vector<std::string>{temporaryCardFileName()});
    EXPECT_EQ(temporaryCardFileName(), here + std::to_string(files::currentProcessId()) + ".tmp");
}

}  // namespace
