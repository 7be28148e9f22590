#!/usr/bin/env bash
# make bench: runs the benchmark suite of build/bench (Google Benchmark, JSON
# out) and, where the cross compiler, wine and Debian's source of Google
# Benchmark are there, the same suite built for 32-bit Windows under wine;
# where emscripten and Node are, the step compiled to WebAssembly under Node
# (tumelin_web_bench of the web preset) right after the native suite; then
# writes bench/results/<cpu>.md. With a label (make bench
# BENCH_LABEL="...") the run also becomes a row of that file's History.
#   bench.sh [label]
# BENCH_MIN_TIME, BENCH_WINE_MIN_TIME and BENCH_REPETITIONS override the
# suite's settings (the first and last the web run's too). Under wine the
# thread CPU time comes in scheduler ticks (about 15 ms), so each run there
# lasts longer.
set -euo pipefail
cd "$(dirname "$0")/.."

label="${1:-}"
build=build/bench
min_time="${BENCH_MIN_TIME:-0.2}"
wine_min_time="${BENCH_WINE_MIN_TIME:-0.5}"
repetitions="${BENCH_REPETITIONS:-9}"
mkdir -p "$build/results"
json="$build/results/step_bench.json"
wine_json="$build/results/step_bench_wine.json"
web_json="$build/results/step_bench_web.json"
# the repetitions of all benchmarks run in a random order, so that the step,
# its bound and the peer each see the machine's quiet and busy moments alike
suite=(--benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true
  --benchmark_report_aggregates_only=true --benchmark_out_format=json)

"$build/bench/step_bench" "${suite[@]}" --benchmark_min_time="$min_time" --benchmark_out="$json"

# the step as WebAssembly under Node, in the web preset's folder (the preview's
# build there stays as it is: the target is built only by name)
rm -f "$web_json"
web_note=""
if ! command -v em++ >/dev/null || ! command -v node >/dev/null; then
  web_note="emscripten or Node.js is missing (make deps installs both)."
elif ! (cmake --preset web >/dev/null && cmake --build --preset web -j "${JOBS:-2}" --target tumelin_web_bench); then
  web_note="tumelin_web_bench did not build (see make bench's output)."
else
  echo "bench: the step as WebAssembly under Node"
  if node build/web/bench/tumelin_web_bench.js --min_time="$min_time" --repetitions="$repetitions" \
    >"$web_json.part"; then
    mv "$web_json.part" "$web_json"
    web_note="Node $(node --version), emscripten $(em++ -dumpversion)."
  else
    rm -f "$web_json.part"
    web_note="tumelin_web_bench failed under Node (see make bench's output)."
  fi
fi

rm -f "$wine_json"
wine_note=""
wine_args=()
if ! command -v wine >/dev/null || ! command -v i686-w64-mingw32-g++-posix >/dev/null; then
  wine_note="wine or the mingw-w64 cross compiler is missing (make deps installs both)."
elif ! source_dir=$(bash scripts/fetch-debian-source.sh libbenchmark-dev build/third_party); then
  wine_note="Google Benchmark's Debian source could not be fetched (see make bench's output), so the Windows DLL was not measured."
else
  cmake --preset bench-windows-x86 -DTUMELIN_BENCHMARK_SOURCE="$PWD/$source_dir" >/dev/null
  cmake --build --preset bench-windows-x86 -j "${JOBS:-2}" --target step_bench
  echo "bench: the suite's step, write-back and entry under wine, 32-bit Windows DLL"
  # where the kernel cannot run 32-bit programs, wine runs in an emulated
  # machine: those figures are marked and compared with nothing native
  if [ "$(bash scripts/run-32bit.sh --which)" = vm ]; then wine_args+=(--wine-emulated); fi
  # the first run of wine builds its prefix; keep that out of the timings
  bash scripts/run-32bit.sh sh -c 'wineboot -i >/dev/null 2>&1; exec wine "$@"' wine \
    build/bench-windows-x86/bench/step_bench.exe "${suite[@]}" --benchmark_min_time="$wine_min_time" \
    --benchmark_out="Z:$PWD/$wine_json" --benchmark_filter='^(step|writeback|entry)/'
  wine_note="wine $(dpkg-query -W -f='${Version}' wine), $(i686-w64-mingw32-g++-posix --version | head -n1), Google Benchmark $(basename "$source_dir" | sed 's/^benchmark-//')."
fi

commit="$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
if ! git diff --quiet HEAD -- src include 2>/dev/null; then commit="$commit+changes"; fi
if [ -f "$wine_json" ]; then wine_args+=(--wine-json "$wine_json"); fi
web_args=()
if [ -f "$web_json" ]; then web_args+=(--web-json "$web_json"); fi
python3 bench/write_results.py --json "$json" "${wine_args[@]}" --wine-note "$wine_note" \
  "${web_args[@]}" --web-note "$web_note" \
  --label "$label" --commit "$commit" --out-dir bench/results
