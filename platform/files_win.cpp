#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/utf16_win.h"

namespace files {

namespace {

// Paths are UTF-8 text, handed to Windows' wide-character calls so that a name keeps
// every letter whatever the ANSI code page. A path that is not UTF-8 comes from an
// ANSI source and is read in that code page.
std::wstring wide(const std::string& path) {
    if (path.empty()) return std::wstring();
    const int size = static_cast<int>(path.size());
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
    if (length <= 0) {
        codePage = CP_ACP;
        length = MultiByteToWideChar(codePage, 0, path.data(), size, nullptr, 0);
    }
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, path.data(), size, &out[0], length);
    return out;
}

std::wstring fullPath(const std::string& path) {
    const std::wstring given = wide(path);
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : given;
}

// What a replaced card file keeps of its attributes. Read-only never gets this far,
// and the archive bit is set as on any file that was written, so that backup
// programs see the change.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

const bool kUnderWine = runningUnderWine();

// A lock file no other handle may open, deleted by the system when this handle
// closes, which the system does for a process however it ends.
class OpenLockFile : public HeldLock {
  public:
    explicit OpenLockFile(HANDLE file) : file_(file) {}
    ~OpenLockFile() override { CloseHandle(file_); }

  private:
    HANDLE file_;
};

class WindowsFileSystem : public FileSystem {
    std::string lastFailure_;

    // Keeps the reason of the failure GetLastError reports now, and returns it.
    DWORD noteFailure() {
        const DWORD error = GetLastError();
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
                lastFailure_ = "no such file";
                break;
            case ERROR_PATH_NOT_FOUND:
                lastFailure_ = "no such folder";
                break;
            case ERROR_ACCESS_DENIED:
                lastFailure_ = "permission denied (or a folder)";
                break;
            case ERROR_SHARING_VIOLATION:
                lastFailure_ = "another program has it open";
                break;
            case ERROR_DISK_FULL:
            case ERROR_HANDLE_DISK_FULL:
                lastFailure_ = "the disk is full";
                break;
            default:
                lastFailure_ = "Windows error " + std::to_string(error);
        }
        return error;
    }

    static bool writeAll(HANDLE file, std::string_view bytes) {
        size_t written = 0;
        while (written < bytes.size()) {
            DWORD chunk = static_cast<DWORD>(
                bytes.size() - written < (1u << 30) ? bytes.size() - written : (1u << 30));
            DWORD put = 0;
            if (!WriteFile(file, bytes.data() + written, chunk, &put, nullptr) || put != chunk)
                return false;
            written += put;
        }
        return true;
    }

