#!/usr/bin/env bash
# Times qbcard sync against Radicale on this machine: a first sync of FIRST
# contacts beside vdirsyncer's first sync of the same cards to the same server in
# the same run, and a sync with nothing to do at NOOP contacts (the server's
# storage filled directly). Each client's own time is its process's CPU time;
# Radicale's is its CPU time during that sync. Timings are reported, not asserted.
# Usage: sync_bench.sh <qbcard> [FIRST] [NOOP]
set -euo pipefail
qbcard=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
first=${2:-2000}
noop=${3:-10000}
python=/usr/bin/python3
work=$(mktemp -d)
trap 'kill $radicale 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export QBCARD_PASSWORD=secret

port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'ann:secret\n' >"$work/users"
printf '[server]\nhosts = 127.0.0.1:%s\n[auth]\ntype = htpasswd\nhtpasswd_filename = %s\nhtpasswd_encryption = plain\n[storage]\nfilesystem_folder = %s\n[rights]\ntype = owner_only\n[logging]\nlevel = error\n' \
  "$port" "$work/users" "$work/storage" >"$work/config"
mkdir -p "$work/storage/collection-root/ann"
for book in qb vds big; do
  mkdir -p "$work/storage/collection-root/ann/$book"
  printf '{"tag": "VADDRESSBOOK"}' >"$work/storage/collection-root/ann/$book/.Radicale.props"
done
radicale --config "$work/config" >"$work/log" 2>&1 &
radicale=$!
for _ in $(seq 100); do "$python" -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.1)" 2>/dev/null && break; sleep 0.1; done

# A card file of COUNT generated contacts, and its cards one file each, as qbcard exports them.
make_book() {  # make_book COUNT FOLDER
  "$python" - "$1" "$2/test.txt" <<'PY'
import random, sys
count, path = int(sys.argv[1]), sys.argv[2]
rng = random.Random(20261208)
out = bytearray()
for i in range(count):
    first, last = f"First{i}", f"Last{rng.randrange(10**6):06d}x{i}"
    address = f"{rng.randrange(1, 999)} Some Road\r\r\nTown {i % 97}"
    out += b"\xfe".join(x.encode("cp1252") for x in (first, "", last, address, rng.choice(["Male", "Female"]))) + b"\xfd"
open(path, "wb").write(out)
PY
}
split_cards() {  # split_cards VCF FOLDER
  "$python" - "$1" "$2" <<'PY'
import os, re, sys
text = open(sys.argv[1], encoding="utf-8", newline="").read()
os.makedirs(sys.argv[2], exist_ok=True)
for card in re.findall(r"BEGIN:VCARD\r\n.*?END:VCARD\r\n", text, re.S):
    uid = re.search(r"UID:urn:uuid:([0-9a-f-]+)", card).group(1)
    open(os.path.join(sys.argv[2], uid + ".vcf"), "w", encoding="utf-8", newline="").write(card)
PY
}
cpu_of() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }  # clock ticks
ticks=$(getconf CLK_TCK)
timed() {  # timed LABEL COMMAND...: wall, own CPU and Radicale's CPU
  local label=$1 before after
  shift
  before=$(cpu_of "$radicale")
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >"$work/out" 2>"$work/err" ||
    { echo "$label failed: $(tail -3 "$work/err")"; return 1; }
  after=$(cpu_of "$radicale")
  read -r wall user sys <"$work/time"
  awk -v l="$label" -v w="$wall" -v own="$user + $sys" -v u="$user" -v s="$sys" -v r=$((after - before)) -v t="$ticks" \
    'BEGIN { printf "%-44s %8.2f s wall %8.2f s own CPU %8.2f s Radicale CPU\n", l, w, u + s, r / t }' 
}

mkdir -p "$work/qb" "$work/vds"
make_book "$first" "$work/qb"
(cd "$work/qb" && "$qbcard" export vcard -o all.vcf)
split_cards "$work/qb/all.vcf" "$work/vds/cards"
cat >"$work/vds/config" <<CONF
[general]
status_path = "$work/vds/status/"
[pair book]
a = "local"
b = "remote"
collections = null
[storage local]
type = "filesystem"
path = "$work/vds/cards/"
fileext = ".vcf"
[storage remote]
type = "carddav"
url = "http://127.0.0.1:$port/ann/vds/"
username = "ann"
password = "secret"
CONF

if [ "$first" -gt 0 ]; then
  echo "first sync of $first contacts into an empty address book:"
  cd "$work/qb"
  timed "  qbcard sync" "$qbcard" sync --user ann "http://127.0.0.1:$port/ann/qb/"
  tail -1 "$work/out"
  vdirsyncer -c "$work/vds/config" discover >/dev/null 2>&1 </dev/null || true
  timed "  vdirsyncer sync" vdirsyncer -c "$work/vds/config" sync
  ls "$work/storage/collection-root/ann/vds" | grep -c '\.vcf$' | sed 's/^/  vdirsyncer uploaded: /'
fi

echo "a sync with nothing to do at $noop contacts:"
mkdir -p "$work/big"
make_book "$noop" "$work/big"
(cd "$work/big" && "$qbcard" export vcard -o all.vcf)
split_cards "$work/big/all.vcf" "$work/storage/collection-root/ann/big"
cd "$work/big"
timed "  qbcard sync, the first (reads every card)" "$qbcard" sync --user ann "http://127.0.0.1:$port/ann/big/"
tail -1 "$work/out"
timed "  qbcard sync, nothing to do" "$qbcard" sync -v --user ann "http://127.0.0.1:$port/ann/big/"
tail -1 "$work/out"
echo "  requests: $(grep -c ' -> ' "$work/err")"
timed "  the same again" "$qbcard" sync --user ann "http://127.0.0.1:$port/ann/big/"
