#include "platform/files.h"

namespace files {

namespace {
FileSystem* current = nullptr;
}

FileSystem& fileSystem() { return current ? *current : realFileSystem(); }

void setFileSystem(FileSystem* replacement) { current = replacement; }

}  // namespace files
