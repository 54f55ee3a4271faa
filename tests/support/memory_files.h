#pragma once

#include <algorithm>
#include <map>
#include <string>

#include "platform/files.h"

// A file system held in memory, installed for the lifetime of the object: the card
// file's own code paths, without a disk.
class MemoryFileSystem : public files::FileSystem {
  public:
    MemoryFileSystem() { files::setFileSystem(this); }
    ~MemoryFileSystem() override { files::setFileSystem(nullptr); }

    std::map<std::string, std::string> files;

    // Pieces of `pieceSize` bytes, so that readers meet pieces that end anywhere.
    size_t pieceSize = 1 << 16;

    files::ReadResult readFile(const std::string& path, const Consumer& consume) override {
        auto found = files.find(path);
        if (found == files.end()) return files::ReadResult::missing;
        const std::string& bytes = found->second;
        for (size_t at = 0; at < bytes.size(); at += pieceSize)
            consume(bytes.data() + at, std::min(pieceSize, bytes.size() - at));
        return files::ReadResult::ok;
    }
    bool isReadOnly(const std::string&) override { return false; }
    bool writeDurably(const std::string& path, const std::string& bytes) override {
        files[path] = bytes;
        return true;
    }
    files::ReplaceResult replaceFile(const std::string& source,
                                     const std::string& target) override {
        auto found = files.find(source);
        if (found == files.end()) return files::ReplaceResult::failed;
        files[target] = std::move(found->second);
        files.erase(found);
        return files::ReplaceResult::ok;
    }
    void removeFile(const std::string& path) override { files.erase(path); }
    void pause(int) override {}
};
