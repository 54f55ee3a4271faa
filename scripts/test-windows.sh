#!/usr/bin/env bash
# Runs the Windows suites, one list of them (tests/CMakeLists.txt), once per
# architecture: against the 64-bit build on every machine, and against the shipped
# 32-bit build wherever this machine can run 32-bit code.
# Usage: test-windows.sh [auto|win32|win64|"win32 win64"]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-archs.sh
plan_windows_archs "${1:-auto}"
echo "$archs_note"
# Debian's `wine` wrapper takes the 32-bit loader whenever wine32 is installed, so a
# script that reached it would pass here and fail where 32-bit code cannot run: the
# suites see a `wine` on the PATH that refuses.
guard=$(mktemp -d)
trap 'rm -rf "$guard"' EXIT
cat >"$guard/wine" <<'EOF'
#!/bin/sh
echo "wine $*: Debian's wrapper was called; scripts/wine-env.sh picks the loader" >&2
exit 97
EOF
chmod +x "$guard/wine"
export PATH="$guard:$PATH"
for arch in $archs; do
  release=$(release_preset_of "$arch")
  started=$(date +%s)
  for preset in "$arch" "$release"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  done
  ctest --preset "$arch"
  echo "$arch: the Windows suites passed in $(($(date +%s) - started)) s"
done
echo "$archs_note"
