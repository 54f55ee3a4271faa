// Feeds arbitrary bytes to the card-file loader as the content of "test.txt" and
// checks what must hold for any file, not just that nothing crashes:
// - no more entries than 0xFD bytes plus one;
// - load, save, load gives the same entries, and saving again gives the same bytes;
// - loading cuts at most one last Ctrl-Z from the file, a backup holds the original
//   and no temporary file is left;
// all with the file read in pieces of varying size.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/card_file.h"
#include "data/entry.h"
#include "tests/support/memory_files.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

bool sameEntry(const Entry& a, const Entry& b) {
    return sameNames(a, b) && a.address == b.address && a.sex == b.sex;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFileSystem disk;
    const std::string original(reinterpret_cast<const char*>(data), size);
    // The loader reads in pieces; let the input's length decide where they end.
    disk.pieceSize = 1 + size % 97;
    disk.files[kCardFileName] = original;

    CardFile card(kCardFileName, disk);
    std::vector<Entry> entries;
    card.load(entries);
    // Loading cuts one Ctrl-Z from the very end of the file, as text-mode opening does.
    const std::string truncated = disk.files[kCardFileName];
    require(truncated == original ||
                (original.back() == '\x1A' && truncated == original.substr(0, size - 1)),
            "loading cuts at most a last Ctrl-Z");
    auto terminators = std::count(original.begin(), original.end(), '\xFD');
    require(entries.size() <= static_cast<size_t>(terminators) + 1, "entries <= FD count + 1");

    require(static_cast<bool>(card.save(entries)), "save succeeds");
    const std::vector<Entry> saved = entries;
    const std::string firstSave = disk.files[kCardFileName];
    require(disk.files.size() <= 2, "no temporary file left");
    auto backup = disk.files.find(card.backupName(1));
    require(backup == disk.files.end() || backup->second == truncated,
            "the backup holds the original");

    entries.clear();
    card.load(entries);
    require(entries.size() == saved.size(), "reload gives as many entries");
    for (size_t i = 0; i < saved.size(); ++i)
        require(sameEntry(entries[i], saved[i]), "reload gives the same entries");

    require(static_cast<bool>(card.save(entries)), "second save succeeds");
    require(disk.files[kCardFileName] == firstSave, "second save gives the same bytes");
    return 0;
}
