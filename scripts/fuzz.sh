#!/usr/bin/env bash
# Fuzzes each reader for a bounded time and prints what it did: the card-file
# loader, vCard, CSV, the code pages and the whole import path.
# Usage: fuzz.sh [seconds per fuzzer]   (default 60)
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzzers="card_file vcard csv codepage import"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target $(printf '%s_fuzzer ' $fuzzers) >/dev/null

for fuzzer in $fuzzers; do
  # The growing corpora live in the build folder; the seeds stay as committed.
  if [ "$fuzzer" = card_file ]; then
    corpus=build/fuzz/corpus seeds=fuzz/corpus
  else
    corpus=build/fuzz/corpus-$fuzzer seeds=fuzz/corpus/$fuzzer
  fi
  mkdir -p "$corpus"
  log=build/fuzz/$fuzzer.log
  if ! "build/fuzz/fuzz/${fuzzer}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -print_final_stats=1 -artifact_prefix="build/fuzz/$fuzzer-" "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzzing $fuzzer found a failure; the input is saved under build/fuzz/"
    exit 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzzing $fuzzer for ${seconds}s: ${executions} executions, no failure"
done
