#pragma once

#include <windows.h>

// Owns the background picture, loaded from the program's own resources before
// the window exists and deleted at exit.
class BackgroundBitmap {
  public:
    BackgroundBitmap();
    ~BackgroundBitmap();
    BackgroundBitmap(const BackgroundBitmap&) = delete;
    BackgroundBitmap& operator=(const BackgroundBitmap&) = delete;

    // Null when the picture could not be loaded; the background then stays empty.
    HBITMAP handle() const { return handle_; }

  private:
    HBITMAP handle_;
};

extern BackgroundBitmap backgroundBitmap;
