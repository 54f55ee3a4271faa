// Saving when things go wrong: the process killed mid-save, a disk that fills up
// at any byte, a folder the user may not write to. In every case the card file on
// disk must stay exactly the old or exactly the new content. Built natively and
// for Windows, so that both file layers are tried.
//
// Two suites need folders that only a mount can give; the script that runs this
// program makes them and names them in the environment:
//   QB_SMALL_DISK        a folder on a small file system of its own
//   QB_READONLY_FOLDER   a folder on a read-only mount that holds a card file

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "data/card_codec.h"
#include "data/card_file.h"
#include "data/entry.h"
#include "platform/files.h"
#include "tests/support/faulty_files.h"
#include "tests/support/saver_process.h"
#include "tests/support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr int kKills = 100;  // each a new process under Wine
#else
constexpr int kKills = 200;
#endif
constexpr size_t kKillEntries = 20000;

size_t temporaryFilesIn(const fs::path& folder) {
    size_t count = 0;
    for (const auto& item : fs::directory_iterator(folder))
        count += item.path().extension() == ".tmp" ? 1 : 0;
    return count;
}

// The folder an environment variable names, or empty when the mount was refused.
fs::path folderFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? fs::path(value) : fs::path();
}

unsigned long long freeBytes(const fs::path& folder) {
#ifdef _WIN32
    ULARGE_INTEGER available;
    return GetDiskFreeSpaceExA(folder.string().c_str(), &available, nullptr, nullptr)
               ? available.QuadPart
               : 0;
#else
    struct statvfs info;
    return statvfs(folder.c_str(), &info) == 0
               ? static_cast<unsigned long long>(info.f_bavail) * info.f_frsize
               : 0;
#endif
}

// The card file of the current folder and the collection saved to it.
struct Book {
    CardFile file{kCardFileName, files::realFileSystem()};
    std::vector<Entry> entries;

    LoadProblem load() { return file.load(entries); }
    SaveOutcome save() { return file.save(entries); }
};

class SaveFaultsTest : public ::testing::Test {
  protected:
    TempFolder folder;
    Book book;
};

TEST_F(SaveFaultsTest, KilledMidSaveLeavesOldOrNewFileWhole) {
    const std::vector<Entry> versionA = addressBookVersion(kKillEntries, 'A');
    const std::string bytesA = encodeCardFile(versionA);
    const std::string bytesB = encodeCardFile(addressBookVersion(kKillEntries, 'B'));
    book.entries = versionA;
    ASSERT_TRUE(book.save());
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(book.save());  // unchanged, but a whole save all the same
    auto saveMicroseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();

    std::mt19937 random(20261207);
    int kills = 0, foundA = 0, foundB = 0, duringWrite = 0;
    for (; kills < kKills; ++kills) {
        SaverProcess saver(kKillEntries, kills % 3 == 0 ? 'B' : 'A');  // both A to B and B to A
        ASSERT_TRUE(saver.started());
        if (kills % 2 == 0) {
            std::this_thread::sleep_for(
                std::chrono::microseconds(random() % (2 * saveMicroseconds + 1)));
        } else {
            // Aim at the write itself: wait for the temporary file, then kill within a few ms.
            for (int i = 0; i < 20000 && !fs::exists(saver.temporaryFileName()); ++i)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        }
        saver.kill();

        const std::string onDisk = readBytes(kCardFileName);
        ASSERT_TRUE(onDisk == bytesA || onDisk == bytesB)
            << "after kill " << kills << ": " << onDisk.size() << " bytes, neither version";
        (onDisk == bytesA ? foundA : foundB)++;
        if (fs::exists(saver.temporaryFileName())) ++duringWrite;
        // The next saver removes what this one left.
        ASSERT_LE(temporaryFilesIn(folder.path()), 1u) << "stray files after kill " << kills;
    }
    std::printf(
        "[ figures  ] %d kills (%d during a write), card file whole every time: "
        "%d times version A, %d times version B; %zu bytes each, one save %lld us\n",
        kills, duringWrite, foundA, foundB, bytesA.size(),
        static_cast<long long>(saveMicroseconds));
}

// Another process's save holds the card file: a save waits for it, and the lock of
// a process killed while it holds it is given up with its life.
TEST_F(SaveFaultsTest, SaveWaitsForAnotherProcessWhoseLockEndsWithIt) {
    book.entries = addressBookVersion(10, 'A');
    ASSERT_TRUE(book.save());
    SaverProcess holder{SaverProcess::HoldLock{}};
    ASSERT_TRUE(holder.started());
    FaultyFileSystem waiting;
    waiting.onPause = [&] { holder.kill(); };
    CardFile card(kCardFileName, waiting);
    std::vector<Entry> entries;
    ASSERT_EQ(card.load(entries), LoadProblem::none);
    entries = addressBookVersion(10, 'B');
    EXPECT_TRUE(card.save(entries));
    EXPECT_GE(waiting.pauses, 1) << "the save did not wait for the lock";
    EXPECT_EQ(readBytes(kCardFileName), encodeCardFile(addressBookVersion(10, 'B')));
    EXPECT_FALSE(fs::exists(card.lockName())) << "the lock file was left behind";
}

