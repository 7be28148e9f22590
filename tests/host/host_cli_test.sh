#!/usr/bin/env bash
# Command-level tests of tumelin-host on the Linux build:
#   host_cli_test.sh HOST INCOMPLETE_PLUGIN EXAMPLES_DIR WORK_DIR
# Every bad input must give one line on stderr, a nonzero exit and no file;
# info, settings, check and run must say and write what they promise.
set -u
HOST=$1
INCOMPLETE=$2
EXAMPLES=$3
WORK=$4
MESHES=$(cd "$(dirname "$0")/../data/mesh" && pwd)
export LC_ALL=C  # the plug-in's decimal separator is then "."

rm -rf "$WORK"
mkdir -p "$WORK" "$WORK/tmp"
# the settings files written for --set go here, and must be gone after each command
export TMPDIR="$WORK/tmp"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# runs the host, keeping stdout, stderr and the exit code
run() {
  "$HOST" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt"
  status=$?
}

# expect_error NAME TEXT ARGS...: nonzero exit, exactly one line on stderr
# that contains TEXT, and nothing left in the output folder $WORK/outdir
expect_error() {
  local name=$1 text=$2
  shift 2
  rm -rf "$WORK/outdir"
  run "$@"
  local lines
  lines=$(wc -l <"$WORK/err.txt")
  if [ "$status" -eq 0 ]; then fail "$name: exit code 0"; fi
  if [ "$status" -gt 4 ]; then fail "$name: exit code $status (crash?)"; fi
  if [ "$lines" -ne 1 ]; then fail "$name: $lines lines on stderr: $(cat "$WORK/err.txt")"; fi
  if ! grep -qF -- "$text" "$WORK/err.txt"; then fail "$name: stderr lacks '$text': $(cat "$WORK/err.txt")"; fi
  if [ -e "$WORK/outdir" ] && [ -n "$(ls -A "$WORK/outdir")" ]; then fail "$name: left files in the output folder"; fi
}

# ---- bad input ------------------------------------------------------------------
O=(--out "$WORK/outdir")
expect_error unknown-shape "unknown shape 'cube'" run --shape cube "${O[@]}"
expect_error rows-too-many "rows must lie between 1 and 257" run --rows 258 "${O[@]}"
expect_error rows-zero "rows must lie between 1 and 257" run --rows 0 "${O[@]}"
expect_error sphere-too-narrow "needs at least 4 columns" run --shape sphere --columns 3 "${O[@]}"
expect_error torus-too-short "needs at least 4 rows" run --shape torus --rows 3 "${O[@]}"
expect_error pole-on-sheet "needs a sphere" run --shape sheet --pin pole "${O[@]}"
expect_error pin-out-of-range "pinned point 999 does not exist" run --shape sheet -u 5 -v 5 --pin-points 0,999 "${O[@]}"
expect_error missing-ini "$WORK/missing.ini" run --ini "$WORK/missing.ini" "${O[@]}"
expect_error missing-ini-settings "$WORK/missing.ini" settings "$WORK/missing.ini"
expect_error missing-plugin "$WORK/none.kwt" --plugin "$WORK/none.kwt" info
head -c 20000 "$(dirname "$HOST")/Tumelin.kwt" >"$WORK/cut.kwt"
expect_error plugin-cut "not a complete plug-in: $WORK/cut.kwt is cut off" --plugin "$WORK/cut.kwt" run -n 1 "${O[@]}"
expect_error plugin-lacks-entry "lacks the entry PluginExecZR73" --plugin "$INCOMPLETE" run -n 1 "${O[@]}"
expect_error bad-option "--frobnicate" run --frobnicate "${O[@]}"
expect_error bad-number "--steps" run --steps many "${O[@]}"
expect_error every-zero "--every: steps between frames must be 1 or more, not 0" run --every 0 "${O[@]}"
expect_error radius-comma "--radius: radius must be a number with '.' as its decimal point, not '0,5'" run --radius 0,5 "${O[@]}"
expect_error sweep-mixed-list "reads two ways: 5 values (0 | 2 | 0 | 5 | 1) with both separating values, or 3 values (0,2 | 0,5 | 1)" \
  sweep --set "ClothP=0,2;0,5;1" "${O[@]}"
