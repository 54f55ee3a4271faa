#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

// A file system held in memory: the card file's own code paths, without a disk.
class MemoryFileSystem : public files::FileSystem {
  public:
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
    using files::FileSystem::writeDurably;
    bool writeDurably(const std::string& path, const Producer& next) override {
        std::string& bytes = files[path];
        bytes.clear();
        for (std::string_view piece; next(piece);) bytes += piece;
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
    bool exchangeFiles(const std::string& source, const std::string& target) override {
        auto one = files.find(source), other = files.find(target);
        if (one == files.end() || other == files.end()) return false;
        std::swap(one->second, other->second);
        return true;
    }
    files::MoveResult moveWithoutReplacing(const std::string& source,
                                           const std::string& target) override {
        if (files.count(target)) return files::MoveResult::exists;
        return replaceFile(source, target) == files::ReplaceResult::ok ? files::MoveResult::ok
                                                                       : files::MoveResult::failed;
    }
    bool truncateFile(const std::string& path, size_t size) override {
        auto found = files.find(path);
        if (found == files.end() || found->second.size() < size) return false;
        found->second.resize(size);
        return true;
    }
    bool isFolder(const std::string&) override { return false; }
    std::vector<std::string> namesIn(const std::string& folder) override {
        std::vector<std::string> names;
        for (const auto& file : files)
            if (file.first.compare(0, folder.size(), folder) == 0 &&
                file.first.find('/', folder.size()) == std::string::npos)
                names.push_back(file.first.substr(folder.size()));
        return names;
    }
    void removeFile(const std::string& path) override { files.erase(path); }
    // Files are held by their whole path: any folder exists.
    bool makeFolder(const std::string&) override { return true; }
    void pause(int) override {}
    bool isProcessRunning(unsigned long) override { return false; }

    // Locks held by name, each given up when its holder is destroyed.
    std::set<std::string> locked;
    files::LockResult lock(const std::string& path,
                           std::unique_ptr<files::HeldLock>& held) override {
        struct Held : files::HeldLock {
            Held(std::set<std::string>& in, std::string name) : in(in), name(std::move(name)) {}
            ~Held() override { in.erase(name); }
            std::set<std::string>& in;
            std::string name;
        };
        if (!locked.insert(path).second) return files::LockResult::busy;
        held = std::make_unique<Held>(locked, path);
        return files::LockResult::held;
    }
};
