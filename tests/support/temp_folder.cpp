#include "tests/support/temp_folder.h"

#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

TempFolder::TempFolder() : previous_(fs::current_path()) {
    std::random_device seed;
    for (;;) {
        path_ = fs::temp_directory_path() / ("qb-test-" + std::to_string(seed()));
        if (fs::create_directory(path_)) break;
    }
    fs::current_path(path_);
}

TempFolder::~TempFolder() {
    fs::current_path(previous_);
    std::error_code ignored;
    for (const auto& item : fs::directory_iterator(path_, ignored))
        fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void makeReadOnly(const std::string& path) {
    // On Windows this sets the read-only attribute; on POSIX it clears every write bit.
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}
