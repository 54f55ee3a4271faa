#pragma once

#include <filesystem>
#include <string>

// Runs a test inside a fresh, empty folder, since the card file is named
// relative to the current working directory.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
void makeReadOnly(const std::string& path);