expect_error bad-image "--image" run --image 10 "${O[@]}"
expect_error bad-view "--view: elevation must lie between -89 and 89" run --view 10,95 "${O[@]}"
expect_error bad-view-form "--view: view must be AZIMUTH,ELEVATION" run --view 10 "${O[@]}"
expect_error bad-frame "--frame: unknown framing 'tight' (choose fixed or auto)" run --frame tight "${O[@]}"
expect_error animate-without-out "--animate needs an output folder" run --animate
expect_error sweep-bad-key "is not a key of [Setup]" sweep --set Pressure=1,2 "${O[@]}"
expect_error sweep-empty-value "an empty value in the list" sweep --set ClothP=0.2,,1 "${O[@]}"
expect_error sweep-twice "ClothP is given twice" sweep --set ClothP=1,2 --set clothp=3 "${O[@]}"
expect_error sweep-bad-thumb "--thumb" sweep --set ClothP=1,2 --thumb 5x5 "${O[@]}"
expect_error sweep-bad-scenario "unknown shape 'cube'" sweep --shape cube --set ClothP=1,2 "${O[@]}"
expect_error no-command "subcommand"
printf '[Membrane]\nShape=cube\n' >"$WORK/badshape.ini"
expect_error bad-membrane-key "[Membrane] Shape: unknown shape 'cube' (choose sphere" run --ini "$WORK/badshape.ini" "${O[@]}"
touch "$WORK/plainfile"
expect_error unwritable-out "plainfile" run -n 1 --out "$WORK/plainfile/sub"
expect_error out-is-a-file "not a folder" run -n 1 --out "$WORK/plainfile"

# ---- info -------------------------------------------------------------------------
run info
[ "$status" -eq 0 ] || fail "info: exit $status"
grep -q "display name   Tumelin,52" "$WORK/out.txt" || fail "info: display name"
grep -q "generation 6   KWDX- -TMLN [A-Za-z0-9]\{32\} KW_Tumelin 0" "$WORK/out.txt" || fail "info: generation 6"
grep -q "generation 7   QJ7 -TMLN [A-Za-z0-9]\{32\} KW_Tumelin 0" "$WORK/out.txt" || fail "info: generation 7"
grep -q "version stamp  2012-04-03 14:15:09 (41002.59385416667, registration data" "$WORK/out.txt" || fail "info: version stamp"
grep -qx "release        $TUMELIN_VERSION (tumelin-host)" "$WORK/out.txt" || fail "info: release"

# ---- --version ----------------------------------------------------------------------
run --version
[ "$status" -eq 0 ] || fail "--version: exit $status"
[ "$(cat "$WORK/out.txt")" = "tumelin-host $TUMELIN_VERSION" ] || fail "--version: $(cat "$WORK/out.txt")"

# ---- settings ---------------------------------------------------------------------
printf '[setup]\nClothP=0,7\nClothC=\nclothk0=2e1\nClothT0=0x1F4\nClothMethod=1.5\n' >"$WORK/explain.ini"
run settings "$WORK/explain.ini"
[ "$status" -eq 0 ] || fail "settings: exit $status"
row() { grep "^$1 " "$WORK/out.txt"; }
row ClothP | grep -q '"0,7" *0.5 *default 0.5: malformed at column 2: .,. is not the decimal separator' || fail "settings: ClothP row: $(row ClothP)"
row ClothC | grep -q '(none) *1 *default 1: key missing or empty' || fail "settings: ClothC row: $(row ClothC)"
row ClothK0 | grep -q '"2e1" *20 *read from the file' || fail "settings: ClothK0 row: $(row ClothK0)"
row ClothK1 | grep -q 'default 5: key missing' || fail "settings: ClothK1 row: $(row ClothK1)"
row ClothT0 | grep -q '"0x1F4" *500 *read from the file' || fail "settings: ClothT0 row: $(row ClothT0)"
row ClothMethod | grep -q 'default 0: malformed at column 2: not a whole number' || fail "settings: ClothMethod row: $(row ClothMethod)"
# a NOTE marks a key where the plug-in stored other than the host's reading
agree() {
  if grep -q NOTE "$WORK/out.txt"; then fail "settings $1: host and plug-in disagree: $(grep NOTE "$WORK/out.txt")"; fi
}
agree explain.ini

# the text shown is the text the plug-in reads: only the first [Setup] counts,
# a section name runs to the last "]", and ";" lines are keys like any other
printf '; ClothP=0.9\n[Setup]x]\nClothP=0.1\n[Setup]\nClothP=0.25\n;ClothK0=7\n[Membrane]\nShape=sheet\n[Setup]\nClothC=3\n' \
  >"$WORK/rules.ini"
run settings --ini "$WORK/rules.ini"
[ "$status" -eq 0 ] || fail "settings rules.ini: exit $status"
row ClothP | grep -q '"0.25" *0.25 *read from the file' || fail "settings rules.ini: ClothP row: $(row ClothP)"
row ClothC | grep -q '(none) *1 *default 1: key missing' || fail "settings rules.ini: ClothC row: $(row ClothC)"
row ClothK0 | grep -q '(none) *5 *default 5: key missing' || fail "settings rules.ini: ClothK0 row: $(row ClothK0)"
agree rules.ini

