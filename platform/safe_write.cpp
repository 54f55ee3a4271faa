#include "platform/safe_write.h"

namespace files {

bool replaceWithRetries(FileSystem& fs, const std::string& source, const std::string& target) {
    for (int attempt = 1;; ++attempt) {
        const ReplaceResult result = fs.replaceFile(source, target);
        if (result == ReplaceResult::ok) return true;
        if (result == ReplaceResult::failed || attempt == kReplaceAttempts) return false;
        fs.pause(kReplaceRetryMilliseconds);
    }
}

std::unique_ptr<HeldLock> lockWithRetries(FileSystem& fs, const std::string& path) {
    std::unique_ptr<HeldLock> held;
    for (int attempt = 1;; ++attempt) {
        const LockResult result = fs.lock(path, held);
        if (result == LockResult::held) return held;
        if (result == LockResult::failed || attempt == kLockAttempts) return nullptr;
        fs.pause(kLockRetryMilliseconds);
    }
}

bool replaceDurably(FileSystem& fs, const std::string& target, const std::string& bytes) {
    const std::string temporary = temporaryFileName(target + ".");
    if (fs.writeDurably(temporary, bytes) && replaceWithRetries(fs, temporary, target)) return true;
    fs.removeFile(temporary);
    return false;
}

std::string writeUnderFreeName(FileSystem& fs, const std::string& temporary,
                               const std::string& bytes,
                               const std::function<std::string(int number)>& nameFor) {
    if (fs.writeDurably(temporary, bytes)) {
        for (int number = 1; number <= kMostNumberedNames; ++number) {
            const std::string name = nameFor(number);
            const MoveResult moved = fs.moveWithoutReplacing(temporary, name);
            if (moved == MoveResult::ok) return name;
            if (moved == MoveResult::failed) break;
        }
    }
    fs.removeFile(temporary);
    return std::string();
}

}  // namespace files
