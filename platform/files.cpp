#include "platform/files.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace files {

ReadResult readWholeFile(FileSystem& fs, const std::string& path, std::string& bytes) {
    bytes.clear();
    bytes.reserve(fs.expectedSize(path));
    return fs.readFile(path, [&](const char* piece, size_t size) { bytes.append(piece, size); });
}

bool FileSystem::writeDurably(const std::string& path, const std::string& bytes) {
    bool given = false;
    return writeDurably(path, [&](std::string_view& piece) {
        piece = bytes;
        return !std::exchange(given, true);
    });
}

std::vector<std::string> namesStartingWith(FileSystem& fs, const std::string& prefix) {
#ifdef _WIN32
    const size_t slash = prefix.find_last_of("\\/");
#else
    const size_t slash = prefix.rfind('/');
#endif
    const std::string folder = slash == std::string::npos ? "" : prefix.substr(0, slash + 1);
    const std::string start = prefix.substr(folder.size());
    std::vector<std::string> names;
    for (const std::string& name : fs.namesIn(folder))
        if (name.compare(0, start.size(), start) == 0) names.push_back(folder + name);
    return names;
}

std::string temporaryFileName(const std::string& prefix) {
    return prefix + machineName() + "-" + std::to_string(currentProcessId()) + ".tmp";
}

void removeStaleTemporaryFiles(FileSystem& fs, const std::string& prefix) {
    const std::string suffix = ".tmp", machine = machineName() + "-";
    for (const std::string& name : namesStartingWith(fs, prefix)) {
        if (name.size() < prefix.size() + machine.size() + suffix.size() + 1 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const size_t end = name.size() - suffix.size();
        size_t digits = end;
        while (digits > prefix.size() && name[digits - 1] >= '0' && name[digits - 1] <= '9')
            --digits;
        if (digits == end || end - digits > 10 || digits < prefix.size() + machine.size() ||
            name.compare(digits - machine.size(), machine.size(), machine) != 0)
            continue;
        const size_t start = digits - machine.size();
        if (start != prefix.size() && name[start - 1] != '.') continue;
        // Ten digits may exceed an unsigned long where it has 32 bits (std::stoul
        // would throw there); no process has such a number, so its save has ended.
        const unsigned long long number = std::strtoull(name.c_str() + digits, nullptr, 10);
        const auto id = static_cast<unsigned long>(number);
        if (id == number && (id == currentProcessId() || fs.isProcessRunning(id))) continue;
        fs.removeFile(name);
    }
}

}  // namespace files
