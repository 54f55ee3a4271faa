#include <dirent.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/syscall.h>
#endif
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <utility>

#include "platform/files.h"

namespace files {

namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A rename or a new name lives in the folder; sync it so it survives a power cut.
void syncFolderOf(const std::string& path) {
    int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

// A lock file held with flock(), which the kernel gives up when the process ends.
// It is removed while still held, so that no lock file is left behind by a save
// that ends well; one left by a killed process is taken over by the next.
class FlockedFile : public HeldLock {
  public:
    FlockedFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~FlockedFile() override {
        ::unlink(path_.c_str());
        ::close(fd_);
    }

  private:
    std::string path_;
    int fd_;
};

class PosixFileSystem : public FileSystem {
  public:
    ReadResult readFile(const std::string& path, const Consumer& consume) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return noteFailure(errno == ENOENT ? ReadResult::missing : ReadResult::failed);
        char buffer[1 << 16];
        ReadResult result = ReadResult::ok;
        for (;;) {
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR) continue;
                result = noteFailure(ReadResult::failed);  // a folder opens but does not read
                break;
            }
            consume(buffer, static_cast<size_t>(got));
        }
        ::close(fd);
        return result;
    }

    size_t expectedSize(const std::string& path) override {
        struct stat info;
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
        return static_cast<size_t>(info.st_size);
    }

    bool isReadOnly(const std::string& path) override {
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) return false;
        return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    }

    // A device or a pipe (-o /dev/null) has nothing to flush and says so with EINVAL;
    // from a regular file that is a failure like any other.
    static bool isUnflushable(int fd) {
        struct stat info;
        return errno == EINVAL && ::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode);
    }

    using FileSystem::writeDurably;
    bool writeDurably(const std::string& path, const Producer& next) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 && errno == ENOENT) {  // a file is made where missing: its folder is not
            lastFailure_ = "no such folder";
            return false;
        }
        if (fd < 0) return noteFailure(false);
        bool ok = true;
        try {
            std::string_view piece;
            while (ok && next(piece)) ok = writeAll(fd, piece);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ok = ok && (::fsync(fd) == 0 || isUnflushable(fd));
        if (!ok) noteFailure(false);
        // close() can report a deferred write error, so its result counts too.
        if (::close(fd) != 0 && ok) ok = noteFailure(false);
        return ok;
    }

    ReplaceResult replaceFile(const std::string& source, const std::string& target) override {
        takeOwnershipOf(source, target);
        if (::rename(source.c_str(), target.c_str()) != 0)
            return errno == EBUSY ? ReplaceResult::busy : ReplaceResult::failed;
        syncFolderOf(target);
        return ReplaceResult::ok;
    }

    bool exchangeFiles(const std::string& source, const std::string& target) override {
#if defined(__linux__) && defined(SYS_renameat2) && defined(RENAME_EXCHANGE)
        takeOwnershipOf(source, target);
        if (::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(),
                      RENAME_EXCHANGE) != 0)
            return false;  // an older kernel, or a file system without it
        syncFolderOf(target);
        return true;
#else
        (void)source;
        (void)target;
        return false;
