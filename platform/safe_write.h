#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/files.h"

// Writing a file so that a crash, a full disk or another program never leaves it
// half written: the new content goes to a temporary file of this process beside
// it, flushed to the device, which then takes the file's place in one step.
namespace files {

// How often a replace is tried, and how long apart, while another program holds
// the file open for a moment (a virus scanner, an indexer, a sync client).
constexpr int kReplaceAttempts = 10;
constexpr int kReplaceRetryMilliseconds = 100;

// How long a save waits for another process's save of the same file to end: a
// card file of a hundred thousand contacts is merged and written in well under it.
constexpr int kLockAttempts = 50;
constexpr int kLockRetryMilliseconds = 100;

// The lock `path` names, waited for while another process holds it; empty when it
// could not be had, with the file system's last failure saying why.
std::unique_ptr<HeldLock> lockWithRetries(FileSystem& fs, const std::string& path);

// How many numbered names are tried for a file that must never be written over.
constexpr int kMostNumberedNames = 9999;

// Replaces `target` by `source` in one step, trying again while it is busy.
bool replaceWithRetries(FileSystem& fs, const std::string& source, const std::string& target);

// Replaces `target`'s whole content by `bytes` through the temporary file
// "<target>.<machine>-<process>.tmp". False when any step fails: the temporary
// file is removed, and `target` is as it was.
bool replaceDurably(FileSystem& fs, const std::string& target, const std::string& bytes);

// Writes `bytes` through `temporary` to the first of nameFor(1), nameFor(2), ...,
// nameFor(kMostNumberedNames) that no file has yet, and returns that name. Empty
// when none could be had or a step failed; the temporary file is removed then.
std::string writeUnderFreeName(FileSystem& fs, const std::string& temporary,
                               const std::string& bytes,
                               const std::function<std::string(int number)>& nameFor);

}  // namespace files
