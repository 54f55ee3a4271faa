#!/usr/bin/env bash
# Fuzzes the card-file loader for a bounded time and prints what it did.
# Usage: fuzz.sh [seconds]   (default 60)
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target card_file_fuzzer >/dev/null

corpus=build/fuzz/corpus
mkdir -p "$corpus"
log=build/fuzz/last-run.log
# The growing corpus lives in the build folder; the seeds stay as committed.
if ! build/fuzz/fuzz/card_file_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
     -print_final_stats=1 -artifact_prefix=build/fuzz/ "$corpus" fuzz/corpus >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "fuzzing found a failure; the input is saved under build/fuzz/"
  exit 1
fi
done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
echo "fuzzing the card-file loader for ${seconds}s: ${executions} executions, no failure"
echo "  ${done_line}"
