#include "platform/files.h"

namespace files {

namespace {
FileSystem* current = nullptr;
}

FileSystem& fileSystem() { return current ? *current : realFileSystem(); }

void setFileSystem(FileSystem* replacement) { current = replacement; }

ReadResult readWholeFile(FileSystem& fs, const std::string& path, std::string& bytes) {
    bytes.clear();
    return fs.readFile(path, [&](const char* piece, size_t size) { bytes.append(piece, size); });
}

}  // namespace files
