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
for export in ours.vcf ours4.vcf ours.csv; do
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
echo "peers: vobject and abook read our vCards, Python's csv our CSV; their vCards import; round trips exact"
