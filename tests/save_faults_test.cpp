// Saving when things go wrong: the process killed mid-save, a disk that fills up
// at any byte, a folder the user may not write to. In every case the card file on
// disk must stay exactly the old or exactly the new content.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

#include "data/card_codec.h"
#include "data/card_file.h"
#include "data/entry.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::vector<Entry> makeEntries(size_t count, const std::string& addressTag) {
    std::vector<Entry> made;
    for (size_t i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        made.push_back(Entry{"First" + n, "Last" + std::to_string(i % 997), "M" + n,
                             addressTag + " " + n + " Road\r\nTown", i % 2 ? "Male" : "Female"});
    }
    entries = made;
    normaliseEntries();
    return entries;
}

// Runs `body` in a child process and returns its exit status.
int inChild(const std::function<int()>& body) {
    std::fflush(nullptr);  // or the child would print what the parent had buffered
    pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t filesIn(const fs::path& folder) {
    size_t count = 0;
    for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++count;
    return count;
}

class SaveFaultsTest : public ::testing::Test {
  protected:
    void TearDown() override { eraseAllEntries(); }
    TempFolder folder;
};

TEST_F(SaveFaultsTest, KilledMidSaveLeavesOldOrNewFileWhole) {
    const std::vector<Entry> versionA = makeEntries(20000, "A");
    const std::vector<Entry> versionB = makeEntries(20000, "B");
    const std::string bytesA = encodeCardFile(versionA), bytesB = encodeCardFile(versionB);
    entries = versionA;
    ASSERT_TRUE(saveCardFile());

    // Kill at random moments within about two saves, so that most kills land in one.
    auto start = std::chrono::steady_clock::now();
    entries = versionB;
    ASSERT_TRUE(saveCardFile());
    auto saveMicroseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();

    std::mt19937 random(20261207);
    int kills = 0, foundA = 0, foundB = 0, duringWrite = 0;
    // The child alternates between the two versions without copying either.
    entries = versionA;
    std::vector<Entry> other = versionB;
    for (; kills < 200; ++kills) {
        fs::remove(kCardFileTempName);            // so that a new one shows a save under way
        if (kills % 3 == 0) entries.swap(other);  // both A to B and B to A
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            if (write(ready[1], "x", 1) != 1) _exit(1);
            for (;;) {
                saveCardFile();
                entries.swap(other);
            }
        }
        char byte;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        close(ready[1]);
        if (kills % 2 == 0) {
            usleep(static_cast<useconds_t>(random() % (2 * saveMicroseconds + 1)));
        } else {
            // Aim at the write itself: wait for the temporary file, then kill within a few ms.
            for (int i = 0; i < 20000 && !fs::exists(kCardFileTempName); ++i) usleep(50);
            usleep(static_cast<useconds_t>(random() % 3000));
        }
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        const std::string onDisk = readBytes(kCardFileName);
        ASSERT_TRUE(onDisk == bytesA || onDisk == bytesB)
            << "after kill " << kills << ": " << onDisk.size() << " bytes, neither version";
        (onDisk == bytesA ? foundA : foundB)++;
        if (fs::exists(kCardFileTempName)) ++duringWrite;
        ASSERT_LE(filesIn(folder.path()), 2u) << "stray files after kill " << kills;
    }
    std::printf(
        "[ figures  ] %d kills (%d during a write), card file whole every time: "
        "%d times version A, %d times version B; %zu bytes each, one save %lld us\n",
        kills, duringWrite, foundA, foundB, bytesA.size(),
        static_cast<long long>(saveMicroseconds));
}

TEST_F(SaveFaultsTest, DiskFullAtAnyByteLeavesOldFileWhole) {
    entries = {Entry{"Ann", "Lee", "M", "1 Road\r\nTown", "Female"}};
    ASSERT_TRUE(saveCardFile());
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
            entries = newEntries;
            return saveCardFile() ? 0 : 1;
        });
        bool fits = limit >= newBytes.size();
        ASSERT_EQ(status, fits ? 0 : 1) << "limit " << limit;
        ASSERT_EQ(readBytes(kCardFileName), fits ? newBytes : oldBytes) << "limit " << limit;
        ASSERT_FALSE(fs::exists(kCardFileTempName)) << "limit " << limit;
        failures += fits ? 0 : 1;
        writeBytes(kCardFileName, oldBytes);
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
    int status = asUnprivilegedUser([] {
        entries = {Entry{"Bo", "Zed", "", "", "Male"}};
        return saveCardFile() ? 0 : 1;
    });
    fs::permissions(folder.path(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(readBytes(kCardFileName), oldBytes);
    EXPECT_FALSE(fs::exists(kCardFileTempName));
}

}  // namespace
