# The 64-bit Windows program, for machines (and Windows installations) that run no
# 32-bit code: MinGW-w64 for x86-64, the same sources and flags.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QB_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
