#!/usr/bin/env bash
# Times the shipped program's real window under Wine (start-up until the list is
# filled, the median Save and Remove until the list shows them) for every Windows
# architecture this machine runs, or those WINDOWS_ARCH names, in one table.
# Usage: bench-gui.sh [other quillborough.exe to time beside them...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/windows-archs.sh
source scripts/wine-env.sh
plan_windows_archs "${WINDOWS_ARCH:-auto}"
echo "${archs_note/tested/timed}"
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for arch in $archs; do
  release=$(release_preset_of "$arch")
  cmake --preset "$arch" >/dev/null && cmake --build --preset "$arch" --target gui_bench >/dev/null
  cmake --preset "$release" >/dev/null && cmake --build --preset "$release" >/dev/null
  programs=("build/$release/quillborough.exe")
  for other in "$@"; do
    [ "$(windows_arch_of "$other")" = "$arch" ] && programs+=("$other")
  done
  scripts/e2e.sh "build/$arch/bench/gui_bench.exe" "build/$arch/bench-screenshot.png" \
    "${programs[@]}" | tr -d '\r' | awk -v arch="$arch" -F '\t' 'NF == 5 { print arch "\t" $0 }' >>"$results"
done
for other in "$@"; do
  [[ " $archs " == *" $(windows_arch_of "$other") "* ]] ||
    echo "not timed: $other (not of an architecture timed here)"
done
printf '%-7s %-6s %-46s %11s %10s %10s\n' entries arch program "start-up" Save Remove
sort -t $'\t' -k3,3n -s "$results" |
  awk -F '\t' '{ printf "%-7s %-6s %-46s %8.1f ms %7.1f ms %7.1f ms\n", $3, $1, $2, $4, $5, $6 }'