    // The volume and file index that tell a file apart, whatever names it has.
    static bool identityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE file = CreateFileW(wide(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const bool known = GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        return known;
    }

  public:
    size_t expectedSize(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return 0;
        const unsigned long long size =
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return size <= SIZE_MAX ? static_cast<size_t>(size) : 0;
    }

    ReadResult readFile(const std::string& path, const Consumer& consume) override {
        // Other programs may keep the file open, even for writing; reading must not fail then.
        HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = noteFailure();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? ReadResult::missing
                       : ReadResult::failed;
        }
        char buffer[1 << 16];
        ReadResult result = ReadResult::ok;
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
                noteFailure();
                result = ReadResult::failed;
                break;
            }
            if (got == 0) break;
            consume(buffer, got);
        }
        CloseHandle(file);
        return result;
    }

    bool isReadOnly(const std::string& path) override {
        DWORD attributes = GetFileAttributesW(wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    }

    using FileSystem::writeDurably;
    bool writeDurably(const std::string& path, const Producer& next) override {
        HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            noteFailure();
            return false;
        }
        bool ok = true;
        try {
            std::string_view piece;
            while (ok && next(piece)) ok = writeAll(file, piece);
        } catch (...) {
            CloseHandle(file);
            throw;
        }
        if (ok && !FlushFileBuffers(file)) {
            // A device (-o NUL) or a pipe has no buffers to flush: only a disk file's count.
            const DWORD error = GetLastError();
            ok = GetFileType(file) != FILE_TYPE_DISK;
            SetLastError(error);
        }
        if (!ok) noteFailure();
        ok = CloseHandle(file) && ok;
        return ok;
    }

    ReplaceResult replaceFile(const std::string& source, const std::string& target) override {
        DWORD attributes = GetFileAttributesW(wide(target).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            // The new file carries the old one's attributes itself, however it is moved in.
            SetFileAttributesW(wide(source).c_str(),
                               (attributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE);
            // ReplaceFileW also keeps the access list and the creation time on Windows;
            // where it fails for any reason, the plain move below still replaces the file.
            // Wine's moves the old file aside before moving the new one in, so that a
            // crash between the two would leave no card file at all: not there.
            if (!kUnderWine &&
                ReplaceFileW(fullPath(target).c_str(), fullPath(source).c_str(), nullptr,
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
                return ReplaceResult::ok;
        }
        if (MoveFileExW(wide(source).c_str(), wide(target).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ReplaceResult::ok;
        DWORD error = GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                   ? ReplaceResult::busy
                   : ReplaceResult::failed;
    }

    MoveResult moveWithoutReplacing(const std::string& source, const std::string& target) override {
        if (MoveFileExW(wide(source).c_str(), wide(target).c_str(), MOVEFILE_WRITE_THROUGH))
            return MoveResult::ok;
        DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveResult::exists
                                                                           : MoveResult::failed;
    }

    bool truncateFile(const std::string& path, size_t size) override {
        HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        LONG high = static_cast<LONG>(static_cast<unsigned long long>(size) >> 32);
        bool ok = SetFilePointer(file, static_cast<LONG>(size & 0xFFFFFFFFu), &high, FILE_BEGIN) !=
                      INVALID_SET_FILE_POINTER &&
                  SetEndOfFile(file);
        ok = CloseHandle(file) && ok;
        return ok;
    }

    std::string finalPath(const std::string& path) override {
        DWORD attributes = GetFileAttributesW(wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return path;
        // Windows Vista and later name a link's target; Windows XP has no symbolic
        // links to files, and no such call for the program to import.
        using GetFinalPath = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
        auto getFinalPath = reinterpret_cast<GetFinalPath>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
        if (!getFinalPath) return path;
        HANDLE file = CreateFileW(wide(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return path;
        wchar_t target[MAX_PATH * 4];
        DWORD length = getFinalPath(file, target, MAX_PATH * 4, 0);
        CloseHandle(file);
        if (length == 0 || length >= MAX_PATH * 4) return path;
        std::string result = utf8Of(target, length);
        if (result.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + result.substr(8);
        if (result.rfind("\\\\?\\", 0) == 0) return result.substr(4);
        return result;
    }

    bool isSameFile(const std::string& one, const std::string& other) override {
        BY_HANDLE_FILE_INFORMATION a, b;
        return identityOf(one, a) && identityOf(other, b) &&
               a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
               a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    }

    bool isFolder(const std::string& path) override {
        DWORD attributes = GetFileAttributesW(wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::vector<std::string> namesIn(const std::string& folder) override {
        std::vector<std::string> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(wide(folder + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do names.push_back(utf8Of(found.cFileName, wcslen(found.cFileName)));
        while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }

    void removeFile(const std::string& path) override { DeleteFileW(wide(path).c_str()); }

    // Looked up when needed: only a sync makes folders, and the list of the program's
    // imports stays as it was checked against the oldest Windows it runs on.
    bool makeFolder(const std::string& path) override {
        using CreateDirectoryFunction = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
        auto createDirectory = reinterpret_cast<CreateDirectoryFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateDirectoryW")));
        if (createDirectory) createDirectory(wide(path).c_str(), nullptr);
        DWORD attributes = GetFileAttributesW(wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    void pause(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }

    std::string lastFailure() override { return lastFailure_; }

    LockResult lock(const std::string& path, std::unique_ptr<HeldLock>& held) override {
        const std::wstring name = wide(path);
        // No other handle may open it, and it is deleted as this one closes.
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            held = std::make_unique<OpenLockFile>(file);
            return LockResult::held;
        }
        const DWORD error = noteFailure();
        if (error == ERROR_SHARING_VIOLATION ||
            (error == ERROR_ACCESS_DENIED && beingDeleted(name))) {
            lastFailure_ = "another program is saving it";
            return LockResult::busy;
        }
        return LockResult::failed;
    }

    // Whether a lock file that refused access is on its way out as its holder let go
    // (or already gone), rather than one this user may not open at all.
    static bool beingDeleted(const std::wstring& name) {
        HANDLE file = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_PATH_NOT_FOUND;
        CloseHandle(file);
        return false;
    }

    bool isProcessRunning(unsigned long processId) override {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
        // A process we may not open is still running.
        if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
        bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        CloseHandle(process);
        return running;
    }
};

}  // namespace

unsigned long currentProcessId() { return GetCurrentProcessId(); }

std::string machineName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string("local");
}

FileSystem& realFileSystem() {
    static WindowsFileSystem instance;
    return instance;
}

}  // namespace files
