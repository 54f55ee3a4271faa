#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "data/entry.h"

// One of two versions of an address book of `count` entries, normalised, told
// apart by the tag in every address.
std::vector<Entry> addressBookVersion(size_t count, char tag);

// A child process that saves the card file of the current folder over and over,
// version A, then B, then A again, until it is killed.
class SaverProcess {
  public:
    // Returns once the child has loaded the card file and is about to save.
    SaverProcess(size_t count, char firstVersion);
    // A child that takes the card file's lock, as a save does, and holds it until
    // killed; returns once it holds it.
    struct HoldLock {};
    explicit SaverProcess(HoldLock);
    ~SaverProcess();
    SaverProcess(const SaverProcess&) = delete;
    SaverProcess& operator=(const SaverProcess&) = delete;

    bool started() const { return started_; }
    unsigned long id() const { return id_; }
    // The name of the temporary file its saves write.
    std::string temporaryFileName() const;
    // Ends it at once, as a crash or a power cut would, and waits until it is gone.
    void kill();

  private:
    void start(const std::string& job, size_t count, char version);

    bool started_ = false;
    unsigned long id_ = 0;
    bool running_ = false;    // on POSIX
    void* handle_ = nullptr;  // the process handle, on Windows
};

// In the test program's main: when this run is a saver child, saves until killed;
// with "--save-once COUNT TAG", saves that version once and exits 0, or 3 on failure.
void runAsSaverWhenAsked(int argc, char** argv);
