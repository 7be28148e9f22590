#!/usr/bin/env bash
# make bench: runs the benchmark suite of build/bench (Google Benchmark, JSON
# out), the plain step timer of the same build and, where the cross compiler
# and wine are there, the same timer built for 32-bit Windows under wine;
# then writes bench/results/<cpu>.md. With a label (make bench
# BENCH_LABEL="...") the run also becomes a row of that file's History.
#   bench.sh [label]
# BENCH_MIN_TIME and BENCH_REPETITIONS override the suite's settings.
set -euo pipefail
cd "$(dirname "$0")/.."

label="${1:-}"
build=build/bench
min_time="${BENCH_MIN_TIME:-0.2}"
repetitions="${BENCH_REPETITIONS:-5}"
mkdir -p "$build/results"
json="$build/results/step_bench.json"

"$build/bench/step_bench" --benchmark_min_time="$min_time" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true --benchmark_out="$json" --benchmark_out_format=json

echo "bench: step_timer, Linux x86-64"
"$build/bench/step_timer" --repetitions="$repetitions" | tee "$build/results/timer-linux.txt"

wine_args=()
wine_note=""
if command -v wine >/dev/null && command -v i686-w64-mingw32-g++-posix >/dev/null; then
  cmake --preset bench-windows-x86 >/dev/null
  cmake --build --preset bench-windows-x86 -j "${JOBS:-2}" --target step_timer
  echo "bench: step_timer, 32-bit Windows DLL under wine"
  # the first run of wine builds its prefix; keep that out of the timings
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wine build/bench-windows-x86/bench/step_timer.exe \
    --repetitions="$repetitions" | tr -d '\r' | tee "$build/results/timer-wine.txt"
  wine_args=(--timer-wine "$build/results/timer-wine.txt")
  wine_note="wine $(wine --version 2>/dev/null | tr -d '\r'), $(i686-w64-mingw32-g++-posix --version | head -n1)."
else
  wine_note="wine or the mingw-w64 cross compiler is missing (make deps installs both)."
fi

commit="$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
if ! git diff --quiet HEAD -- src include 2>/dev/null; then commit="$commit+changes"; fi
python3 bench/write_results.py --json "$json" --timer-linux "$build/results/timer-linux.txt" "${wine_args[@]}" \
  --wine-note "$wine_note" --label "$label" --commit "$commit" --out-dir bench/results
