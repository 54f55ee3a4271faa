#include "tests/support/saver_process.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "data/card_file.h"
#include "platform/files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kSaverFlag = "--save-forever";
constexpr const char* kHolderFlag = "--hold-lock";
constexpr const char* kReadyMarker = "saver.ready";

[[noreturn]] void saveForever(size_t count, char firstVersion) {
    std::vector<Entry> other = addressBookVersion(count, firstVersion == 'A' ? 'B' : 'A');
    std::vector<Entry> entries;
    CardFile card(kCardFileName, files::realFileSystem());
    card.load(entries);
    entries = addressBookVersion(count, firstVersion);
    std::ofstream(kReadyMarker) << "saving";
    for (;;) {
        card.save(entries);
        entries.swap(other);
    }
}

[[noreturn]] void holdLock() {
    std::unique_ptr<files::HeldLock> held;
    const std::string name = CardFile(kCardFileName, files::realFileSystem()).lockName();
    if (files::realFileSystem().lock(name, held) != files::LockResult::held) std::exit(3);
    std::ofstream(kReadyMarker) << "holding";
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// What a child started with `job` does.
[[noreturn]] void runChild(const std::string& job, size_t count, char version) {
    if (job == kHolderFlag) holdLock();
    saveForever(count, version);
}

bool waitForReadyMarker() {
    // Up to 30 s by the clock: a sleep under Wine may be far shorter than asked, and
    // a child started while the machine is busy may take seconds to say it runs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        // Windows refuses to remove it while the child still has it open.
        std::error_code stillOpen;
        if (std::filesystem::remove(kReadyMarker, stillOpen)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace

std::vector<Entry> addressBookVersion(size_t count, char tag) {
    std::vector<Entry> made;
    made.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        made.push_back(Entry{"First" + n, "Last" + std::to_string(i % 997), "M" + n,
                             std::string(1, tag) + " " + n + " Road\r\nTown",
                             i % 2 ? "Male" : "Female"});
    }
    normaliseEntries(made);
    return made;
}

std::string SaverProcess::temporaryFileName() const {
    return "test.txt." + files::machineName() + "-" + std::to_string(id_) + ".tmp";
}

void runAsSaverWhenAsked(int argc, char** argv) {
    if (argc == 4 &&
        (std::strcmp(argv[1], kSaverFlag) == 0 || std::strcmp(argv[1], kHolderFlag) == 0))
        runChild(argv[1], std::strtoul(argv[2], nullptr, 10), argv[3][0]);
    // One save, its success the exit code: for a script that limits the process first.
    if (argc == 4 && std::strcmp(argv[1], "--save-once") == 0) {
        std::vector<Entry> entries;
        CardFile card(kCardFileName, files::realFileSystem());
        card.load(entries);
        entries = addressBookVersion(std::strtoul(argv[2], nullptr, 10), argv[3][0]);
        std::exit(card.save(entries) ? 0 : 3);  // 3: not to be taken for a program that never ran
    }
}

SaverProcess::SaverProcess(size_t count, char firstVersion) {
    start(kSaverFlag, count, firstVersion);
}

SaverProcess::SaverProcess(HoldLock) { start(kHolderFlag, 0, 'A'); }

#ifdef _WIN32

void SaverProcess::start(const std::string& job, size_t count, char version) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string commandLine =
        std::string("\"") + self + "\" " + job + " " + std::to_string(count) + " " + version;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return;
    CloseHandle(process.hThread);
    handle_ = process.hProcess;
    id_ = process.dwProcessId;
    started_ = waitForReadyMarker();
}

void SaverProcess::kill() {
    if (!handle_) return;
    TerminateProcess(handle_, 1);
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
}

#else

void SaverProcess::start(const std::string& job, size_t count, char version) {
    std::fflush(nullptr);  // or the child would print what the parent had buffered
    pid_t child = fork();
    if (child == 0) runChild(job, count, version);
    if (child < 0) return;
    id_ = static_cast<unsigned long>(child);
    running_ = true;
    started_ = waitForReadyMarker();
}

void SaverProcess::kill() {
    if (!running_) return;
    ::kill(static_cast<pid_t>(id_), SIGKILL);
    waitpid(static_cast<pid_t>(id_), nullptr, 0);
    running_ = false;
}

#endif

SaverProcess::~SaverProcess() { kill(); }
