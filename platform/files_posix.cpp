#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace files {

namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class PosixFileSystem : public FileSystem {
  public:
    ReadResult readFile(const std::string& path, const Consumer& consume) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT ? ReadResult::missing : ReadResult::failed;
        char buffer[1 << 16];
        ReadResult result = ReadResult::ok;
        for (;;) {
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR) continue;
                result = ReadResult::failed;
                break;
            }
            consume(buffer, static_cast<size_t>(got));
        }
        ::close(fd);
        return result;
    }

    bool isReadOnly(const std::string& path) override {
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) return false;
        return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    }

    bool writeDurably(const std::string& path, const std::string& bytes) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
        // close() can report a deferred write error, so its result counts too.
        ok = ::close(fd) == 0 && ok;
        return ok;
    }

    ReplaceResult replaceFile(const std::string& source, const std::string& target) override {
        if (::rename(source.c_str(), target.c_str()) != 0)
            return errno == EBUSY ? ReplaceResult::busy : ReplaceResult::failed;
        // The rename lives in the folder; sync it so the new name survives a power cut.
        int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        return ReplaceResult::ok;
    }

    void removeFile(const std::string& path) override { ::unlink(path.c_str()); }

    void pause(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

  private:
    static bool writeAll(int fd, const std::string& bytes) {
        size_t written = 0;
        while (written < bytes.size()) {
            ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
            if (put < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            written += static_cast<size_t>(put);
        }
        return true;
    }
};

}  // namespace

FileSystem& realFileSystem() {
    static PosixFileSystem instance;
    return instance;
}

}  // namespace files
