#!/usr/bin/env bash
# Which Windows architectures the scripts test and run: both where a 32-bit program
# runs, the 64-bit one alone (saying why) where it cannot or is not installed, and
# what WINDOWS_ARCH asks for, refused when it asks for what cannot run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '\x7fELF\x01\x01\x01garbage' >"$work/not-runnable" && chmod +x "$work/not-runnable"
printf '#!/bin/sh\necho 32-bit\n' >"$work/runnable" && chmod +x "$work/runnable"
failures=0
expect() {  # probe request → archs, a text the note must hold
  local probe=$1 request=$2 want=$3 note=$4 got
  got=$(QB_32BIT_PROBE=$probe bash -c 'source "$1/../scripts/windows-archs.sh"
        plan_windows_archs "$2" && echo "$archs|$archs_note"' _ "$here" "$request" 2>&1) || got="refused|$got"
  if [ "${got%%|*}" != "$want" ] || [[ "${got#*|}" != *"$note"* ]]; then
    echo "FAIL: probe $(basename "$probe"), asked \"$request\": got \"$got\", want \"$want\" with \"$note\""
    failures=$((failures + 1))
  fi
}
expect "$work/runnable" auto "win32 win64" "win32 (as shipped first) and win64"
expect "$work/not-runnable" auto "win64" "not win32: this machine cannot run 32-bit programs"
expect "$work/missing" auto "win64" "not win32: 32-bit Wine (Debian's wine32) is not installed"
expect "$work/runnable" win64 "win64" "asked for with WINDOWS_ARCH"
expect "$work/not-runnable" win32 "refused" "win32 was asked for, but this machine cannot run"
expect "$work/runnable" win16 "refused" "WINDOWS_ARCH must be"
[ "$failures" -eq 0 ] && echo "6 passed, 0 failed"
exit "$failures"
