#!/usr/bin/env bash
# qbcard.exe as shipped, under Wine: code page 1252 by our own table (the same
# bytes as the native build), another code page by Windows' converter, a character
# refused, an unsupported code page, output to a pipe and to a console, Windows'
# words and paths, an Outlook CSV export, the table in an 80-column console, and a
# start with no command in a console of its own (a double-click).
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

# Windows' words: /? is help, and no help text names a Unix path or file.
run '/?' | grep -q '^Usage: qbcard' || fail "/? is no help"
help=$(run --help; run sync --help; run check --help)
grep -q '%USERPROFILE%\\_netrc' <<<"$help" || fail "the help does not name _netrc: $help"
! grep -E '~|\.netrc' <<<"$help" || fail "the help names a Unix path"
status=0
run export vcard -o 'no folder\book.vcf' 2>err.txt || status=$?
[ "$status" -eq 2 ] && [ "$(cat err.txt)" = 'qbcard: no folder\book.vcf: cannot be written: no such folder' ] ||
  fail "a missing folder: exit $status, $(cat err.txt)"
mkdir -p 'My Contacts'
cp out.vcf 'My Contacts/a.vcf'
printf 'BEGIN:VCARD\r\nN:Zed;\r\nFN:Bo Zed\r\nX-BAD\r\nEND:VCARD\r\n' >'My Contacts/b.vcf'
run --file folder.txt import 'My Contacts' >/dev/null 2>err.txt || true
grep -q '^qbcard: My Contacts\\b.vcf: line 1: ' err.txt || fail "the separator: $(cat err.txt)"

# A file named after a person keeps its letters, through the wide-character calls.
run export vcard -o 'Søren Øvergaard.vcf'
[ -f 'Søren Øvergaard.vcf' ] || fail "a name with ø: $(ls)"

# An Outlook export: every header Outlook writes, every cell quoted, in code page 1252.
python3 - <<'PY'
header = ("Title,First Name,Middle Name,Last Name,Suffix,Company,Department,Job Title,"
          "Business Street,Business Street 2,Business Street 3,Business City,Business State,"
          "Business Postal Code,Business Country/Region,Home Street,Home Street 2,Home Street 3,"
          "Home City,Home State,Home Postal Code,Home Country/Region,Other Street,Other Street 2,"
          "Other Street 3,Other City,Other State,Other Postal Code,Other Country/Region,"
          "Assistant's Phone,Business Fax,Business Phone,Business Phone 2,Callback,Car Phone,"
          "Company Main Phone,Home Fax,Home Phone,Home Phone 2,ISDN,Mobile Phone,Other Fax,"
          "Other Phone,Pager,Primary Phone,Radio Phone,TTY/TDD Phone,Telex,Account,Anniversary,"
          "Assistant's Name,Billing Information,Birthday,Business Address PO Box,Categories,"
          "Children,Directory Server,E-mail Address,E-mail Type,E-mail Display Name,"
          "E-mail 2 Address,E-mail 2 Type,E-mail 2 Display Name,E-mail 3 Address,E-mail 3 Type,"
          "E-mail 3 Display Name,Gender,Government ID Number,Hobby,Home Address PO Box,Initials,"
          "Internet Free Busy,Keywords,Language,Location,Manager's Name,Mileage,Notes,"
          "Office Location,Organizational ID Number,Other Address PO Box,Priority,Private,"
          "Profession,Referred By,Sensitivity,Spouse,User 1,User 2,User 3,User 4,Web Page").split(",")
people = [
    {"First Name": "Renée", "Last Name": "Dubé", "Home Street": "12 rue de l'Église",
     "Home City": "Montréal", "Home State": "QC", "Home Postal Code": "H2X 1Y4",
     "Gender": "Female", "E-mail Address": "renee@example.ca", "Notes": "Cousin,\r\nvia Zoë"},
    {"Title": "Dr.", "First Name": "Jürgen", "Last Name": "Müller", "Company": "Bäckerei Müller",
     "Business Street": "Hauptstraße 5", "Business City": "Köln", "Gender": "Male",
     "Mobile Phone": "+49 170 1234567"},
    {"First Name": "Søren", "Last Name": "Øvergaard", "Home Street": "Nørregade 7",
     "Home City": "København", "Gender": "Unspecified", "Birthday": "3/14/1980"},
    {"First Name": "François", "Middle Name": "Xavier", "Last Name": "Lefèvre",
     "Gender": "Unspecified", "Priority": "Normal", "Private": "False", "Sensitivity": "Normal"},
]
lines = [",".join('"%s"' % h for h in header)]
for p in people:
    p.setdefault("Priority", "Normal"); p.setdefault("Private", "False"); p.setdefault("Sensitivity", "Normal")
    lines.append(",".join('"%s"' % p.get(h, "") if p.get(h) else ("" if h not in ("Birthday", "Anniversary") else "0/0/00") for h in header))
