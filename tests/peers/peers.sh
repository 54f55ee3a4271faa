#!/usr/bin/env bash
# qbcard against real peers: our vCard read by Python's vobject and by abook; the
# vCards they write imported by us; our CSV read by Python's csv module; and the
# same file imported twice changing nothing the second time.
# Usage: peers.sh <qbcard>
set -euo pipefail
qbcard=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
python=/usr/bin/python3  # Debian's, which has python3-vobject
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# A book with accents, a multi-line address and a comma in a name (1252 bytes).
printf 'Ren\xe9e\xfe\xfeDub\xe9\xfe1 Road\r\r\nTown\xfeFemale\xfd' >test.txt
printf 'Al\xfeJ.\xfeAbe, Jr\xfe\xfeMale\xfd' >>test.txt

"$qbcard" export vcard -o ours.vcf
"$qbcard" export vcard --vcard 4.0 -o ours4.vcf
"$qbcard" export csv -o ours.csv
"$qbcard" export csv --layout google -o ours-google.csv
"$qbcard" export csv --layout outlook -o ours-outlook.csv

"$python" - <<'PY' || fail "vobject does not read our vCards as written"
import vobject
for name in ("ours.vcf", "ours4.vcf"):
    cards = list(vobject.readComponents(open(name, encoding="utf-8").read()))
    got = sorted((c.n.value.family, c.n.value.given, c.n.value.additional) for c in cards)
    assert got == [("Abe, Jr", "Al", "J."), ("Dubé", "Renée", "")], got
    renee = [c for c in cards if c.n.value.given == "Renée"][0]
    assert renee.adr.value.street == "1 Road\nTown", renee.adr.value.street
PY
abook --convert --informat vcard --infile ours.vcf --outformat abook --outfile abook.out
grep -qx 'name=Renée Dubé' abook.out || fail "abook does not read our vCard's names"
grep -qx 'address=1 Road\\nTown' abook.out || fail "abook does not read our vCard's address"

"$python" - <<'PY' || fail "Python's csv module does not read our CSV as written"
import csv
rows = list(csv.DictReader(open("ours.csv", encoding="utf-8-sig", newline="")))
assert [r["Last Name"] for r in rows] == ["Abe, Jr", "Dubé"], rows
assert rows[1]["Address"] == "1 Road\r\nTown" and rows[1]["Sex"] == "Female", rows[1]
PY

# What the peers write, imported by us.
"$python" - <<'PY'
import vobject
card = vobject.vCard()
card.add("n").value = vobject.vcard.Name(family="Ødegård", given="Åse", additional="Marie")
card.add("fn").value = "Åse Marie Ødegård"
card.add("adr").value = vobject.vcard.Address(street="2 Fjord Road\nBergen")
card.add("tel").value = "123"
open("vobject.vcf", "w", encoding="utf-8").write(card.serialize())
PY
printf '[0]\nname=Zoë Ärmel\naddress=3 Lane\ncity=Köln\nemail=z@k\n' >peer.abook
abook --convert --informat abook --infile peer.abook --outformat vcard --outfile abook.vcf
: >imported.txt
"$qbcard" --file imported.txt import vobject.vcf >/dev/null || fail "vobject's vCard was not imported"
"$qbcard" --file imported.txt import abook.vcf >/dev/null || fail "abook's vCard was not imported"
listed=$("$qbcard" --file imported.txt list --format tsv)
grep -qF $'Åse\tMarie\tØdegård\t2 Fjord Road\\nBergen' <<<"$listed" || fail "vobject's card: $listed"
grep -qF $'Zoë\t\tÄrmel\t3 Lane\\nKöln' <<<"$listed" || fail "abook's card: $listed"

# Our own exports, imported into an empty card file, give the same bytes; and a
# second import changes nothing.
for export in ours.vcf ours4.vcf ours.csv ours-google.csv ours-outlook.csv; do
  rm -f again.txt
  "$qbcard" --file again.txt import "$export" >/dev/null
  "$qbcard" --file again.txt list >/dev/null  # the card file must load
  cp again.txt before.txt
  summary=$("$qbcard" --file again.txt import "$export")
  grep -q ' 0 added, 0 updated, 2 unchanged, 0 rejected' <<<"$summary" || fail "$export twice: $summary"
  cmp -s again.txt before.txt || fail "importing $export twice changed the card file"
  [ -f first.txt ] || cp again.txt first.txt
  cmp -s again.txt first.txt || fail "$export does not import as the other exports do"
