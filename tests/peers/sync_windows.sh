#!/usr/bin/env bash
# qbcard.exe sync under Wine (WinHTTP and XmlLite, loaded when the sync starts)
# against Radicale, Xandikos or SabreDAV over loopback HTTP, with Python's caldav package as
# the second client: a first sync, then an edit here and a card added there, then
# the password from _netrc, then a few faults of each kind through the proxy; then,
# with Radicale, over HTTPS with --cacert. The card
# file's bytes and the server's lines it does not hold are checked.
# Usage: sync_windows.sh <qbcard.exe> radicale|xandikos|sabredav
set -euo pipefail
qbcard=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
server=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/dav_servers.sh"
source "$here/sync_faults.sh"

"start_$server" "$server"
ab=${home}book/
run() { "$here/../../scripts/wine-run.sh" "$qbcard" "$@"; }
expect() {  # expect WHAT OUTPUT CARD-FILE-BYTES (printf format)
  [ "$2" = "$out" ] || fail "$1: $out"
  printf "$3" >"$work/expected"
  cmp -s "$work/expected" test.txt || fail "$1: the card file is $(od -c test.txt | head)"
}

peer mkbook $ab
card "$work/cy.vcf" 'Ray;Cy;;;' 'Cy Ray' 'item1.TEL;TYPE=CELL:+44 1' 'ADR;TYPE=HOME:;;3 Home Row;;;;' \
  'NOTE:met at the fair\, 2019' 'X-UNKNOWN;X-P="a:b":kept'
peer put ${ab}cy.vcf "$work/cy.vcf"
kept=$(peer kept ${ab}cy.vcf)
mkdir "$work/w" && cd "$work/w"
printf 'Ren\xe9e\xfe\xfeDub\xe9\xfe1 Road\r\r\nTown\xfeFemale\xfd' >test.txt

out=$(run sync --user ann "$base/") || fail "first sync: $out"
expect "first sync" $'added here: Cy Ray\nadded there: Renée Dubé\n1 sent, 1 received, 0 deleted here, 0 deleted there, 0 conflicts' \
  'Ren\xe9e\xfe\xfeDub\xe9\xfe1 Road\r\r\nTown\xfeFemale\xfdCy\xfe\xfeRay\xfe3 Home Row\xfe\xfd'
peer get "$(peer list $ab | grep -v cy.vcf)" | grep -q '^N:Dubé;Renée;;;' || fail "Renée's card on the server"

printf 'Ren\xe9e\xfe\xfeDub\xe9\xfe1 Road\r\r\nTown\xfeFemale\xfdCy\xfe\xfeRay\xfe4 New Row\xfeMale\xfd' >test.txt
card "$work/di.vcf" 'Vo;Di;;;' 'Di Vo' 'TEL:+1 2' 'ADR;TYPE=HOME:;;1 Elm St;;;;'
peer put ${ab}di.vcf "$work/di.vcf"
out=$(run sync --user ann "$base$ab") || fail "second sync: $out"
expect "an edit on each side" $'added here: Di Vo\nupdated there: Cy Ray\n1 sent, 1 received, 0 deleted here, 0 deleted there, 0 conflicts' \
  'Ren\xe9e\xfe\xfeDub\xe9\xfe1 Road\r\r\nTown\xfeFemale\xfdCy\xfe\xfeRay\xfe4 New Row\xfeMale\xfdDi\xfe\xfeVo\xfe1 Elm St\xfe\xfd'
[ "$(peer kept ${ab}cy.vcf)" = "$kept" ] || fail "Cy's other lines: $(peer get ${ab}cy.vcf)"
peer get ${ab}cy.vcf | grep -q '^ADR;TYPE=HOME:;;4 New Row;;;;' || fail "Cy's new address"

# The password from _netrc in the user's profile, as Windows programs keep it.
source "$here/../../scripts/wine-env.sh"
use_wine_for "$qbcard"
profile=$(wine cmd /c echo %USERPROFILE% 2>/dev/null | tr -d '\r')
netrc=$(winepath -u "$profile\\_netrc" 2>/dev/null)
printf 'machine 127.0.0.1 login ann password secret\r\n' >"$netrc"
set +e
out=$(QBCARD_PASSWORD= run sync "$base$ab" 2>&1)
got=$?
set -e
rm -f "$netrc"
[ "$got" = 0 ] || fail "with _netrc: $out"

# Faults through the proxy, a few of each kind: WinHTTP's own answers to a server
# that goes away, cuts an answer short or asks to be called again. One server is
# enough for what is the client's own; the native suite tries every server.
if [ "$server" = xandikos ]; then
  exe=$qbcard qbcard=$work/qbcard-under-wine
  printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$here/../../scripts/wine-run.sh" "$exe" >"$qbcard"
  chmod +x "$qbcard"
  fault_suite few
  qbcard=$exe
fi

[ "$server" = radicale ] || { echo "qbcard.exe sync under Wine against $server: all checks passed"; exit 0; }

# HTTPS with --cacert (Wine checks host names, not IP addresses, so the name is
# localhost): a file without a valid certificate, or with one that did not sign the
# server's, stops the sync before anything changes and before the password is sent;
# the right one syncs.
for name in cert other; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -addext subjectAltName=DNS:localhost \
    -keyout "$work/$name-key.pem" -out "$work/$name.pem" 2>/dev/null
done
mv "$work/cert-key.pem" "$work/key.pem"
RADICALE_LOG=info start_radicale https ssl
base=https://localhost:$port
export DAV_CA=$work/cert.pem
peer mkbook $ab
mkdir "$work/tls" && cd "$work/tls"
printf 'Ann\xfe\xfeLee\xfe\xfeFemale\xfd' >test.txt
cp test.txt "$work/before"
logins=$(grep -c login "$work/https/log")
printf -- '-----BEGIN CERTIFICATE-----\nbroken\n-----END CERTIFICATE-----\n' >"$work/broken.pem"
for file in test.txt ../broken.pem; do
  set +e
  out=$(run sync --user ann --cacert "$file" "$base$ab" 2>&1)
  got=$?
  set -e
  [ "$got" = 2 ] && grep -q "$file: .*certificate" <<<"$out" || fail "--cacert $file: exit $got: $out"
done
set +e
out=$(run sync --user ann --cacert ../other.pem "$base$ab" 2>&1)
got=$?
set -e
[ "$got" = 2 ] && grep -q "not signed by a certificate in ../other.pem" <<<"$out" || fail "another CA: exit $got: $out"
[ "$(grep -c login "$work/https/log")" = "$logins" ] || fail "the password went to an untrusted server: $(grep login "$work/https/log")"
cmp -s test.txt "$work/before" && [ "$(ls)" = test.txt ] && [ -z "$(peer list $ab)" ] || fail "another CA changed something"
out=$(run sync --user ann --cacert ../cert.pem "$base$ab") || fail "https: $out"
peer get "$(peer list $ab)" | grep -q '^N:Lee;Ann;;;' || fail "Ann's card on the server: $out"
echo "qbcard.exe sync under Wine against $server: all checks passed"
