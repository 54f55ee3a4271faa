#!/usr/bin/env bash
# qbcard.exe sync --cacert under Wine against Radicale over HTTPS on loopback, with
# certificates made here by openssl: a root CA (the --cacert file) and server
# certificates it signed, one per case. A good one and one signed by an intermediate
# CA that the server sends with it sync; an expired one and one for another host
# stop the sync with a message that says so, exit 2, and send neither the password
# nor anything else. Dates are fixed years ago or years ahead, never near today.
# Usage: certs_windows.sh <qbcard.exe>
set -euo pipefail
qbcard=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/dav_servers.sh"
run() { "$here/../../scripts/wine-run.sh" "$qbcard" "$@"; }

pki=$work/pki
mkdir -p "$pki/issued"
touch "$pki/index.txt"
echo 1000 >"$pki/serial"
cat >"$pki/ca.cnf" <<EOF
[ca]
default_ca = issuer
[issuer]
database = $pki/index.txt
serial = $pki/serial
new_certs_dir = $pki/issued
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
[ca_ext]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
[server_ext]
basicConstraints = CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:\$ENV::QB_CERT_HOST
EOF
# issue NAME ISSUER EXTENSIONS HOST DATES...: NAME.pem and NAME-key.pem, signed by
# ISSUER (itself when ISSUER is NAME) for HOST, with openssl ca's date options.
issue() {
  local name=$1 issuer=$2 extensions=$3 host=$4
  shift 4
  openssl req -new -newkey rsa:2048 -nodes -subj "/CN=$host" \
    -keyout "$pki/$name-key.pem" -out "$pki/$name.csr" 2>/dev/null
  local signer=(-cert "$pki/$issuer.pem")
  [ "$issuer" = "$name" ] && signer=(-selfsign)
  QB_CERT_HOST=$host openssl ca -batch -notext -config "$pki/ca.cnf" -extensions "$extensions" \
    "${signer[@]}" -keyfile "$pki/$issuer-key.pem" -in "$pki/$name.csr" -out "$pki/$name.pem" \
    "$@" 2>/dev/null || fail "openssl could not issue $name"
}
issue root root ca_ext "Quillborough Test Root" -days 7300
issue intermediate root ca_ext "Quillborough Test Intermediate" -days 7300
issue good root server_ext localhost -days 7300
issue expired root server_ext localhost -startdate 20100101000000Z -enddate 20110101000000Z
issue elsewhere root server_ext elsewhere.example -days 7300
issue leaf intermediate server_ext localhost -days 7300
cat "$pki/leaf.pem" "$pki/intermediate.pem" >"$pki/chained.pem"
cp "$pki/leaf-key.pem" "$pki/chained-key.pem"

# serve NAME: Radicale on https://localhost with NAME.pem (the chain it sends) and its
# key; the storage stays from one server to the next.
serve() {
  cp "$pki/$1.pem" "$work/cert.pem"
  cp "$pki/$1-key.pem" "$work/key.pem"
  RADICALE_LOG=info start_radicale https ssl
  base=https://localhost:$port
}
export DAV_CA=$pki/root.pem
ab=/ann/book/
serve good
peer mkbook $ab
stop_servers

# CASE | SERVER'S CHAIN | EXIT | WHAT THE MESSAGE SAYS
cases=(
  "good|good|0|"
  "expired|expired|2|the server's certificate has expired"
  "wrong host|elsewhere|2|the server's certificate names another host"
  "intermediate|chained|0|"
)
for row in "${cases[@]}"; do
  IFS='|' read -r what chain code says <<<"$row"
  serve "$chain"
  folder=$work/${chain}-here
  mkdir "$folder" && cd "$folder"
  printf '%s\xfe\xfeCase\xfe\xfeFemale\xfd' "$chain" >test.txt
  cp test.txt before
  set +e
  out=$(run sync --user ann --cacert "$pki/root.pem" "$base$ab" 2>&1)
  got=$?
  set -e
  [ "$got" = "$code" ] || fail "$what: exit $got: $out"
  if [ "$code" = 0 ]; then
    grep -q "^N:Case;$chain;;;" <<<"$(peer dump $ab)" || fail "$what: the card is not on the server: $out"
  else
    grep -qF "$says" <<<"$out" || fail "$what: the message: $out"
    cmp -s test.txt before && [ "$(ls)" = "before
test.txt" ] || fail "$what: the folder changed: $(ls)"
    ! grep -q login "$work/https/log" || fail "$what: the password was sent: $(grep login "$work/https/log")"
  fi
  stop_servers
done
# A certificate that changes during the sync, after the password has gone to the
# server: the sync stops at once, and the request that would carry the password to
# the new certificate never goes (Wine sends a request its check cancelled, so
# only ending the run keeps the password back there).
RADICALE_LOG=info start_radicale changing
front=$(free_port)
"$python" "$here/tls_switch.py" "$port" "$front" 2 "$work/switch.log" \
  "$pki/good.pem" "$pki/good-key.pem" "$pki/expired.pem" "$pki/expired-key.pem" &
servers+=($!)
wait_for_port "$front"
mkdir "$work/changing-here" && cd "$work/changing-here"
set +e
out=$(run sync --user ann --cacert "$pki/root.pem" "https://localhost:$front$ab" 2>&1)
got=$?
set -e
[ "$got" = 2 ] || fail "changed: exit $got: $out"
grep -qF "the server's certificate changed during the sync and has expired" <<<"$out" ||
  fail "changed: the message: $out"
grep -q "^first .* password$" "$work/switch.log" || fail "changed: no request with the password came first: $(cat "$work/switch.log")"
! grep -q "^then .* password$" "$work/switch.log" ||
  fail "changed: the password went to the changed certificate: $(cat "$work/switch.log")"
stop_servers
echo "qbcard.exe --cacert under Wine: all certificate checks passed"