done
# vcard4, a strict RFC 6350 reader, takes every card of our 4.0 export as written.
node_peers=${QB_NODE_PEERS:-/usr/local/lib/quillborough-peers}
node - "$node_peers/node_modules/vcard4" ours4.vcf <<'JS' || fail "vcard4 does not read our vCard 4.0"
const { parse } = require(process.argv[2]);
const text = require("fs").readFileSync(process.argv[3], "utf8");
const cards = text.split(/(?<=END:VCARD\r\n)/).filter((card) => card.trim());
const names = cards.map((card) => {
  const value = (name) => parse(card).parsedVcard.find((p) => p.property === name)?.value;
  return [value("N").familyNames, value("ADR")?.streetAddress ?? "", value("GENDER").sex];
});
const want = [["Abe, Jr", "", "M"], ["Dubé", "1 Road\nTown", "F"]];
if (JSON.stringify(names) !== JSON.stringify(want)) throw new Error(JSON.stringify(names));
JS

# An Outlook CSV saved on Windows, in code page 1252: Home and Business addresses in
# parts. It must be named; then both addresses' people import whole.
printf 'First Name,Last Name,Home Street,Home City,Home Postal Code,Home Country/Region,Business Street,Business City\r\n' >outlook.csv
printf 'Ren\xe9e,Dub\xe9,1 Rue,Paris,75001,France,,\r\nJo,Kay,,,,,9 Work St,Leeds\r\n' >>outlook.csv
: >outlook.txt
if "$qbcard" --file outlook.txt import outlook.csv >/dev/null 2>err.txt; then fail "a 1252 CSV read as UTF-8"; fi
grep -q -- '--input-encoding' err.txt || fail "no hint to name the encoding: $(cat err.txt)"
"$qbcard" --file outlook.txt import outlook.csv --input-encoding 1252 >/dev/null
listed=$("$qbcard" --file outlook.txt list --format tsv)
grep -qF $'Renée\t\tDubé\t1 Rue\\nParis 75001\\nFrance' <<<"$listed" || fail "outlook's Home: $listed"
grep -qF $'Jo\t\tKay\t9 Work St\\nLeeds' <<<"$listed" || fail "outlook's Business: $listed"

# A Google CSV without "Address 1 - Formatted": the city is kept.
printf 'Name,Given Name,Family Name,Address 1 - Street,Address 1 - City\n,Ann,Lee,2 Lane,York\n' >google.csv
"$qbcard" --file outlook.txt import google.csv >/dev/null
"$qbcard" --file outlook.txt find lee --format tsv | grep -qF $'2 Lane\\nYork' || fail "google's city lost"

# A vCard without ADR or gender over a full entry changes neither.
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nN:Dub\xc3\xa9;Ren\xc3\xa9e\r\nTEL:1\r\nEND:VCARD\r\n' >bare.vcf
cp outlook.txt before.txt
"$qbcard" --file outlook.txt import bare.vcf | grep -q ' 0 updated, 1 unchanged' || fail "bare vCard updated"
cmp -s outlook.txt before.txt || fail "a vCard without ADR changed the card file"

# A card file that is a symbolic link into another folder: the link stays, its target changes.
mkdir synced && cp before.txt synced/book.txt && ln -s synced/book.txt linked.txt
"$qbcard" --file linked.txt import vobject.vcf >/dev/null
[ -L linked.txt ] || fail "the symbolic link was replaced"
grep -q 'Fjord' synced/book.txt || fail "the link's target was not written"

# A --file that is not a card file is refused, or with --force kept as a backup first.
cp ours.vcf notcard.vcf
if "$qbcard" --file notcard.vcf import vobject.vcf >/dev/null 2>&1; then fail "a vCard given as --file was rewritten"; fi
cmp -s notcard.vcf ours.vcf || fail "a refused --file changed"
"$qbcard" --file notcard.vcf import vobject.vcf --force >/dev/null
cmp -s notcard.vcf.bak ours.vcf || fail "--force kept no backup of the original"

# Standard input, and a full standard output.
"$qbcard" --file stdin.txt import - <ours.vcf | grep -q '^-: 2 added' || fail "import - read nothing"
for command in "export vcard" "export csv" "list" "check"; do
  if $qbcard --file stdin.txt $command >/dev/full 2>err.txt; then fail "$command > /dev/full exited 0"; fi
  grep -q 'standard output' err.txt || fail "$command > /dev/full: $(cat err.txt)"
done
# A device named with -o is written, not refused for having nothing to flush.
"$qbcard" --file stdin.txt export vcard -o /dev/null || fail "export -o /dev/null failed"
if "$qbcard" --file stdin.txt export vcard -o /dev/full 2>/dev/null; then fail "export -o /dev/full exited 0"; fi

echo "peers: vobject, abook and vcard4 read our vCards, Python's csv our CSV; their vCards, Outlook's 1252 CSV and Google's CSV import; round trips exact; links, non-card files and full outputs safe"
