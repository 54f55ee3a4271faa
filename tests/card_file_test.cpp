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

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// Each test starts as the program does, in an empty folder, with a card file it
// has not read yet, on the real file system with failures it may switch on.
class CardFileTest : public ::testing::Test {
  protected:
    void add(const std::string& first, const std::string& last, const std::string& address = "") {
        book.push_back(Entry{first, last, "", address, "Male"});
    }

    TempFolder folder;
    FaultyFileSystem fs;
    CardFile card{kCardFileName, fs};
    std::vector<Entry> book;
};

TEST_F(CardFileTest, MissingFileLoadsNothingAndCreatesNothing) {
    card.load(book);
    EXPECT_EQ(book.size(), 0u);
    EXPECT_FALSE(exists(kCardFileName));
}

TEST_F(CardFileTest, SavedFileLoadsBackNormalised) {
    add("Bo", "Zed", "1 Road\r\nTown");
    add("Al", "Abe");
    ASSERT_TRUE(card.save(book));
    EXPECT_EQ(readBytes(kCardFileName), "Al" + FE + FE + "Abe" + FE + FE + "Male" + FD + "Bo" + FE +
                                            FE + "Zed" + FE + "1 Road\r\r\nTown" + FE + "Male" +
                                            FD);
    EXPECT_FALSE(exists(card.temporaryName()));

    book.clear();
    card.load(book);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[1].address, "1 Road\r\nTown");
    EXPECT_FALSE(exists(card.backupName(1)));

    book.clear();
    ASSERT_TRUE(card.save(book));
    EXPECT_EQ(readBytes(kCardFileName), "");
}

TEST_F(CardFileTest, PutAndRemoveKeepOrder) {
    card.put(book, Entry{"A", "One", "", "", "Male"});
    card.put(book, Entry{"B", "Two", "", "", "Male"});
    card.put(book, Entry{"C", "Three", "", "", "Male"});
    EXPECT_EQ(card.remove(book, Entry{"B", "Two", "", "", ""}), 1u);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[0].lastName, "One");
    EXPECT_EQ(book[1].lastName, "Three");
    EXPECT_EQ(card.remove(book, Entry{"B", "Two", "", "", ""}), 2u);
    card.remove(book, book[1]);
    card.remove(book, book[0]);
    EXPECT_EQ(book.size(), 0u);
}

TEST_F(CardFileTest, LoadDoesNotNormalise) {
    writeBytes(kCardFileName, "Bo" + FE + FE + "Zed" + FE + FE + "Male" + FD + "Al" + FE + FE +
                                  "Abe" + FE + FE + "Male" + FD);
    card.load(book);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[0].lastName, "Zed");
}

TEST_F(CardFileTest, ReadOnlyFileLoadsButIsNeverReplaced) {
    const std::string original = "Al" + FE + FE + "Abe" + FE + FE + "Male" + FD;
    writeBytes(kCardFileName, original);
    makeReadOnly(kCardFileName);
    card.load(book);
    ASSERT_EQ(book.size(), 1u);
    add("Bo", "Zed");
    EXPECT_FALSE(card.save(book));
    EXPECT_EQ(readBytes(kCardFileName), original);
    EXPECT_FALSE(exists(card.temporaryName()));
}

