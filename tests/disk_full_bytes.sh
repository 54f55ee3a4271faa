#!/usr/bin/env bash
# The Windows file layer on a disk that fills at every byte of a save: the saving
# process under Wine may write files no larger than N bytes (RLIMIT_FSIZE), for
# every N from 0 to the new content's size. Below it the save must fail with the
# old card file whole and no temporary file left; at it the save must succeed.
# Usage: disk_full_bytes.sh <save_faults_test.exe>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
source "$here/../scripts/wine-env.sh"
use_wine_for "$program"
ensure_wine_prefix
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
# One server for the whole run, started without the limit, that the limited ones use.
wineserver -p
save() { wine "$program" --save-once 2 "$1"; }

mkdir "$work/old" "$work/new" "$work/disk"
(cd "$work/old" && save A)
(cd "$work/new" && save B)
old=$work/old/test.txt new=$work/new/test.txt
size=$(stat -c %s "$new")
cd "$work/disk"
# One limited save; its exit status in `status`, what Wine said in wine.err.
limited_save() {
  cp "$old" test.txt
  status=0
  # Writes past the limit fail as on a full disk, instead of ending the process.
  (trap '' XFSZ; exec prlimit --fsize="$1" -- "$QB_WINE_LOADER" "$program" --save-once 2 B) \
    2>"$work/wine.err" || status=$?
}
failures=0
for ((limit = 0; limit <= size; ++limit)); do
  limited_save "$limit"
  # The program answers 0 or 3, and a crash of its own ends it with an exception's
  # code. Exit 1 means Wine ended it before it could answer (seen once in a few
  # thousand runs on a loaded machine): the card file must still be whole, and the
  # run is tried again.
  for attempt in 1 2; do
    [ "$status" -ne 1 ] && break
    echo "limit $limit: Wine ended the run with exit $status: $(head -c 500 "$work/wine.err")" >&2
    cmp -s test.txt "$old" || cmp -s test.txt "$new" ||
      { echo "limit $limit: the card file is neither the old one nor the new one" >&2; exit 1; }
    limited_save "$limit"
  done
  if ((limit < size)); then
    [ "$status" -eq 3 ] || { echo "limit $limit: exit $status, want 3 (a reported failure)" >&2; exit 1; }
    cmp -s test.txt "$old" || { echo "limit $limit: the old card file is not whole" >&2; exit 1; }
    failures=$((failures + 1))
  else
    [ "$status" -eq 0 ] && cmp -s test.txt "$new" || { echo "limit $limit: the save did not go through" >&2; exit 1; }
  fi
  if compgen -G '*.tmp' >/dev/null; then echo "limit $limit: a temporary file was left" >&2; exit 1; fi
done
echo "disk full at each of $failures byte positions of a $size-byte save under Wine: reported as failure, 0 bytes lost"
