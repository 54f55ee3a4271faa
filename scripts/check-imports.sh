#!/usr/bin/env bash
# Fails when a shipped executable imports a function that the committed lists do
# not name. The 32-bit list was checked once, function by function, against what
# Windows XP SP3 provides; the 64-bit executables may also import what the x64
# list adds, each in Windows Vista x64. A new import is a decision to make there,
# not an accident.
#
# Usage: check-imports.sh <program.exe>...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
status=0
for program in "$@"; do
  arch=$(windows_arch_of "$program")
  if [ "$arch" = win32 ]; then
    objdump=i686-w64-mingw32-objdump floor="Windows XP SP3"
    lists=("$root/resources/windows-xp-imports.txt")
  else
    objdump=x86_64-w64-mingw32-objdump floor="Windows Vista x64"
    lists=("$root/resources/windows-xp-imports.txt" "$root/resources/windows-x64-imports.txt")
  fi
  imports=$("$objdump" -p "$program" |
    awk '/DLL Name:/ { dll = $3 } /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }' | sort -u)
  if [ -z "$imports" ]; then
    echo "$program: no imports found; is it a Windows executable?" >&2
    exit 1
  fi
  unexpected=$(comm -23 <(printf '%s\n' "$imports") <(cat "${lists[@]}" | grep -v '^#' | sort -u))
  count=$(printf '%s\n' "$imports" | wc -l)
  if [ -n "$unexpected" ]; then
    echo "$program imports what $floor was not checked for:" >&2
    printf '  %s\n' $unexpected | paste - - >&2
    status=1
  else
    echo "$program ($arch): $count imports, each on the list checked against $floor"
  fi
done
exit $status