# a UTF-16LE file, for [Setup] and [Membrane] alike
{
  printf '\xff\xfe'
  printf '[Setup]\r\nClothK1=0.75\r\nClothMethod=2\r\n[Membrane]\r\nShape=torus\r\n' | iconv -f UTF-8 -t UTF-16LE
} >"$WORK/utf16.ini"
run settings "$WORK/utf16.ini"
[ "$status" -eq 0 ] || fail "settings utf16.ini: exit $status"
row ClothK1 | grep -q '"0.75" *0.75 *read from the file' || fail "settings utf16.ini: ClothK1 row: $(row ClothK1)"
row ClothMethod | grep -q '"2" *2 *read from the file' || fail "settings utf16.ini: ClothMethod row: $(row ClothMethod)"
agree utf16.ini
run check --ini "$WORK/utf16.ini"
grep -q "^torus " "$WORK/out.txt" || fail "check utf16.ini: not the torus: $(head -n 1 "$WORK/out.txt")"

# ---- check ------------------------------------------------------------------------
run check --shape torus
[ "$status" -eq 0 ] && grep -q "^ok" "$WORK/out.txt" || fail "check torus: exit $status"
run check --shape sphere --defect seam
[ "$status" -eq 3 ] && grep -q "the membrane leaks" "$WORK/out.txt" || fail "check seam: exit $status"
run check --shape sphere --defect flip
[ "$status" -eq 3 ] && grep -q "winding is inconsistent" "$WORK/out.txt" || fail "check flip: exit $status"
run check --shape sphere --winding ccw
[ "$status" -eq 3 ] && grep -q "deflates" "$WORK/out.txt" || fail "check ccw: exit $status"

# ---- run --------------------------------------------------------------------------
run run --shape sphere -u 17 -v 9 --flatten 0.5 -n 60 --every 20 --hash --image 200x150 --out "$WORK/sphere"
[ "$status" -eq 0 ] || fail "run: exit $status: $(cat "$WORK/err.txt")"
# not a terminal: no progress bar, nothing on stderr
[ -s "$WORK/err.txt" ] && fail "run: stderr not empty: $(cat "$WORK/err.txt")"
grep -q "^sphere: sphere 17x9 (114 points), 60 steps in .* volume .* max speed" "$WORK/out.txt" || fail "run: summary: $(cat "$WORK/out.txt")"
hash1=$(grep '^hash ' "$WORK/out.txt")
for f in surface.obj surface.png figures.csv plot.svg scene.ini frames/step_000020.obj frames/step_000040.obj frames/step_000060.obj \
         frames/step_000020.png frames/step_000060.png; do
  [ -s "$WORK/sphere/$f" ] || fail "run: $f missing"
done
[ -z "$(find "$WORK/sphere" -name '.*tmp*')" ] || fail "run: temporary files left"
# 17 x 9 cells, two pole rows collapsed: (16 * 8 - 16) * 2 + 16 * 2 triangles
[ "$(grep -c '^v ' "$WORK/sphere/surface.obj")" -eq 153 ] || fail "run: OBJ vertex count"
[ "$(grep -c '^f ' "$WORK/sphere/surface.obj")" -eq 224 ] || fail "run: OBJ face count"
[ "$(head -c 4 "$WORK/sphere/surface.png" | tail -c 3)" = "PNG" ] || fail "run: not a PNG"
[ "$(wc -l <"$WORK/sphere/figures.csv")" -eq 62 ] || fail "run: CSV rows"
grep -q "<polyline" "$WORK/sphere/plot.svg" || fail "run: plot"
cmp -s "$WORK/sphere/surface.obj" "$WORK/sphere/frames/step_000060.obj" ||
  diff <(tail -n +2 "$WORK/sphere/surface.obj") <(tail -n +2 "$WORK/sphere/frames/step_000060.obj") >/dev/null ||
  fail "run: last frame differs from the final surface"

# the last PNG frame is the final picture: same camera, same fixed scale
cmp -s "$WORK/sphere/surface.png" "$WORK/sphere/frames/step_000060.png" || fail "run: last PNG frame differs from surface.png"

# fixed framing is the start shape's: the start picture is the same whatever
# the settings, and differs from one fitted to the shape itself
printf '[Setup]\nClothP=3\n' >"$WORK/strong.ini"
run run --shape sphere -u 17 -v 9 --flatten 0.5 -n 0 --image 120x90 --out "$WORK/start_default"
run run --ini "$WORK/strong.ini" --shape sphere -u 17 -v 9 --flatten 0.5 -n 0 --image 120x90 --out "$WORK/start_strong"
run run --shape sphere -u 17 -v 9 --flatten 0.5 -n 0 --image 120x90 --frame auto --out "$WORK/start_auto"
cmp -s "$WORK/start_default/surface.png" "$WORK/start_strong/surface.png" || fail "fixed framing: start pictures differ"
cmp -s "$WORK/start_default/surface.png" "$WORK/start_auto/surface.png" && fail "fixed and auto framing look the same"
run run --shape sphere -u 17 -v 9 --flatten 0.5 -n 0 --image 120x90 --view 120,-30 --out "$WORK/start_view"
cmp -s "$WORK/start_default/surface.png" "$WORK/start_view/surface.png" && fail "--view did not move the camera"

