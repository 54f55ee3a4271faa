#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The few operating-system operations the card file needs, behind one narrow seam
// so that tests can replace them and inject failures. Paths are relative to the
// current working directory, as the card file's own name is.
namespace files {

enum class ReadResult { ok, missing, failed };
enum class ReplaceResult { ok, busy, failed };
enum class MoveResult { ok, exists, failed };
enum class LockResult { held, busy, failed };

// A lock on a file, given up when destroyed, or by the system when its process ends
// however it ends, so that a crash never leaves it held.
class HeldLock {
  public:
    virtual ~HeldLock() = default;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Hands the file's content, byte for byte and in order, to `consume` a piece at
    // a time, so that a large file need not be held whole.
    using Consumer = std::function<void(const char* bytes, size_t size)>;
    virtual ReadResult readFile(const std::string& path, const Consumer& consume) = 0;

    // The file's size, where it is known before reading (0 otherwise), so that a
    // reader can size its buffer once: growing it as pieces come holds the old and
    // the new buffer together, up to three times the file, at the last step.
    virtual size_t expectedSize(const std::string&) { return 0; }

    // True when the file exists and carries the read-only attribute (on POSIX:
    // no write permission bit at all). Checked by the program itself, because the
    // replace below would not refuse such a file on every system or for every user.
    virtual bool isReadOnly(const std::string& path) = 0;

    // Creates or truncates `path`, writes the pieces `next` gives until it gives none
    // (it points `piece` at bytes it keeps until it is called again, and says whether
    // it did), flushes them to the device and closes it; false when any of these steps
    // fails. Pieces let a large output be written without being held whole.
    using Producer = std::function<bool(std::string_view& piece)>;
    virtual bool writeDurably(const std::string& path, const Producer& next) = 0;
    // The same for bytes that are already whole.
    bool writeDurably(const std::string& path, const std::string& bytes);

    // Replaces `target` by `source` in one step and makes that durable. The target
    // keeps its attributes (hidden, system, archive; on POSIX its permissions).
    // `busy` means another program holds the target open for a moment; try again.
    virtual ReplaceResult replaceFile(const std::string& source, const std::string& target) = 0;

    // Swaps the contents of `source` and `target` in one step and makes that
    // durable, as `replaceFile` does, so that the writer learns what it replaced:
    // another program's save in between is then not lost. False where the system
    // cannot (the caller then replaces).
    virtual bool exchangeFiles(const std::string&, const std::string&) { return false; }

    // Gives `source` the name `target` in one step, unless `target` exists.
    virtual MoveResult moveWithoutReplacing(const std::string& source,
                                            const std::string& target) = 0;

    // Cuts the file to its first `size` bytes.
    virtual bool truncateFile(const std::string& path, size_t size) = 0;

    // The file `path` names in the end: the target of a symbolic link (of a chain of
    // them), so that a save replaces the target and leaves the link; `path` itself
    // when it is no link.
    virtual std::string finalPath(const std::string& path) { return path; }

    // Whether both paths name one existing file, whatever the names: through a link,
    // another spelling of the folder, or a second hard link.
    virtual bool isSameFile(const std::string& one, const std::string& other) {
        return finalPath(one) == finalPath(other);
    }

    // Whether `path` names a folder.
    virtual bool isFolder(const std::string& path) = 0;

    // The names in `folder` (empty for the current one), without the folder.
    virtual std::vector<std::string> namesIn(const std::string& folder) = 0;

    virtual void removeFile(const std::string& path) = 0;

    // Creates the folder unless it exists; false when it is not a folder afterwards.
    virtual bool makeFolder(const std::string& path) = 0;
    virtual void pause(int milliseconds) = 0;

    // Takes the lock `path` names, making the file where it must: `busy` while it is
    // held, by another process or by this one (a lock is not taken twice). Those who
    // save one file take its lock first, so that one save never reads or replaces a
    // file another is still merging into. A file system without locks grants it.
    virtual LockResult lock(const std::string& path, std::unique_ptr<HeldLock>& held) {
        (void)path;
        held = std::make_unique<HeldLock>();
        return LockResult::held;
    }

    // Whether a process with this identifier runs on this machine.
    virtual bool isProcessRunning(unsigned long processId) = 0;

    // Why the last operation that failed did, in the system's words made plain
    // ("permission denied", "is a folder"); empty when it does not say.
    virtual std::string lastFailure() { return std::string(); }
};

// The file's whole content, byte for byte.
ReadResult readWholeFile(FileSystem& fs, const std::string& path, std::string& bytes);

// The paths that begin with `prefix`: a folder (or none, for the current one) and
// the start of a name in it.
std::vector<std::string> namesStartingWith(FileSystem& fs, const std::string& prefix);

// This process's identifier, and the name of the machine it runs on.
unsigned long currentProcessId();
std::string machineName();

// Every save writes a temporary file of its own first, "<prefix><machine>-<process>.tmp",
// and then moves it into place in one step.
std::string temporaryFileName(const std::string& prefix);

// A killed save leaves its temporary file behind. Those of this machine whose
// process has ended, named "<prefix>[<anything>.]<machine>-<process>.tmp", are
// removed; any other may belong to a save under way.
void removeStaleTemporaryFiles(FileSystem& fs, const std::string& prefix);

// The operating system's own file system.
FileSystem& realFileSystem();

}  // namespace files
