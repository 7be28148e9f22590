#!/usr/bin/env bash
# The results table from made-up runs: its ratios, and the History rows that
# make bench BENCH_LABEL="..." appends or replaces.
#   results_table_test.sh WRITE_RESULTS WORK_DIR
set -u
WRITE_RESULTS=$1
WORK=$2
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh" "$WORK"

# run.json with every RK4 step at 65 000 points taking OURS ns and its SSE2
# bound 50 ns; repetitions give mean and median, and only the median counts
run() {
  local ours=$1
  cat >"$WORK/run.json" <<JSON
{"context": {"cpu_model": "Test CPU 9000", "num_cpus": 2, "mhz_per_cpu": 1000, "avx": "no", "peer": "none"},
 "benchmarks": [
  {"name": "step/RK4/257x257_mean", "run_name": "step/RK4/257x257", "run_type": "aggregate",
   "aggregate_name": "mean", "ns_per_point_step": 1, "points": 65282},
  {"name": "step/RK4/257x257_median", "run_name": "step/RK4/257x257", "run_type": "aggregate",
   "aggregate_name": "median", "ns_per_point_step": $ours, "points": 65282},
  {"name": "bound/sse2/RK4/257x257_median", "run_name": "bound/sse2/RK4/257x257", "run_type": "aggregate",
   "aggregate_name": "median", "ns_per_point_step": 50},
  {"name": "memory/257x257_median", "run_name": "memory/257x257", "run_type": "aggregate",
   "aggregate_name": "median", "ns_per_point_step": 40},
  {"name": "peer/bullet/257x257", "run_name": "peer/bullet/257x257", "run_type": "iteration",
   "error_occurred": true}
 ]}
JSON
  python3 "$WRITE_RESULTS" --json "$WORK/run.json" --label "$2" --commit "$3" --out-dir "$WORK" >/dev/null \
    || fail "write_results.py failed for $2"
}

table="$WORK/test-cpu-9000.md"
run 200 first aaaaaaa
grep -qF '| RK4 | 65 282 (257×257) | 200 | 50.0 | 4.00× |' "$table" || fail "ours / SSE2 is not the median's 4.00×"
grep -qF 'Test CPU 9000' "$table" || fail "the CPU model is missing"
grep -qF '| step ≤ 1.5 × SSE2 bound at 65 000 points | – | – | 4.00× | – |' "$table" \
  || fail "the SSE2 goal does not show RK4's 4.00× with the other methods unmeasured"
grep -qF '| 257×257 | 40.0 | – | – | 5.00× | – | – | – |' "$table" || fail "the memory floor row is not RK4's 5.00×"
run 100 second bbbbbbb
run 75 first ccccccc
history=$(sed -n '/^## History/,$p' "$table" | grep -E '^\| (first|second) ')
expected='| first | ccccccc | – | – | – | – | 75.0 | 1.50× |
| second | bbbbbbb | – | – | – | – | 100 | 2.00× |'
[ "$history" = "$expected" ] || fail "History rows are
$history"
run 60 "" ddddddd
[ "$(sed -n '/^## History/,$p' "$table" | grep -cE '^\| (first|second) ')" -eq 2 ] || fail "a run without a label changed History"

finish "results table"