TEST_F(CardFileTest, BytesCutOffAtLoadAreKeptInBackupsThatAreNeverWrittenOver) {
    const std::string originals[] = {"Al" + FD + "Bo" + SUB + "Cy" + FD + "Di" + FD,
                                     "Ed" + SUB + "Fay" + FD};
    const std::string backups[] = {card.backupName(1), "test.txt.2.bak"};
    for (int load = 0; load < 2; ++load) {
        writeBytes(kCardFileName, originals[load]);
        book.clear();
        card.load(book);
        SaveOutcome outcome = card.save(book);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome.backupName, backups[load]);
        add("Gus", "Hay");  // a later save keeps no second copy
        outcome = card.save(book);
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
        book.clear();
        EXPECT_EQ(card.load(book), LoadProblem::none);
        EXPECT_EQ(book.size(), 1u);
        EXPECT_EQ(readBytes(kCardFileName), readOnly ? data + SUB : data) << readOnly;
        std::filesystem::permissions(kCardFileName, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    // Another program's save between the read and the cut is left whole.
    const std::string theirs = "Al" + FD + "Bo" + FD + "Cy" + FD;
    writeBytes(kCardFileName, data + SUB);
    fs.beforeLock = [&] { writeBytes(kCardFileName, theirs); };
    EXPECT_EQ(card.load(book), LoadProblem::none);
    EXPECT_EQ(readBytes(kCardFileName), theirs);
}

TEST_F(CardFileTest, RecordsAfterTheEndOfTheDataAreNotCountedWhenSizingTheCollection) {
    // Sized by every 0xFD, this collection would take some 2 GB before loading nothing.
    writeBytes(kCardFileName, SUB + std::string(12000000, '\xFD'));
    std::vector<Entry>().swap(book);
    EXPECT_EQ(card.load(book), LoadProblem::none);
    EXPECT_EQ(book.size(), 0u);
    EXPECT_LE(book.capacity(), 16u);
    add("Al", "Abe");
    EXPECT_EQ(card.save(book).backupName, card.backupName(1));
    EXPECT_EQ(std::filesystem::file_size(card.backupName(1)), 12000001u);
}

TEST_F(CardFileTest, AFileTooLargeForMemoryIsReportedAndNeverWritten) {
    writeBytes(kCardFileName, "Al" + FD);
    fs.outOfMemoryOnRead = true;
    EXPECT_EQ(card.load(book), LoadProblem::tooLarge);
    EXPECT_EQ(book.size(), 0u);
    fs.outOfMemoryOnRead = false;
    add("Bo", "Zed");
    EXPECT_EQ(card.save(book).status, SaveStatus::tooLarge);
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
    card.load(book);
    add("Bo", "Zed");
    ASSERT_TRUE(card.save(book));
    EXPECT_EQ(readBytes(kCardFileName).substr(0, 2), "Al");
#ifdef _WIN32
    EXPECT_EQ(GetFileAttributesA(kCardFileName) & kept, kept);
#else
    EXPECT_EQ(fsys::status(kCardFileName).permissions(), kept);
#endif
}

TEST_F(CardFileTest, CompleteLoadMakesNoBackup) {
    writeBytes(kCardFileName, "Al" + FD + SUB);
    card.load(book);
    ASSERT_TRUE(card.save(book));
    EXPECT_FALSE(exists(card.backupName(1)));
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
        book.clear();
        add("Bo", "Zed");
        FaultyFileSystem faulty;
        CardFile fresh(kCardFileName, faulty);
        c.inject(faulty);
        EXPECT_FALSE(fresh.save(book)) << c.name;
        EXPECT_EQ(readBytes(kCardFileName), original) << c.name;
        EXPECT_FALSE(exists(fresh.temporaryName())) << c.name;
        EXPECT_EQ(faulty.pauses, c.expectedPauses) << c.name;
    }
}

TEST_F(CardFileTest, BrieflyBusyFileIsReplacedAfterRetrying) {
    add("Bo", "Zed");
    ASSERT_TRUE(card.save(book));  // only a file that exists can be held open
    fs.busyReplaces = 3;
    EXPECT_TRUE(card.save(book));
    EXPECT_EQ(fs.pauses, 3);
    EXPECT_EQ(readBytes(kCardFileName).substr(0, 2), "Bo");
}

TEST_F(CardFileTest, UnreadableFileIsReadBeforeItIsWritten) {
    const std::string original = "Al" + FD;
    writeBytes(kCardFileName, original);
    fs.failReads = true;
    EXPECT_EQ(card.load(book), LoadProblem::unreadable);
    EXPECT_EQ(book.size(), 0u);
    card.put(book, Entry{"Bo", "Zed", "", "", "Male"});
    EXPECT_EQ(card.save(book).status, SaveStatus::unreadable);
    EXPECT_EQ(readBytes(kCardFileName), original);
    EXPECT_TRUE(card.hasUnwrittenChanges());

    // Once it can be read, it is read, and the change is made to what it holds.
    fs.failReads = false;
    SaveOutcome outcome = card.save(book);
    EXPECT_TRUE(outcome);
    EXPECT_TRUE(outcome.reloaded);
    EXPECT_FALSE(card.hasUnwrittenChanges());
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[0].firstName, "Al");
    EXPECT_FALSE(exists(card.backupName(1)));
}

