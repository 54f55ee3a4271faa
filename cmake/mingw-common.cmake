# Cross-compiles the Windows programs with MinGW-w64; included by the toolchain file
# of each architecture after it sets QB_MINGW_TRIPLET. QB_MINGW_THREADS picks the
# compilers' thread model: posix (the default) for the tests, since GoogleTest needs
# std::mutex; win32 for the executables we ship, whose runtime then imports nothing
# that the oldest Windows we promise lacks (the posix runtime needs GetTickCount64,
# Vista's).
if(NOT QB_MINGW_THREADS)
  set(QB_MINGW_THREADS posix)
endif()
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QB_MINGW_TRIPLET}-gcc-${QB_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${QB_MINGW_TRIPLET}-g++-${QB_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${QB_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QB_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests of the Windows builds run under Wine, whose loader the script picks from
# each program's own architecture.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