// The disk fills at each page of the new file's content: a real file system, full.
TEST_F(SaveFaultsTest, FullDiskAtAnyPageLeavesOldFileWhole) {
    const fs::path disk = folderFromEnvironment("QB_SMALL_DISK");
    if (disk.empty()) GTEST_SKIP() << "no small file system was mounted for this test";
    fs::current_path(disk);
    book.load();
    book.entries = {Entry{"Ann", "Lee", "M", "1 Road\r\nTown", "Female"}};
    ASSERT_TRUE(book.save());
    const std::string oldBytes = readBytes(kCardFileName);
    const std::vector<Entry> newEntries = addressBookVersion(400, 'N');
    const std::string newBytes = encodeCardFile(newEntries);
    constexpr unsigned long long kPage = 4096;
    const unsigned long long pages = (newBytes.size() + kPage - 1) / kPage;

    int failures = 0;
    for (unsigned long long room = 0; room <= pages; ++room) {
        // Fill the disk so that `room` pages are left for the temporary file.
        unsigned long long fill = freeBytes(disk) - room * kPage;
        writeBytes("filler", std::string(static_cast<size_t>(fill), 'x'));
        ASSERT_EQ(freeBytes(disk), room * kPage) << "could not fill the disk";
        book.entries = newEntries;
        bool fits = room >= pages;
        ASSERT_EQ(static_cast<bool>(book.save()), fits) << room << " pages free";
        ASSERT_EQ(readBytes(kCardFileName), fits ? newBytes : oldBytes) << room << " pages free";
        ASSERT_EQ(temporaryFilesIn(disk), 0u) << room << " pages free";
        failures += fits ? 0 : 1;
        fs::remove("filler");
        writeBytes(kCardFileName, oldBytes);
        book.entries.clear();
        book.load();
    }
    fs::remove(kCardFileName);
    fs::current_path(folder.path());
    std::printf(
        "[ figures  ] disk full at each of %d pages of a %zu-byte save: reported as failure, "
        "0 bytes lost\n",
        failures, newBytes.size());
}

TEST_F(SaveFaultsTest, ReadOnlyMountLeavesOldFileWhole) {
    const fs::path readOnly = folderFromEnvironment("QB_READONLY_FOLDER");
    if (readOnly.empty()) GTEST_SKIP() << "no read-only folder was mounted for this test";
    fs::current_path(readOnly);
    const std::string oldBytes = readBytes(kCardFileName);
    book.entries.clear();
    book.load();
    book.file.put(book.entries, Entry{"Bo", "Zed", "", "", "Male"});
    EXPECT_FALSE(book.save());
    EXPECT_EQ(readBytes(kCardFileName), oldBytes);
    EXPECT_EQ(temporaryFilesIn(readOnly), 0u);
    fs::current_path(folder.path());
}

#ifndef _WIN32

// Runs `body` in a child process and returns its exit status.
int inChild(const std::function<int()>& body) {
    std::fflush(nullptr);  // or the child would print what the parent had buffered
    pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SaveFaultsTest, DiskFullAtAnyByteLeavesOldFileWhole) {
    book.entries = {Entry{"Ann", "Lee", "M", "1 Road\r\nTown", "Female"}};
    ASSERT_TRUE(book.save());
    const std::string oldBytes = readBytes(kCardFileName);
    const std::vector<Entry> newEntries = {Entry{"Ann", "Lee", "M", "2 Lane", "Female"},
                                           Entry{"Bo", "Zed", "", "", "Male"}};
    const std::string newBytes = encodeCardFile(newEntries);

    int failures = 0;
    for (rlim_t limit = 0; limit <= newBytes.size(); ++limit) {
        int status = inChild([&] {
            // Files may grow no further than `limit` bytes: writes past it fail as on a full disk.
            signal(SIGXFSZ, SIG_IGN);
            rlimit cap{limit, limit};
            setrlimit(RLIMIT_FSIZE, &cap);
            book.entries = newEntries;
            return book.save() ? 0 : 1;
        });
        bool fits = limit >= newBytes.size();
        ASSERT_EQ(status, fits ? 0 : 1) << "limit " << limit;
        ASSERT_EQ(readBytes(kCardFileName), fits ? newBytes : oldBytes) << "limit " << limit;
        ASSERT_EQ(temporaryFilesIn(folder.path()), 0u) << "limit " << limit;
        failures += fits ? 0 : 1;
        writeBytes(kCardFileName, oldBytes);
        book.entries.clear();
        book.load();
    }
    std::printf(
        "[ figures  ] disk full at each of %d byte positions: save reported failure, "
        "0 bytes lost\n",
        failures);
}

TEST_F(SaveFaultsTest, ReadOnlyFolderLeavesOldFileWhole) {
    const std::string oldBytes = "Al\xFD";
    writeBytes(kCardFileName, oldBytes);
    // The file itself may be written by anyone, so that only writing it in place could
    // succeed; the folder may not, so a new file cannot be made beside it.
    fs::permissions(kCardFileName, fs::perms::all);
    fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    auto asUnprivilegedUser = [](const std::function<int()>& body) {
        return inChild([&] {
            // Root may write anywhere; a user may not.
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 99;
            return body();
        });
    };
    ASSERT_EQ(asUnprivilegedUser([] { return ::access(kCardFileName, W_OK) == 0 ? 0 : 1; }), 0)
        << "the card file should be writable in place";
    int status = asUnprivilegedUser([this] {
        book.load();
        book.entries = {Entry{"Bo", "Zed", "", "", "Male"}};
        return book.save() ? 0 : 1;
    });
    fs::permissions(folder.path(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(readBytes(kCardFileName), oldBytes);
    EXPECT_EQ(temporaryFilesIn(folder.path()), 0u);
}

#endif

}  // namespace

int main(int argc, char** argv) {
    runAsSaverWhenAsked(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