open("outlook.csv", "wb").write(("\r\n".join(lines) + "\r\n").encode("cp1252"))
PY
status=0
run --file outlook.txt import outlook.csv >report.txt 2>err.txt || status=$?
[ "$status" -eq 0 ] && grep -q '^outlook.csv: 4 added, 0 updated, 0 unchanged, 0 rejected' report.txt ||
  fail "the Outlook export: exit $status, $(cat report.txt err.txt)"
[ "$(cat err.txt)" = 'qbcard: outlook.csv: not UTF-8; read in the ANSI code page 1252 (--input-encoding names another)' ] ||
  fail "the code page is not said: $(cat err.txt)"
[ "$(run --file outlook.txt list --format tsv | cut -f1,3 | tr '\t\n' ' |')" = \
  'First Name Last Name|Renée Dubé|François Lefèvre|Jürgen Müller|Søren Øvergaard|' ] ||
  fail "the Outlook entries: $(run --file outlook.txt list --format tsv)"
grep -q $'12 rue de l\'\xc9glise\r\r\nMontr\xe9al QC H2X 1Y4' outlook.txt || fail "the address in 1252: $(od -c outlook.txt | head)"

# In an 80-column console, one line per entry.
printf 'Ann\xfe\xfeLee\xfe%s\xfeFemale\xfd' "$(printf 'x%.0s' {1..90})" >wide.txt
LANG=C.UTF-8 script -qc "stty cols 80 rows 24; $(printf '%q ' "$here/../../scripts/wine-run.sh" "$qbcard" --file wide.txt list)" /dev/null >console.txt
[ "$(grep -c 'Lee' console.txt)" -eq 1 ] || fail "the table in the console: $(cat -A console.txt)"
python3 -c 'import re, sys
lines = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", open(sys.argv[1], encoding="utf-8").read()).splitlines()
sys.exit(any(len(line.rstrip("\r")) >= 80 for line in lines))' console.txt ||
  fail "a line of 80 columns or more: $(cat console.txt)"
# Started with no command in a console of its own (as by a double-click; Wine gives a
# program started from a terminal its own console): it says so, shows the usage and
# keeps the window until Enter.
python3 - "$here/../../scripts/wine-run.sh" "$qbcard" <<'PY' || fail "started by a double-click"
import os, pty, re, select, sys, time
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
seen, status = b"", None
def pump(done, seconds):  # reads what the console shows until done() or the time is up
    global seen, status
    end = time.monotonic() + seconds
    while not done() and time.monotonic() < end:
        if select.select([fd], [], [], 0.2)[0]:
            try:
                seen += os.read(fd, 4096)
            except OSError:
                pass
        if status is None:
            reaped, code = os.waitpid(pid, os.WNOHANG)
            if reaped:
                status = os.waitstatus_to_exitcode(code)
    return done()
if not pump(lambda: b"Press Enter to close this window." in seen or status is not None, 120):
    sys.exit("no prompt to press Enter: %r" % seen[-300:])
if pump(lambda: status is not None, 3):
    sys.exit("closed without waiting for Enter")
os.write(fd, b"\r")
if not pump(lambda: status is not None, 60):
    sys.exit("still open after Enter")
# Wine's console draws spaces as cursor moves: compare the text without either.
text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\s", "", seen.decode("utf-8", "replace"))
for wanted in ("qbcardisacommand-lineprogram", "Usage:qbcard[OPTIONS]SUBCOMMAND", "PressEnter"):
    if wanted not in text:
        sys.exit("%r not shown: %r" % (wanted, text[-300:]))
sys.exit(0 if status == 2 else "exit %d, not 2" % status)
PY
echo "qbcard.exe under Wine: 1252 by table, 1250 by Windows, refusals and exit codes as natively"
