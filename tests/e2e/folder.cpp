#include "tests/e2e/folder.h"

std::string record(const std::string& first, const std::string& middle, const std::string& last,
                   const std::string& address, const std::string& sex) {
    const std::string FE = "\xFE", FD = "\xFD";
    return first + FE + middle + FE + last + FE + address + FE + sex + FD;
}

Folder::Folder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int count = 0;
    path_ = std::string(temp) + "qb-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++count);
    CreateDirectoryA(path_.c_str(), nullptr);
}

Folder::~Folder() {
    for (const std::string& name : names("*")) {
        SetFileAttributesA(file(name.c_str()).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file(name.c_str()).c_str());
        RemoveDirectoryA(file(name.c_str()).c_str());
    }
    RemoveDirectoryA(path_.c_str());
}

std::vector<std::string> Folder::names(const char* pattern) const {
    std::vector<std::string> found;
    WIN32_FIND_DATAA item;
    HANDLE search = FindFirstFileA(file(pattern).c_str(), &item);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        if (std::string(item.cFileName) != "." && std::string(item.cFileName) != "..")
            found.push_back(item.cFileName);
    } while (FindNextFileA(search, &item));
    FindClose(search);
    return found;
}

bool Folder::hasCardFile() const {
    return GetFileAttributesA(file().c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Folder::cardFile(const char* name) const {
    std::string bytes;
    HANDLE handle = CreateFileA(file(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(handle);
    return bytes;
}

void Folder::writeCardFile(const std::string& bytes) const {
    HANDLE handle =
        CreateFileA(file().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(handle);
}