TEST_F(CardFileTest, AnotherProgramsChangesAreReadAndOursAppliedToThem) {
    const Entry al{"Al", "Abe", "", "1", "Male"}, bo{"Bo", "Zed", "", "1", "Male"};
    const Entry cy{"Cy", "Moe", "", "", "Male"}, di{"Di", "Lee", "", "", "Female"};
    Entry bo2 = bo;
    bo2.address = "2";  // the same size
    // putAt: as an import puts, in place or appended, noted by its position.
    struct Change {
        enum { put, putAt, remove, putAsRead, removeAsRead } kind;
        Entry entry;
    };
    Entry bo3 = bo;
    bo3.address = "3";
    const struct Case {
        const char* name;
        std::vector<Entry> byTheOther;  // nothing: the file is left alone
        std::vector<Change> ours;
        std::vector<Entry> expected;
    } cases[] = {
        {"none", {}, {{Change::put, cy}}, {al, cy, bo}},
        {"added", {al, bo, di}, {{Change::put, cy}}, {al, di, cy, bo}},
        {"same size, same time", {al, bo2}, {{Change::remove, al}}, {bo2}},
        {"removed, put again", {al}, {{Change::put, bo}, {Change::remove, al}}, {bo}},
        {"put at positions",
         {al, bo2, di},
         {{Change::putAt, cy}, {Change::putAt, bo3}},
         {al, di, cy, bo3}},
        {"put at positions, file unchanged",
         {},
         {{Change::putAt, bo3}, {Change::putAt, cy}},
         {al, cy, bo3}},
        {"put at positions and back",
         {al, bo2},
         {{Change::putAt, bo3}, {Change::putAt, bo}},
         {al, bo2}},
        {"put as read, edited there", {al, bo2}, {{Change::putAsRead, bo3}}, {al, bo2}},
        {"put as read, not edited there", {al, bo, di}, {{Change::putAsRead, bo3}}, {al, di, bo3}},
        {"removed as read, edited there", {al, bo2}, {{Change::removeAsRead, bo}}, {al, bo2}},
        {"removed as read, not edited there", {al, bo, di}, {{Change::removeAsRead, bo}}, {al, di}},
        {"put over", {al, bo2}, {{Change::put, bo}}, {al, bo}},
    };
    for (const Case& c : cases) {
        book = {al, bo};
        ASSERT_TRUE(card.save(book));
        book.clear();
        card.load(book);
        PutBatch* batch = nullptr;
        for (const Change& change : c.ours) {
            if (change.kind == Change::put)
                card.put(book, change.entry);
            else if (change.kind == Change::putAt)
                (batch ? batch : batch = &card.putMany(book))->put(change.entry, PutMode::replace);
            else if (change.kind == Change::remove)
                card.remove(book, change.entry);
            else if (change.kind == Change::putAsRead)
                card.put(book, change.entry, CardFile::Over::asRead);
            else
                card.remove(book, change.entry, CardFile::Over::asRead);
        }
        if (!c.byTheOther.empty()) {
            auto time = std::filesystem::last_write_time(kCardFileName);
            writeBytes(kCardFileName, encodeCardFile(c.byTheOther));
            std::filesystem::last_write_time(kCardFileName, time);
        }
        SaveOutcome outcome = card.save(book);
        EXPECT_TRUE(outcome) << c.name;
        EXPECT_EQ(outcome.reloaded, !c.byTheOther.empty()) << c.name;
        EXPECT_EQ(readBytes(kCardFileName), encodeCardFile(c.expected)) << c.name;
    }
    // A card file that has vanished is written again from memory, not taken as empty.
    std::filesystem::remove(kCardFileName);
    card.put(book, cy);
    SaveOutcome outcome = card.save(book);
    EXPECT_FALSE(outcome.reloaded);
    EXPECT_EQ(readBytes(kCardFileName), encodeCardFile({al, cy, bo}));
    // Made again by another program just before this one's goes in: theirs is read
    // and this change applied to it, not written over.
    std::filesystem::remove(kCardFileName);
    card.put(book, di);
    fs.beforeMove = [&] {
        writeBytes(kCardFileName, encodeCardFile({al}));
        fs.beforeMove = nullptr;
    };
    outcome = card.save(book);
    EXPECT_TRUE(outcome.reloaded);
    EXPECT_EQ(readBytes(kCardFileName), encodeCardFile({al, di}));
}

TEST_F(CardFileTest, OnlyStaleTemporaryFilesOfThisMachineAreRemoved) {
    const std::string here = "test.txt." + files::machineName() + "-";
    const struct {
        std::string name;
        bool removed;
    } cases[] = {
        {here + "4001.tmp", true},               // its save ended without cleaning up
        {here + "4002.tmp", false},              // a save under way
        {here + "9999999999.tmp", true},         // no process has such a number
        {"test.txt.elsewhere-4001.tmp", false},  // another machine's, over a network share
        {"test.txt.tmp", false},
        {here + "4001.bak", false},
    };
    fs.runningProcesses = {4002};
    for (const auto& c : cases) writeBytes(c.name, "Zz" + FD);
    add("Bo", "Zed");
    ASSERT_TRUE(card.save(book));
    for (const auto& c : cases) EXPECT_EQ(exists(c.name.c_str()), !c.removed) << c.name;
    EXPECT_EQ(fs.writtenPaths, std::vector<std::string>{card.temporaryName()});
    EXPECT_EQ(card.temporaryName(), here + std::to_string(files::currentProcessId()) + ".tmp");
}

// A card file kept in another folder (a synced one, say) through a symbolic link:
// the link stays, and what it names is replaced, beside itself, keeping its mode.
TEST_F(CardFileTest, SavingThroughASymbolicLinkReplacesItsTarget) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows layer resolves links only where Windows has them";
#else
    namespace fsys = std::filesystem;
    fsys::create_directory("synced");
    writeBytes("synced/book.txt", "Al" + FE + FE + "Abe" + FE + FE + "Male" + FD);
    fsys::permissions("synced/book.txt", fsys::perms::owner_read | fsys::perms::owner_write);
    fsys::create_symlink("synced/book.txt", kCardFileName);
    ASSERT_EQ(card.load(book), LoadProblem::none);
    add("Bo", "Zed");
    ASSERT_TRUE(card.save(book));
    EXPECT_TRUE(fsys::is_symlink(kCardFileName));
    EXPECT_EQ(readBytes("synced/book.txt"), encodeCardFile(book));
    EXPECT_EQ(fsys::status("synced/book.txt").permissions(),
              fsys::perms::owner_read | fsys::perms::owner_write);
    EXPECT_EQ(fs.writtenPaths, std::vector<std::string>{card.temporaryName()});
    EXPECT_EQ(card.temporaryName().rfind("synced/book.txt.", 0), 0u);
#endif
}

}  // namespace
