#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One card-file record written byte by byte, independently of the program's own
// codec: first, FE, middle, FE, last, FE, address, FE, sex, FD.
std::string record(const std::string& first, const std::string& middle, const std::string& last,
                   const std::string& address, const std::string& sex);

// A fresh folder for one run of the program, removed afterwards.
class Folder {
  public:
    Folder();
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The names in the folder that match `pattern`.
    std::vector<std::string> names(const char* pattern) const;
    const std::string& path() const { return path_; }
    std::string file(const char* name = "test.txt") const { return path_ + "\\" + name; }
    bool hasCardFile() const;
    std::string cardFile(const char* name = "test.txt") const;
    void writeCardFile(const std::string& bytes) const;

  private:
    std::string path_;
};
