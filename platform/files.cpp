#include "platform/files.h"

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

}  // namespace files
