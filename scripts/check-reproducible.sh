#!/usr/bin/env bash
# Builds the Windows release zip twice, each time from nothing in a folder of its
# own, and fails unless the two zips are the same, byte for byte.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "$root/build/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
for run in first second; do
  cmake -S "$root" -B "$work/$run" --toolchain "$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQB_MINGW_THREADS=win32 -DQB_RELEASE=ON -DQB_TESTS=OFF \
    -DQB_DIST_DIR="$work/$run/dist" >/dev/null
  cmake --build "$work/$run" --target dist -j 2 >/dev/null
done
zip=$(cd "$work/first/dist" && ls *.zip)
if cmp "$work/first/dist/$zip" "$work/second/dist/$zip"; then
  echo "reproducible: $zip built twice, the same $(stat -c %s "$work/first/dist/$zip") bytes"
else
  echo "not reproducible: the two builds of $zip differ" >&2
  exit 1
fi