#endif
    }

    // The new file takes the old one's permissions and, where allowed, its owner.
    static void takeOwnershipOf(const std::string& source, const std::string& target) {
        struct stat info;
        if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            ::chmod(source.c_str(), info.st_mode & 07777);
            if (::chown(source.c_str(), info.st_uid, info.st_gid) != 0) {
                // Only the owner's own files can be given away; keeping ours is fine.
            }
        }
    }

    MoveResult moveWithoutReplacing(const std::string& source, const std::string& target) override {
        // A hard link is made only where no file has the name yet, in one step.
        if (::link(source.c_str(), target.c_str()) == 0) {
            ::unlink(source.c_str());
            syncFolderOf(target);
            return MoveResult::ok;
        }
        if (errno == EEXIST) return MoveResult::exists;
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return MoveResult::failed;
        // A file system without hard links: check, then rename.
        if (::access(target.c_str(), F_OK) == 0) return MoveResult::exists;
        if (::rename(source.c_str(), target.c_str()) != 0) return MoveResult::failed;
        syncFolderOf(target);
        return MoveResult::ok;
    }

    bool truncateFile(const std::string& path, size_t size) override {
        return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
    }

    std::string finalPath(const std::string& path) override {
        std::string current = path;
        for (int hop = 0; hop < 40; ++hop) {  // as many as the kernel follows
            struct stat info;
            if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
            char target[PATH_MAX];
            ssize_t length = ::readlink(current.c_str(), target, sizeof target - 1);
            if (length <= 0) break;
            std::string next(target, static_cast<size_t>(length));
            // A relative target is relative to the folder of the link.
            if (next[0] != '/' && current.find('/') != std::string::npos)
                next = folderOf(current) + "/" + next;
            current = next;
        }
        return current;
    }

    bool isSameFile(const std::string& one, const std::string& other) override {
        struct stat a, b;
        return ::stat(one.c_str(), &a) == 0 && ::stat(other.c_str(), &b) == 0 &&
               a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    bool isFolder(const std::string& path) override {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }

    std::vector<std::string> namesIn(const std::string& folder) override {
        std::vector<std::string> names;
        DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
        if (!listing) return names;
        while (dirent* item = ::readdir(listing)) names.push_back(item->d_name);
        ::closedir(listing);
        return names;
    }

    void removeFile(const std::string& path) override { ::unlink(path.c_str()); }

    bool makeFolder(const std::string& path) override {
        struct stat info;
        if (::mkdir(path.c_str(), 0777) == 0) syncFolderOf(path);
        return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }

    void pause(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    LockResult lock(const std::string& path, std::unique_ptr<HeldLock>& held) override {
        // Opened for writing where it may be, as NFS locks only such files; one that
        // another user's killed save left, readable by all, is locked all the same.
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return noteFailure(LockResult::failed);
        if (::fchmod(fd, 0644) != 0) {
            // Another user's file keeps its mode.
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            if (error == EWOULDBLOCK) return heldByAnother();
            // A file system without these locks guards nothing, as before them.
            if (error != ENOLCK && error != EOPNOTSUPP && error != EINVAL && error != EBADF)
                return noteFailure(LockResult::failed);
            held = std::make_unique<HeldLock>();
            return LockResult::held;
        }
        // Its holder removes it as it lets go: a lock on a file no longer at `path`
        // guards nothing, and the next try makes the file afresh.
        struct stat locked, named;
        if (::fstat(fd, &locked) != 0 || ::stat(path.c_str(), &named) != 0 ||
            locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
            ::close(fd);
            return heldByAnother();
        }
        held = std::make_unique<FlockedFile>(path, fd);
        return LockResult::held;
    }

    bool isProcessRunning(unsigned long processId) override {
        if (processId == 0 || processId > static_cast<unsigned long>(INT_MAX)) return false;
        // EPERM: it runs, but belongs to someone else.
        return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
    }

    std::string lastFailure() override { return lastFailure_; }

  private:
    LockResult heldByAnother() {
        lastFailure_ = "another program is saving it";
        return LockResult::busy;
    }

    // Keeps the reason of a failure, as errno has it now.
    template <typename Result>
    Result noteFailure(Result result) {
        const int error = errno;
        lastFailure_ = error == EISDIR ? "is a folder" : std::strerror(error);
        if (error != EISDIR && !lastFailure_.empty())
            lastFailure_[0] =
                static_cast<char>(std::tolower(static_cast<unsigned char>(lastFailure_[0])));
        return result;
    }

    std::string lastFailure_;

    static bool writeAll(int fd, std::string_view bytes) {
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

unsigned long currentProcessId() { return static_cast<unsigned long>(::getpid()); }

std::string machineName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "local";
    return name;
}

FileSystem& realFileSystem() {
    static PosixFileSystem instance;
    return instance;
}

}  // namespace files