# a membrane blown far beyond its start size is cut by the fixed frame: a note says so
run run --shape sphere -u 17 -v 9 --set ClothP=50 --set ClothK0=0.01 -n 3000 --image 64x48 --out "$WORK/grown"
grep -q "note: the membrane grew out of the fixed frame" "$WORK/err.txt" || fail "grown: no note: $(cat "$WORK/err.txt")"
run run --shape sphere -u 17 -v 9 --set ClothP=50 --set ClothK0=0.01 -n 3000 --image 64x48 --frame auto --out "$WORK/grown"
[ -s "$WORK/err.txt" ] && fail "grown with --frame auto: $(cat "$WORK/err.txt")"

# the animation: a GIF of the start and every 20 steps, an MP4 where ffmpeg is
run run --shape sphere -u 17 -v 9 --flatten 0.5 -n 60 --every 20 --animate --image 96x72 --out "$WORK/animated"
[ "$status" -eq 0 ] || fail "animate: exit $status: $(cat "$WORK/err.txt")"
[ "$(head -c 6 "$WORK/animated/animation.gif")" = "GIF89a" ] || fail "animate: no GIF"
if command -v ffprobe >/dev/null; then
  frames=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/animated/animation.gif")
  [ "$frames" = 4 ] || fail "animate: $frames GIF frames, expected 4"
  [ -s "$WORK/animated/animation.mp4" ] || fail "animate: no MP4 although ffmpeg is installed"
  mp4frames=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/animated/animation.mp4")
  [ "$mp4frames" = 4 ] || fail "animate: $mp4frames MP4 frames, expected 4"
fi
[ -z "$(find "$WORK/animated" -name '.*')" ] || fail "animate: temporary files left: $(find "$WORK/animated" -name '.*')"
# without ffmpeg on PATH the GIF still comes, with a note
PATH=/nonexistent "$HOST" run --shape sphere -u 17 -v 9 -n 10 --animate --image 64x48 --out "$WORK/noffmpeg" \
  >"$WORK/out.txt" 2>"$WORK/err.txt" || fail "animate without ffmpeg: exit $?"
[ -s "$WORK/noffmpeg/animation.gif" ] && [ ! -e "$WORK/noffmpeg/animation.mp4" ] || fail "animate without ffmpeg: files"
grep -q "note: no animation.mp4: ffmpeg is not installed" "$WORK/err.txt" || fail "animate without ffmpeg: $(cat "$WORK/err.txt")"

# ---- sweep ------------------------------------------------------------------------
# two by two combinations, one of them blown apart by its damping (a failed
# or diverged run); every combination has its row and its tile
run sweep --shape sphere -u 9 -v 5 -n 20 --set ClothP=0.2,1 --set "ClothC=1;1e100" --thumb 64x48 --jobs 2 \
  --out "$WORK/sweep"
[ "$status" -eq 3 ] || fail "sweep: exit $status, expected 3 for a failed run: $(cat "$WORK/err.txt")"
[ "$(wc -l <"$WORK/sweep/sweep.csv")" -eq 5 ] || fail "sweep: CSV rows: $(cat "$WORK/sweep/sweep.csv")"
head -n 1 "$WORK/sweep/sweep.csv" | grep -q '^run,ClothP,ClothC,status,exit_status,step,' || fail "sweep: CSV header"
[ "$(grep -c ',ok,0,20,' "$WORK/sweep/sweep.csv")" -eq 2 ] || fail "sweep: two runs should end well: $(cat "$WORK/sweep/sweep.csv")"
[ "$(grep -c '^[0-9]*,[0-9.]*,1e100,diverged,4,' "$WORK/sweep/sweep.csv")" -eq 2 ] ||
  fail "sweep: the 1e100 runs should be marked: $(cat "$WORK/sweep/sweep.csv")"
