#!/usr/bin/env bash
# Starts the program under Wine in the data folder (DATA_DIR, default run/), where
# its card file "test.txt" lives. With a display the window opens there; without
# one the program runs on a private Xvfb display, a screenshot of its window is
# saved, and it is closed again.
#
# The 32-bit program, as shipped first, where this machine runs 32-bit code; the
# 64-bit one elsewhere (or the one WINDOWS_ARCH names).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
source "$here/windows-archs.sh"
plan_windows_archs "${WINDOWS_ARCH:-auto}"
arch=${archs%% *}
release=$(release_preset_of "$arch")
cmake --preset "$release" >/dev/null
cmake --build --preset "$release" --target quillborough >/dev/null
program=$root/build/$release/quillborough.exe
if [ "$arch" = win32 ]; then
  echo "Starting the 32-bit program, $program"
else
  echo "Starting the 64-bit program, $program${why_not_32bit:+ ($why_not_32bit)}"
fi
data_dir=${DATA_DIR:-$root/run}
mkdir -p "$data_dir"
data_dir=$(cd "$data_dir" && pwd)

if [ -n "${DISPLAY:-}" ]; then
  source "$here/wine-env.sh"
  use_wine_arch "$arch" "$root/build/$arch/run-prefix"
  ensure_wine_prefix
  cd "$data_dir"
  echo "Quillborough is running; its card file is $data_dir/test.txt"
  exec "$QB_WINE_LOADER" "$program"
fi

source "$here/wine-env.sh"
use_wine_arch "$arch" "$root/build/$arch/headless-prefix"
source "$here/xvfb.sh"
start_headless_wine 800 600

cd "$data_dir"
wine "$program" &
window=
for _ in $(seq 1 300); do
  window=$(xdotool search --name '^Quillborough$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "the Quillborough window did not appear" >&2
  exit 1
fi
sleep 1  # let every control paint
import -window "$window" "$data_dir/screenshot.png"
echo "No display: Quillborough ran on a private one and was closed again."
echo "Screenshot of its window: $data_dir/screenshot.png"
echo "Card file: $data_dir/test.txt"
