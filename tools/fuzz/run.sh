#!/usr/bin/env bash
# Runs every fuzz target of build-fuzz/bin from its seed corpus for a while
# and prints one summary line each; exits non-zero when a target found a
# crash, leak, timeout or memory blow-up (its input is kept in build-fuzz/findings).
#   tools/fuzz/run.sh [seconds per target, default 25] [targets run at once, default 2]
set -uo pipefail
cd "$(dirname "$0")/../.."
SECONDS_EACH=${1:-25}
AT_ONCE=${2:-2}
BIN=build-fuzz/bin
OUT=build-fuzz/fuzz-run
FINDINGS=build-fuzz/findings
TARGETS=(hex jedec pof config project library)
rm -rf "$OUT"
mkdir -p "$OUT" "$FINDINGS"

run_one() { # target
  local t=$1 corpus=$OUT/corpus-$1
  mkdir -p "$corpus"
  # New inputs go to the scratch corpus; the seeds in the repository stay as they are.
  "$BIN/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$FINDINGS/$t-" "$corpus" "tests/data/corpus/$t" >"$OUT/$t.log" 2>&1
  echo $? >"$OUT/$t.rc"
}

for t in "${TARGETS[@]}"; do
  if [ ! -x "$BIN/fuzz_$t" ]; then
    echo "fuzz: $BIN/fuzz_$t is missing (./build.sh fuzz)" >&2
    exit 1
  fi
done
running=0
for t in "${TARGETS[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$AT_ONCE" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
printf '%-10s %6s %12s %8s %8s  %s\n' target rc executions cov corpus result
for t in "${TARGETS[@]}"; do
  rc=$(cat "$OUT/$t.rc")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$OUT/$t.log" | tail -1)
  line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$OUT/$t.log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$line")
  units=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$line")
  result=clean
  if [ "$rc" != 0 ]; then
    result="FINDING (see $OUT/$t.log)"
    failed=1
  fi
  printf '%-10s %6s %12s %8s %8s  %s\n' "$t" "$rc" "${runs:-?}" "${cov:-?}" "${units:-?}" "$result"
done
if [ "$failed" != 0 ]; then
  for t in "${TARGETS[@]}"; do
    [ "$(cat "$OUT/$t.rc")" = 0 ] || { echo "----- $t"; grep -A30 -E 'ERROR|runtime error|deadly signal' "$OUT/$t.log" | head -60; }
  done
  exit 1
fi
