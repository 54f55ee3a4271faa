#!/usr/bin/env bash
# Fuzzes each reader and prints what it did: the card-file loader, vCard, CSV, the
# code pages and the whole import path.
# Usage: fuzz.sh SECONDS   an open-ended random search of SECONDS per fuzzer (make fuzz)
#        fuzz.sh --fixed   the committed corpus replayed, then a seeded pass of a fixed
#                          number of runs: the same answer every time (make test)
set -euo pipefail
mode=${1:-60}
fixed_seed=20261209 fixed_runs=${FUZZ_FIXED_RUNS:-10000}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzzers="card_file vcard csv codepage import"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target $(printf '%s_fuzzer ' $fuzzers) >/dev/null

for fuzzer in $fuzzers; do
  seeds=fuzz/corpus/$fuzzer
  [ "$fuzzer" = card_file ] && seeds=fuzz/corpus
  log=build/fuzz/$fuzzer.log
  if [ "$mode" = --fixed ]; then
    # A fresh folder takes what the pass finds, so that neither the committed seeds
    # nor an earlier search changes what this pass does.
    corpus=build/fuzz/fixed-$fuzzer
    rm -rf "$corpus" && mkdir -p "$corpus"
    # Two things no seed fixes are left out: entropic scheduling weighs inputs by
    # how long they took, and comparison tracing sees addresses, which differ from
    # run to run. Without them the same tree makes the same inputs every time.
    limits=(-seed="$fixed_seed" -runs="$fixed_runs" -entropic=0 -use_cmp=0)
    what="the corpus and $fixed_runs seeded runs"
  else
    # The open search keeps what it finds in the build folder, and grows from it.
    corpus=build/fuzz/corpus-$fuzzer
    mkdir -p "$corpus"
    limits=(-max_total_time="$mode")
    what="${mode}s"
  fi
  if ! "build/fuzz/fuzz/${fuzzer}_fuzzer" "${limits[@]}" -timeout=10 -rss_limit_mb=4096 \
       -print_final_stats=1 -artifact_prefix="build/fuzz/$fuzzer-" "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzzing $fuzzer found a failure; the input is saved under build/fuzz/:" \
         "add it to $seeds with the fix, so that make test replays it"
    exit 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzzing $fuzzer, $what: ${executions} executions, no failure"
done
