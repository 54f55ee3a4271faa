#!/usr/bin/env bash
# qbcard.exe as shipped, under Wine: code page 1252 by our own table (the same
# bytes as the native build), another code page by Windows' converter, a character
# refused, an unsupported code page, and output to a pipe and to a console.
# Usage: qbcard_windows.sh <qbcard.exe>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
qbcard=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
run() { "$here/../../scripts/wine-run.sh" "$qbcard" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

printf 'Ren\xe9e\xfe\xfeDub\xe9\xfe1 Road\r\r\nTown\xfeFemale\xfd' >test.txt
run export vcard -o out.vcf
run export vcard -o NUL || fail "export -o NUL failed"
grep -q $'^N:Dubé;Renée;;;\r$' out.vcf || fail "1252 to UTF-8: $(cat out.vcf)"
grep -q $'^ADR:;;1 Road\\\\nTown;;;;\r$' out.vcf || fail "the address: $(cat out.vcf)"
[ "$(run list --format tsv | tail -n 1)" = $'Renée\t\tDubé\t1 Road\\nTown\tFemale' ] ||
  fail "list to a pipe: $(run list --format tsv)"

# On a terminal Wine gives the program a console: text goes out as UTF-16 there, and
# shows right whatever the console's code page.
LANG=C.UTF-8 script -qc "$(printf '%q ' "$here/../../scripts/wine-run.sh" "$qbcard" list)" /dev/null |
  grep -q 'Renée' || fail "list on a console"

# Code page 1250 (Central European) through Windows' converter: Ł is 0xA3 there.
printf '\xa3ukasz\xfe\xfeKowalski\xfe\xfeMale\xfd' >central.txt
run --file central.txt --codepage 1250 list | grep -q 'Łukasz' || fail "1250 to UTF-8"
printf 'First Name,Last Name\r\nŁucja,Nowak\r\n' >polish.csv
run --file central.txt --codepage 1250 import polish.csv >/dev/null || fail "import in 1250"
grep -q $'\xa3ucja' central.txt || fail "UTF-8 to 1250: $(od -c central.txt)"

# In 1252 there is no Ł: the record is refused, never quietly an "L".
status=0
run --file western.txt import polish.csv >report.txt 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -q 'line 2: First Name holds "Ł" (U+0141)' report.txt ||
  fail "Ł into 1252: exit $status, $(cat report.txt)"
status=0
run --codepage 99999 list 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "an unsupported code page gave exit $status"
run --version | grep -q '^qbcard [0-9]' || fail "--version"
echo "qbcard.exe under Wine: 1252 by table, 1250 by Windows, refusals and exit codes as natively"
