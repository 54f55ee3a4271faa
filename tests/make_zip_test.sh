#!/usr/bin/env bash
# The release zip's entries carry the release commit's date (SOURCE_DATE_EPOCH, else
# the last commit's, else a fixed one without git), and the same input gives the
# same bytes.
set -euo pipefail
script=$(cd "$(dirname "$0")/../scripts" && pwd)/make-zip.py
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'read me\n' >README.txt
dates() { python3 -c 'import sys, zipfile; print(*[i.date_time for i in zipfile.ZipFile(sys.argv[1]).infolist()])' "$1"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

SOURCE_DATE_EPOCH=1700000000 python3 "$script" one.zip README.txt=README.txt
SOURCE_DATE_EPOCH=1700000000 python3 "$script" two.zip README.txt=README.txt
cmp one.zip two.zip || fail "the same input gave two archives"
[ "$(dates one.zip)" = "(2023, 11, 14, 22, 13, 20)" ] || fail "SOURCE_DATE_EPOCH: $(dates one.zip)"
expected=$(git -C "$(dirname "$script")" log -1 --format=%ct)
python3 "$script" commit.zip README.txt=README.txt
[ "$(dates commit.zip)" = "$(python3 -c "import time; t = time.gmtime($expected); print(tuple(t[:5]) + (t[5] // 2 * 2,))")" ] ||
  fail "the last commit's date: $(dates commit.zip)"
cp "$script" outside.py  # no git repository around it
GIT_CEILING_DIRECTORIES=$work python3 outside.py fixed.zip README.txt=README.txt
[ "$(dates fixed.zip)" = "(1980, 1, 1, 0, 0, 0)" ] || fail "without git: $(dates fixed.zip)"
echo "make-zip: entries dated by the release commit, the same bytes every time"
