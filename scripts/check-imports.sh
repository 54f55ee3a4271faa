#!/usr/bin/env bash
# Fails when a shipped executable imports a function that the committed list does
# not name. The list was checked once, function by function, against what Windows
# XP SP3 provides; a new import is a decision to make there, not an accident.
#
# Usage: check-imports.sh <allowed-imports.txt> <program.exe>...
set -euo pipefail
allowed=$1
shift
status=0
for program in "$@"; do
  imports=$(i686-w64-mingw32-objdump -p "$program" |
    awk '/DLL Name:/ { dll = $3 } /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }' | sort -u)
  if [ -z "$imports" ]; then
    echo "$program: no imports found; is it a Windows executable?" >&2
    exit 1
  fi
  unexpected=$(comm -23 <(printf '%s\n' "$imports") <(grep -v '^#' "$allowed" | sort -u))
  count=$(printf '%s\n' "$imports" | wc -l)
  if [ -n "$unexpected" ]; then
    echo "$program imports what Windows XP SP3 was not checked for:" >&2
    printf '  %s\n' $unexpected | paste - - >&2
    status=1
  else
    echo "$program: $count imports, each on the list checked against Windows XP SP3"
  fi
done
exit $status
