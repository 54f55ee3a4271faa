#!/usr/bin/env bash
# Builds each Windows release zip twice, each time from nothing in a folder of its
# own, and fails unless the two come out the same, byte for byte.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$root/build"
work=$(mktemp -d "$root/build/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
for toolchain in mingw-i686 mingw-x86_64; do
  for run in first second; do
    cmake -S "$root" -B "$work/$toolchain-$run" --toolchain "$root/cmake/$toolchain.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQB_MINGW_THREADS=win32 -DQB_RELEASE=ON -DQB_TESTS=OFF \
      -DQB_DIST_DIR="$work/$toolchain-$run/dist" >/dev/null
    cmake --build "$work/$toolchain-$run" --target dist -j 2 >/dev/null
  done
  zip=$(cd "$work/$toolchain-first/dist" && ls *.zip)
  if cmp "$work/$toolchain-first/dist/$zip" "$work/$toolchain-second/dist/$zip"; then
    echo "reproducible: $zip built twice, the same $(stat -c %s "$work/$toolchain-first/dist/$zip") bytes"
  else
    echo "not reproducible: the two builds of $zip differ" >&2
    exit 1
  fi
done
