# The 32-bit Windows program, the one we ship first: MinGW-w64 for i686.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QB_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
