#pragma once

#include <functional>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

// The real file system with failures a test can switch on.
class FaultyFileSystem : public files::FileSystem {
  public:
    bool failReads = false;
    bool outOfMemoryOnRead = false;  // as a file too large for the address space would
    bool failWrites = false;
    int busyReplaces = 0;  // how many replaces answer "busy" before one goes through
    bool failReplaces = false;
    int pauses = 0;
    std::vector<std::string> writtenPaths;
    std::set<unsigned long> runningProcesses;

    files::ReadResult readFile(const std::string& path, const Consumer& consume) override {
        if (failReads) return files::ReadResult::failed;
        if (outOfMemoryOnRead) throw std::bad_alloc();
        return real().readFile(path, consume);
    }
    bool isReadOnly(const std::string& path) override { return real().isReadOnly(path); }
    using files::FileSystem::writeDurably;
    bool writeDurably(const std::string& path, const Producer& next) override {
        writtenPaths.push_back(path);
        if (!failWrites) return real().writeDurably(path, next);
        // Leave a partial file behind, as a full disk would.
        std::string bytes;
        for (std::string_view piece; next(piece);) bytes += piece;
        real().writeDurably(path, bytes.substr(0, bytes.size() / 2));
        return false;
    }
    files::ReplaceResult replaceFile(const std::string& source,
                                     const std::string& target) override {
        if (failReplaces) return files::ReplaceResult::failed;
        if (busyReplaces > 0) {
            --busyReplaces;
            return files::ReplaceResult::busy;
        }
        return real().replaceFile(source, target);
    }
    std::function<void()> beforeMove;  // another program acting just then
    files::MoveResult moveWithoutReplacing(const std::string& source,
                                           const std::string& target) override {
        if (beforeMove) beforeMove();
        return real().moveWithoutReplacing(source, target);
    }
    bool truncateFile(const std::string& path, size_t size) override {
        return real().truncateFile(path, size);
    }
    bool isFolder(const std::string& path) override { return real().isFolder(path); }
    std::string finalPath(const std::string& path) override { return real().finalPath(path); }
    std::string lastFailure() override { return real().lastFailure(); }
    std::vector<std::string> namesIn(const std::string& folder) override {
        return real().namesIn(folder);
    }
    void removeFile(const std::string& path) override { real().removeFile(path); }
    bool makeFolder(const std::string& path) override { return real().makeFolder(path); }
    std::function<void()> onPause;  // what happens while the program waits
    void pause(int) override {
        ++pauses;
        if (onPause) onPause();
    }
    std::function<void()> beforeLock;  // another program saving just then
    files::LockResult lock(const std::string& path,
                           std::unique_ptr<files::HeldLock>& held) override {
        if (beforeLock) beforeLock();
        return real().lock(path, held);
    }
    bool isProcessRunning(unsigned long processId) override {
        return runningProcesses.count(processId) > 0;
    }

  private:
    static files::FileSystem& real() { return files::realFileSystem(); }
};
