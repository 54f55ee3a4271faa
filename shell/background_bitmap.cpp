#include "shell/background_bitmap.h"

#include "resources/resource.h"

BackgroundBitmap::BackgroundBitmap()
    : handle_(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND))) {}

BackgroundBitmap::~BackgroundBitmap() {
    if (handle_) DeleteObject(handle_);
}
