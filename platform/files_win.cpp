#include "platform/files.h"

#include <windows.h>

namespace files {

namespace {

class WindowsFileSystem : public FileSystem {
  public:
    ReadResult readFile(const std::string& path, const Consumer& consume) override {
        // Other programs may keep the file open, even for writing; reading must not fail then.
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? ReadResult::missing
                       : ReadResult::failed;
        }
        char buffer[1 << 16];
        ReadResult result = ReadResult::ok;
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
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
        DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    }

    bool writeDurably(const std::string& path, const std::string& bytes) override {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        bool ok = true;
        size_t written = 0;
        while (ok && written < bytes.size()) {
            DWORD chunk = static_cast<DWORD>(
                bytes.size() - written < (1u << 30) ? bytes.size() - written : (1u << 30));
            DWORD put = 0;
            ok = WriteFile(file, bytes.data() + written, chunk, &put, nullptr) && put == chunk;
            written += put;
        }
        ok = ok && FlushFileBuffers(file);
        ok = CloseHandle(file) && ok;
        return ok;
    }

    ReplaceResult replaceFile(const std::string& source, const std::string& target) override {
        if (MoveFileExA(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ReplaceResult::ok;
        DWORD error = GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                   ? ReplaceResult::busy
                   : ReplaceResult::failed;
    }

    void removeFile(const std::string& path) override { DeleteFileA(path.c_str()); }

    void pause(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }
};

}  // namespace

FileSystem& realFileSystem() {
    static WindowsFileSystem instance;
    return instance;
}

}  // namespace files