[ "$(head -c 4 "$WORK/sweep/sheet.png" | tail -c 3)" = "PNG" ] || fail "sweep: no contact sheet"
# not a terminal: one line per finished run, counting, then the summary
[ "$(grep -c '^sweep: [1-4] of 4 runs done' "$WORK/out.txt")" -eq 4 ] || fail "sweep: progress lines: $(cat "$WORK/out.txt")"
grep -q '^sweep of sphere: 4 runs in .* 2 ok, 2 failed' "$WORK/out.txt" || fail "sweep: summary: $(cat "$WORK/out.txt")"
# each run is a run of its own, with its files
[ -s "$WORK/sweep/runs/run_1/surface.png" ] && [ -s "$WORK/sweep/runs/run_1/scene.ini" ] || fail "sweep: run 1 left no picture or scene"
grep -q "; files in $WORK/sweep/runs/run_1$" "$WORK/sweep/runs/run_1/run.log" || fail "sweep: run 1's log: $(cat "$WORK/sweep/runs/run_1/run.log")"
# a smaller sweep into the same folder leaves only its own runs
run sweep --shape sphere -u 9 -v 5 -n 5 --set ClothP=0.2,1 --thumb 32x24 --out "$WORK/sweep"
[ "$status" -eq 0 ] || fail "second sweep: exit $status: $(cat "$WORK/err.txt")"
[ "$(ls "$WORK/sweep/runs" | tr '\n' ' ')" = "run_1 run_2 " ] || fail "second sweep: runs/ holds $(ls "$WORK/sweep/runs")"
grep -q "note: removed 2 run folders of an earlier sweep" "$WORK/err.txt" || fail "second sweep: no note: $(cat "$WORK/err.txt")"

# with a decimal comma only ';' separates: two runs, and the plug-in takes
# each value (a value it ignored would leave both runs at the default)
mkdir -p "$WORK/locale"
if I18NPATH=/usr/share/i18n localedef -c -i de_DE -f UTF-8 "$WORK/locale/de_DE.UTF-8" >/dev/null 2>&1 ||
  [ -d "$WORK/locale/de_DE.UTF-8" ]; then
  LOCPATH="$WORK/locale" LC_ALL=de_DE.UTF-8 "$HOST" sweep --shape sphere -u 9 -v 5 -n 20 --set "ClothP=0,2;1,5" \
    --thumb 64x48 --out "$WORK/comma" >"$WORK/out.txt" 2>"$WORK/err.txt" || fail "comma sweep: exit $?: $(cat "$WORK/err.txt")"
  [ "$(wc -l <"$WORK/comma/sweep.csv")" -eq 3 ] || fail "comma sweep: rows: $(cat "$WORK/comma/sweep.csv")"
  grep -q '^1,"0,2",ok,' "$WORK/comma/sweep.csv" && grep -q '^2,"1,5",ok,' "$WORK/comma/sweep.csv" ||
    fail "comma sweep: values: $(cat "$WORK/comma/sweep.csv")"
  [ "$(tail -n 1 "$WORK/comma/runs/run_1/figures.csv")" != "$(tail -n 1 "$WORK/comma/runs/run_2/figures.csv")" ] ||
    fail "comma sweep: both runs ended alike, so the plug-in did not take the values"
  [ "$(LOCPATH="$WORK/locale" LC_ALL=de_DE.UTF-8 "$HOST" hash "$EXAMPLES"/*.ini)" = "$(LC_ALL=C.UTF-8 "$HOST" hash "$EXAMPLES"/*.ini)" ] ||
    fail "the examples end otherwise under a decimal comma"
else
  echo "note: no de_DE locale could be made; the decimal-comma sweep is not tested"
fi

# the same scenario again gives the same bits
run run --shape sphere -u 17 -v 9 --flatten 0.5 -n 60 --hash
[ "$(grep '^hash ' "$WORK/out.txt")" = "$hash1" ] || fail "run: hash changed between runs"
grep -q "; no files written (no --out)$" "$WORK/out.txt" || fail "run without --out: not said: $(cat "$WORK/out.txt")"
run run --ini "$WORK/sphere/scene.ini" --hash
[ "$(grep '^hash ' "$WORK/out.txt")" = "$hash1" ] || fail "scene.ini: not the run's hash: $(cat "$WORK/out.txt" "$WORK/err.txt")"
run run --shape sheet -u 5 -v 5 -n 10 --every 50 --out "$WORK/few"
[ ! -e "$WORK/few/frames" ] && grep -q "warning: --every 50 is more than the run's 10 steps" "$WORK/err.txt" || fail "--every 50 of 10 steps"

# pressure inflates one winding and deflates the other
volume_change() {  # first and last volume of a run's CSV
  awk -F, 'NR == 2 { first = $3 } END { print ($3 > first) ? "grows" : "shrinks" }' "$1/figures.csv"
}
printf '[Setup]\nClothP=0.5\nClothMethod=1\n' >"$WORK/inflate.ini"
run run --ini "$WORK/inflate.ini" --shape sphere -u 17 -v 9 --flatten 0.4 -n 200 --out "$WORK/cw"
[ "$(volume_change "$WORK/cw")" = grows ] || fail "clockwise sphere does not inflate"
run run "$WORK/inflate.ini" --shape sphere -u 17 -v 9 --flatten 0.4 -n 200 --winding ccw --out "$WORK/ccw"
[ "$(volume_change "$WORK/ccw")" = shrinks ] || fail "counter-clockwise sphere does not shrink"

