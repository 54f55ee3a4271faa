#include "platform/safe_write.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/faulty_files.h"
#include "tests/support/temp_folder.h"

namespace {

size_t filesIn(const std::filesystem::path& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

TEST(SafeWriteTest, ReplaceLeavesTheOldFileWholeAndNoTemporaryFileWhenAStepFails) {
    struct Case {
        const char* name;
        void (*inject)(FaultyFileSystem&);
        bool replaced;
        int pauses;
    };
    const Case cases[] = {
        {"write", [](FaultyFileSystem& fs) { fs.failWrites = true; }, false, 0},
        {"replace", [](FaultyFileSystem& fs) { fs.failReplaces = true; }, false, 0},
        {"always busy", [](FaultyFileSystem& fs) { fs.busyReplaces = 1000; }, false, 9},
        {"briefly busy", [](FaultyFileSystem& fs) { fs.busyReplaces = 3; }, true, 3},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        writeBytes("state", "old");
        FaultyFileSystem fs;
        c.inject(fs);
        EXPECT_EQ(files::replaceDurably(fs, "state", "new"), c.replaced) << c.name;
        EXPECT_EQ(readBytes("state"), c.replaced ? "new" : "old") << c.name;
        EXPECT_EQ(filesIn(folder.path()), 1u) << c.name;
        EXPECT_EQ(fs.pauses, c.pauses) << c.name;
    }
}

TEST(SafeWriteTest, FreeNameIsTheFirstNoFileHasAndNothingIsWrittenOver) {
    TempFolder folder;
    writeBytes("kept 1", "first");
    writeBytes("kept 2", "second");
    FaultyFileSystem fs;
    auto numbered = [](int number) { return "kept " + std::to_string(number); };
    EXPECT_EQ(files::writeUnderFreeName(fs, "kept.tmp", "third", numbered), "kept 3");
    EXPECT_EQ(readBytes("kept 1"), "first");
    EXPECT_EQ(readBytes("kept 2"), "second");
    EXPECT_EQ(readBytes("kept 3"), "third");
    EXPECT_EQ(filesIn(folder.path()), 3u);

    // Every name taken, or the write failing: nothing is written, nothing left behind.
    EXPECT_EQ(files::writeUnderFreeName(fs, "kept.tmp", "fourth", [](int) { return "kept 1"; }),
              "");
    fs.failWrites = true;
    EXPECT_EQ(files::writeUnderFreeName(fs, "kept.tmp", "fourth", numbered), "");
    EXPECT_EQ(readBytes("kept 1"), "first");
    EXPECT_EQ(filesIn(folder.path()), 3u);
}

}  // namespace
