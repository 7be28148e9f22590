#!/usr/bin/env bash
# The results table from made-up runs: its ratios, and the History rows that
# make bench BENCH_LABEL="..." appends or replaces.
#   results_table_test.sh WRITE_RESULTS WORK_DIR
set -u
WRITE_RESULTS=$1
WORK=$2
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh" "$WORK"

# the median of a benchmark NAME's repetitions: NS ns per point-step
median() {
  echo "{\"name\": \"$1_median\", \"run_name\": \"$1\", \"run_type\": \"aggregate\","
  echo " \"aggregate_name\": \"median\", \"ns_per_point_step\": $2, \"points\": 65282},"
}

# run.json with every RK4 step taking OURS ns, its SSE2 bound at 65 000 points
# 50 ns, Bullet 100 ns with collisions off and 500 by default, whose sphere
# failed at 1 000 points; of mean and median, only the median counts
run() {
  local ours=$1
  cat >"$WORK/run.json" <<JSON
{"context": {"cpu_model": "Test CPU 9000", "num_cpus": 2, "mhz_per_cpu": 1000, "avx": "no", "peer": "none",
             "methods": "[\"Euler\", \"Heun\", \"RK4\"]"},
 "benchmarks": [
  {"name": "step/RK4/257x257_mean", "run_name": "step/RK4/257x257", "run_type": "aggregate",
   "aggregate_name": "mean", "ns_per_point_step": 1, "points": 65282},
  $(for g in 33x33 129x129 257x257; do median "step/RK4/$g" "$ours"; median "peer/bullet/collisions_off/$g" 100; done)
  $(median peer/bullet/default/129x129 500) $(median peer/bullet/default/257x257 500)
  $(median bound/sse2/RK4/257x257 50) $(median memory/257x257 40)
  {"name": "peer/bullet/default/33x33", "run_name": "peer/bullet/default/33x33", "run_type": "iteration",
   "error_occurred": true}
 ]}
JSON
  python3 "$WRITE_RESULTS" --json "$WORK/run.json" --label "$2" --commit "$3" --out-dir "$WORK" >/dev/null \
    || fail "write_results.py failed for $2"
}

table="$WORK/test-cpu-9000.md"
run 200 first aaaaaaa
grep -qF '| RK4 | 65 282 (257×257) | 200 | 50.0 | 4.00× | – | – | – | – | 500 | 0.40× | 100 | 2.00× |' "$table" \
  || fail "ours / SSE2 is not the median's 4.00× or a peer's column is not its own"
grep -qF '| faster than Bullet with collisions off, the like-for-like peer, at every size (worst ours / Bullet < 1) | – | – | 2.00× | – |' "$table" \
  || fail "the peer goal is not judged against Bullet with collisions off"
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

# wine figures taken in the emulated machine are marked and compared with nothing
python3 "$WRITE_RESULTS" --json "$WORK/run.json" --wine-json "$WORK/run.json" --wine-emulated --out-dir "$WORK" \
  >/dev/null || fail "write_results.py failed with --wine-emulated"
grep -qF '| RK4 | 257×257 | 60.0 | 60.0 (emulated) |' "$table" || fail "emulated wine figures are not marked"
grep -qF '| wine ≤ 1.3 × Linux (worst size) | – | – | – | – |' "$table" || fail "the wine goal judged emulated figures"

# the step under Node against the native one: WEB ns everywhere but RK4 at
# 129x129, which takes SLOW; every native step takes 50 ns
steps() {
  echo '{"context": {"cpu_model": "Test CPU 9000", "methods": "[\"Euler\", \"Heun\", \"RK4\"]"}, "benchmarks": ['
  for g in 33x33 129x129 257x257; do for m in Euler Heun RK4; do
    median "step/$m/$g" "$([ "$m/$g" = RK4/129x129 ] && echo "$2" || echo "$1")"
  done; done
  echo '{"name": "entry/empty", "ns_per_call": 1}]}'
}
steps 50 50 >"$WORK/native.json"
web() {
  steps "$1" "$2" >"$WORK/web.json"
  python3 "$WRITE_RESULTS" --json "$WORK/native.json" --web-json "$WORK/web.json" --web-note "Node v0" \
    --out-dir "$WORK" >/dev/null || fail "write_results.py failed with --web-json"
}
goal='| WebAssembly step ≤ 2 × native step per point-step (worst size) |'
web 60 125
grep -qF '| RK4 | 129×129 | 50.0 | 125 | 2.50× |' "$table" || fail "the WebAssembly row is not 125 against 50"
grep -qF "$goal 1.20× | 1.20× | 2.50× | no |" "$table" || fail "the WebAssembly goal is not the worst size's"
web 100 100
grep -qF "$goal 2.00× | 2.00× | 2.00× | yes |" "$table" || fail "twice the native step does not meet the goal"
python3 "$WRITE_RESULTS" --json "$WORK/native.json" --web-note "Node.js is missing." --out-dir "$WORK" >/dev/null
sed -n '/^## WebAssembly under Node/,/^## /p' "$table" | grep -qF 'Not measured in this run. Node.js is missing.' \
  || fail "a run without Node does not say so"
grep -qF "$goal – | – | – | – |" "$table" || fail "the WebAssembly goal was judged without a run"

finish "results table"