# every example runs, and `hash` agrees with `run --hash`
run hash "$EXAMPLES"/*.ini
[ "$status" -eq 0 ] || fail "hash: exit $status: $(cat "$WORK/err.txt")"
[ "$(wc -l <"$WORK/out.txt")" -eq "$(ls "$EXAMPLES"/*.ini | wc -l)" ] || fail "hash: one line per example"
pillow=$(awk '$2 == "pillow" { print $1 }' "$WORK/out.txt")
run run --ini "$EXAMPLES/pillow.ini" --hash
[ "$(grep '^hash ' "$WORK/out.txt")" = "hash $pillow" ] || fail "hash and run --hash disagree"

# ---- --set ------------------------------------------------------------------------
# a value given on the command line reaches the plug-in as the same text in a file would
printf '[Setup]\nClothP=0.8\nClothK0=7\n' >"$WORK/set_file.ini"
run run --ini "$WORK/set_file.ini" --shape sphere -u 9 -v 5 -n 40 --hash
from_file=$(grep '^hash ' "$WORK/out.txt")
printf '[Setup]\nClothP=0.3\nClothK0=7\n' >"$WORK/set_base.ini"
run run --ini "$WORK/set_base.ini" --shape sphere -u 9 -v 5 -n 40 --hash --set ClothP=0.1 --set clothp=0.8
[ "$status" -eq 0 ] || fail "--set over a file: exit $status: $(cat "$WORK/err.txt")"
[ "$(grep '^hash ' "$WORK/out.txt")" = "$from_file" ] || fail "--set over a file: not the file's result"
printf '[Setup]\nClothP=0.8\n' >"$WORK/set_p.ini"
run run --ini "$WORK/set_p.ini" --shape sphere -u 9 -v 5 -n 40 --hash
from_file=$(grep '^hash ' "$WORK/out.txt")
run run --shape sphere -u 9 -v 5 -n 40 --hash --set ClothP=0.8
[ "$(grep '^hash ' "$WORK/out.txt")" = "$from_file" ] || fail "--set without a file: not the file's result"
run settings "$WORK/set_base.ini" --set ClothP=0,7
row ClothP | grep -q '"0,7" *0.5 *default 0.5: malformed at column 2.*(given by --set)' || fail "settings --set: ClothP row: $(row ClothP)"
row ClothK0 | grep -q '"7" *7 *read from the file$' || fail "settings --set: ClothK0 row: $(row ClothK0)"
agree settings-set
run check --shape torus --set ClothK1=5.0.0
[ "$status" -eq 3 ] || fail "check --set: a malformed value is not a problem (exit $status)"
grep -q 'warning: \[Setup\] ClothK1 "5.0.0": malformed at column 4' "$WORK/out.txt" || fail "check --set: no warning: $(cat "$WORK/out.txt")"
expect_error set-unknown-key '"Pinn" is not a key of [Setup]' run --set Pinn=1 "${O[@]}"
expect_error set-no-equals "expected KEY=VALUE" check --set ClothP
expect_error settings-nothing "name an INI file" settings
[ -z "$(ls -A "$WORK/tmp")" ] || fail "--set: settings files left behind: $(ls -A "$WORK/tmp")"

# ---- own meshes -------------------------------------------------------------------
# hand-written meshes, wound counter-clockwise from outside as OBJ files are
run check --mesh "$EXAMPLES/icosahedron.obj"
[ "$status" -eq 3 ] || fail "check mesh: a counter-clockwise mesh passes (exit $status)"
grep -q "a positive ClothP deflates it (.*--flip reverses every face)" "$WORK/out.txt" || fail "check mesh: no advice: $(cat "$WORK/out.txt")"
run check --mesh "$EXAMPLES/icosahedron.obj" --flip
[ "$status" -eq 0 ] && grep -q "genus 0" "$WORK/out.txt" && grep -q "^ok" "$WORK/out.txt" || fail "check mesh --flip: exit $status: $(cat "$WORK/out.txt")"
run run --mesh "$MESHES/cube_quads.obj" --flip --set ClothP=2 -n 150 --every 50 --image 48x48 --out "$WORK/cube"
[ "$status" -eq 0 ] || fail "run mesh: exit $status: $(cat "$WORK/err.txt")"
[ "$(volume_change "$WORK/cube")" = grows ] || fail "run mesh: the flipped cube does not inflate"
[ "$(grep -c '^f ' "$WORK/cube/surface.obj")" -eq 12 ] || fail "run mesh: the OBJ lacks the mesh's own faces"
[ -s "$WORK/cube/frames/step_000150.obj" ] && [ -s "$WORK/cube/surface.png" ] || fail "run mesh: frames or picture missing"
run run --mesh "$MESHES/cube_quads.obj" --set ClothP=2 -n 150 --out "$WORK/cube_ccw"
[ "$(volume_change "$WORK/cube_ccw")" = shrinks ] || fail "run mesh: the unflipped cube does not shrink"
grep -q "warning: ClothP 2 deflates this membrane" "$WORK/err.txt" || fail "run mesh: no warning before a deflating run"
run run --mesh "$MESHES/cube_quads.obj" --flip --pin-group top -n 100 --hash
pinned_top=$(grep '^hash ' "$WORK/out.txt")
run run --mesh "$MESHES/cube_quads.obj" --flip --pin-below 0.5 -n 100 --hash
[ "$(grep '^hash ' "$WORK/out.txt")" != "$pinned_top" ] || fail "run mesh: pinning the top and the bottom give the same run"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\n' >"$WORK/broken.obj"
expect_error mesh-bad-corner "broken.obj:5: face corner '9' names vertex 9" run --mesh "$WORK/broken.obj" "${O[@]}"
expect_error mesh-missing "nowhere.obj: mesh file not found" check --mesh "$WORK/nowhere.obj"
expect_error mesh-and-shape "--shape: a setting of the grid shapes" run --mesh "$MESHES/cube_quads.obj" --shape torus "${O[@]}"
expect_error mesh-no-group "pin group 'lid' is not in" run --mesh "$MESHES/cube_quads.obj" --pin-group lid "${O[@]}"
# check reports each defect as a problem, and not its opposite; run warns of
# it in the same words: ARGUMENTS|DEFECT|OPPOSITE
while IFS='|' read -r args text opposite; do
  run check $args
  [ "$status" -eq 3 ] && grep -qxF "  $text" "$WORK/out.txt" && ! grep -qF "$opposite" "$WORK/out.txt" ||
    fail "check $args: $(cat "$WORK/out.txt")"
  run run $args -n 1
  grep -qxF "tumelin-host: warning: $text" "$WORK/err.txt" || fail "run $args: $(cat "$WORK/err.txt")"
done <<EOF
--mesh $MESHES/two_tetrahedra.obj --flip|1 edge on three or more triangles (0-1)|shared by exactly two
--mesh $MESHES/open_tetrahedron.obj --flip|3 open edges (1-2, 1-3, 2-3): a seam or hole, the membrane leaks|shared by
--shape sheet -u 5 -v 5 --defect hole|euler characteristic 0 (expected 1)|as expected
--shape sphere -u 9 -v 5 --defect flip|winding is inconsistent across 3 edges (9-10, 9-17, 10-17)|is consistent
EOF

# ---- warnings and a run that diverges ------------------------------------------------
printf '[Setup]\nClothP=0.9 ; comment\nClothK0=2,5\nPinn=1\n[Membrane]\nColums=9\n[setup]\nClothC=2\n' >"$WORK/careless.ini"
run run --ini "$WORK/careless.ini" -n 5
[ "$status" -eq 0 ] || fail "careless.ini: exit $status"
for text in 'ClothP "0.9 ; comment": malformed at column 5' 'ClothK0 "2,5": malformed at column 2' \
  'unknown key "Pinn"' 'unknown key "Colums", which the host ignores (did you mean Columns?)' \
  'section [Setup] is written 2 times'; do
  grep -qF -- "$text" "$WORK/err.txt" || fail "careless.ini: no warning '$text': $(cat "$WORK/err.txt")"
done
run settings "$WORK/careless.ini"
grep -q '^warning: .*careless.ini: \[Setup\] unknown key "Pinn"' "$WORK/out.txt" || fail "settings careless.ini: no warning"
run check --ini "$WORK/careless.ini"
[ "$status" -eq 3 ] && grep -qF 'unknown key "Pinn"' "$WORK/out.txt" || fail "check careless.ini: exit $status"
head -c 4096 "$HOST" >"$WORK/binary.ini"
run run --ini "$WORK/binary.ini" -n 5
grep -q "binary.ini: not a text file" "$WORK/err.txt" || fail "binary INI: no warning: $(cat "$WORK/err.txt")"
run check --shape sphere --set ClothP=-1
[ "$status" -eq 3 ] && ! grep -q "^ok" "$WORK/out.txt" && grep -q "ClothP -1 is negative" "$WORK/out.txt" ||
  fail "check ClothP=-1: exit $status: $(cat "$WORK/out.txt")"
# a run that diverges exits 4 and writes nothing, whenever it stops; one
# whose acceleration overflows is warned of: STATUS|ARGUMENTS|STDERR PATTERN
while IFS='|' read -r want args pattern; do
  rm -rf "$WORK/diverged"
  run run -u 17 -v 9 $args --every 5 --out "$WORK/diverged"
  [ "$status" -eq "$want" ] && grep -q "$pattern" "$WORK/err.txt" || fail "$args: exit $status: $(cat "$WORK/err.txt")"
  [ "$want" -eq 0 ] || [ -z "$(ls -A "$WORK/diverged" 2>/dev/null)" ] || fail "$args: files written: $(ls -A "$WORK/diverged")"
done <<'EOF'
4|-n 300 --set ClothC=700|error: the run diverged at step [0-9]*: point [0-9]* moves at speed .*; cause: ClothC 700: damping
4|-n 1000 --set ClothC=700|error: the run diverged at step .*; no files written
4|--set ClothC=500|error: the run diverged at step .*; cause: ClothC 500
0|-n 20 --set ClothP=1e160|warning: ClothP 1e+160: the pressure .* the point freezes
0|-n 20 --set ClothK0=1e200|warning: ClothK0 1e+200: a spring stretched by more than about 1.34e-49 .* freezes
0|-n 20 --set ClothK1=-1e200|warning: ClothK1 -1e+200: a spring compressed .* freezes
EOF
run --help
grep -q "Exit status: 0 done; 1 .* 4 the run diverged" "$WORK/out.txt" || fail "--help: no exit statuses"

# ---- a set of outputs appears whole -------------------------------------------------
run run --shape sheet -u 5 -v 5 -n 5 --every 5 --image 32x32 --out "$WORK/set"
[ "$status" -eq 0 ] || fail "output set: first run: exit $status"
old_obj=$(cksum <"$WORK/set/surface.obj")
rm "$WORK/set/surface.png" && mkdir "$WORK/set/surface.png"
run run --shape sheet -u 5 -v 5 -n 7 --every 7 --image 32x32 --out "$WORK/set"
[ "$status" -eq 1 ] || fail "output set: a folder in the way: exit $status"
grep -q "surface.png" "$WORK/err.txt" || fail "output set: error does not name the file: $(cat "$WORK/err.txt")"
[ "$(cksum <"$WORK/set/surface.obj")" = "$old_obj" ] || fail "output set: surface.obj replaced though the set failed"
[ -e "$WORK/set/frames/step_000007.obj" ] && fail "output set: a frame of the failed run is in place"
[ -e "$WORK/set/frames/step_000005.obj" ] || fail "output set: the failed run removed a frame of the earlier one"
[ -z "$(find "$WORK/set" -name '.*tmp*')" ] || fail "output set: temporary files left: $(find "$WORK/set" -name '.*tmp*')"
# once the new set is in place, the earlier run's frames that it did not write go
rmdir "$WORK/set/surface.png"
touch "$WORK/set/frames/mine.txt"
run run --shape sheet -u 5 -v 5 -n 7 --every 7 --image 32x32 --out "$WORK/set"
[ "$status" -eq 0 ] || fail "output set: third run: exit $status: $(cat "$WORK/err.txt")"
[ "$(ls "$WORK/set/frames" | tr '\n' ' ')" = "mine.txt step_000007.obj step_000007.png " ] ||
  fail "output set: frames left: $(ls "$WORK/set/frames")"
grep -q "note: removed 2 files of an earlier run in .*set (frames, animation)" "$WORK/err.txt" ||
  fail "output set: no note of the removed frames: $(cat "$WORK/err.txt")"

# ---- an interrupted run ----------------------------------------------------------------
# SIGINT leaves the folder as it was and exits 130; litter of a killed run
# goes with the next run
listing() { find "$1" -type f -printf '%P %s %T@\n' | sort; find "$1" -type d -printf '%P/\n' | sort; }
interrupt() { # interrupt SIGNAL FOLDER: a long animated run, stopped once its frames are being kept
  set -m
  "$HOST" run -u 65 -v 33 -n 1000000 --every 500 --animate --image 48x36 --out "$2" >"$WORK/out.txt" 2>"$WORK/err.txt" &
  local pid=$!
  set +m
  for _ in $(seq 200); do compgen -G "$2/.animation-frames.tmp-*" >/dev/null && break; sleep 0.05; done
  sleep 0.5 && kill "-$1" "$pid" && wait "$pid"
  status=$?
}
before=$(listing "$WORK/set")
interrupt INT "$WORK/set"
[ "$status" -eq 130 ] && grep -q "error: interrupted by SIGINT at step" "$WORK/err.txt" || fail "SIGINT: exit $status: $(cat "$WORK/err.txt")"
[ "$(listing "$WORK/set")" = "$before" ] || fail "SIGINT: the folder changed: $(diff <(echo "$before") <(listing "$WORK/set"))"
interrupt INT "$WORK/new/folder"
[ -e "$WORK/new" ] && fail "SIGINT: the folders the run made are still there"
interrupt KILL "$WORK/set" 2>/dev/null
run run --shape sheet -u 5 -v 5 -n 7 --every 7 --image 32x32 --out "$WORK/set"
grep -qE "note: removed [0-9]+ temporary entr(y|ies) that an interrupted command left in" "$WORK/err.txt" &&
  [ -z "$(find "$WORK/set" -name '.*tmp*')" ] || fail "after SIGKILL: $(cat "$WORK/err.txt"; find "$WORK/set" -name '.*tmp*')"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "all host command tests passed"
