#!/usr/bin/env bash
# Runs the benchmark suite once, briefly, on the smallest sphere, and the
# results table over what it wrote (standing in for the wine run too):
#   bench_smoke_test.sh STEP_BENCH WRITE_RESULTS WORK_DIR
# Every case must run without error (the peer's sphere must inflate), every
# kind of figure must reach the table.
set -u
STEP_BENCH=$1
WRITE_RESULTS=$2
WORK=$3
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh" "$WORK"

if ! "$STEP_BENCH" --benchmark_min_time=0.001 --benchmark_filter='/33x33$|^entry/' \
     --benchmark_out="$WORK/run.json" --benchmark_out_format=json >"$WORK/bench.txt" 2>&1; then
  fail "step_bench exited with an error"; cat "$WORK/bench.txt"
fi
grep -q '"error_occurred": true' "$WORK/run.json" && fail "a benchmark reported an error" && cat "$WORK/bench.txt"
peers=$(grep -q '"peer": "Bullet' "$WORK/run.json" && echo peer/bullet/default/33x33 peer/bullet/collisions_off/33x33)
rk4="Runge-Kutta 4"
for name in "step/semi-implicit Euler/33x33" step/Heun/33x33 "step/$rk4/33x33" "bound/scalar/$rk4/33x33" "bound/sse2/$rk4/33x33" \
            writeback/33x33 entry/empty $peers; do
  grep -q "\"name\": \"$name\"" "$WORK/run.json" || fail "step_bench ran no $name"
done

"$STEP_BENCH" --plugin=/nonexistent/Tumelin.kwt --benchmark_filter=entry >/dev/null 2>&1 \
  && fail "step_bench ran without its plug-in"

python3 "$WRITE_RESULTS" --json "$WORK/run.json" --wine-json "$WORK/run.json" \
  --label smoke --commit 0000000 --out-dir "$WORK/results" >/dev/null || fail "write_results.py failed"
table=$(cat "$WORK"/results/*.md 2>/dev/null)
for row in '| semi-implicit Euler | 994 (33×33) |' "| $rk4 | 33×33 |" '| `PluginExecZR73`, 33×33 | 994 |' '| smoke | 0000000 |'; do
  grep -qF -- "$row" <<<"$table" || fail "the table lacks the row $row"
done

finish "bench smoke"
