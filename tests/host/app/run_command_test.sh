# tumelin-host run
source "$(dirname "$0")/command_test_lib.sh" "$@"
expect_error rows-too-many "rows must lie between 1 and 257" run --rows 258 "${O[@]}"
expect_error rows-zero "rows must lie between 1 and 257" run --rows 0 "${O[@]}"
expect_error sphere-too-narrow "needs at least 4 columns" run --shape sphere --columns 3 "${O[@]}"
expect_error torus-too-short "needs at least 4 rows" run --shape torus --rows 3 "${O[@]}"
expect_error pole-on-sheet "needs a sphere" run --shape sheet --pin pole "${O[@]}"
expect_error pin-out-of-range "pinned point 999 does not exist" run --shape sheet -u 5 -v 5 --pin-points 0,999 "${O[@]}"
expect_error missing-ini "$WORK/missing.ini" run --ini "$WORK/missing.ini" "${O[@]}"
expect_error bad-number "--steps" run --steps many "${O[@]}"
expect_error radius-comma "--radius: radius must be a number with '.' as its decimal point, not '0,5'" run --radius 0,5 "${O[@]}"
expect_error bad-image "--image" run --image 10 "${O[@]}"
expect_error bad-view "--view: elevation must lie between -89 and 89" run --view 10,95 "${O[@]}"
expect_error bad-view-form "--view: view must be AZIMUTH,ELEVATION" run --view 10 "${O[@]}"
expect_error bad-frame "--frame: unknown framing 'tight' (choose fixed or auto)" run --frame tight "${O[@]}"
expect_error animate-without-out "--animate needs an output folder" run --animate
touch "$WORK/plainfile"
expect_error unwritable-out "plainfile" run -n 1 --out "$WORK/plainfile/sub"
expect_error out-is-a-file "not a folder" run -n 1 --out "$WORK/plainfile"

run_ok run --shape sphere -u 17 -v 9 --flatten 0.5 -n 60 --every 20 --hash --image 200x150 --out "$WORK/sphere"
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
run_ok run --shape sphere -u 17 -v 9 --flatten 0.5 -n 60 --every 20 --animate --image 96x72 --out "$WORK/animated"
[ "$(head -c 6 "$WORK/animated/animation.gif")" = "GIF89a" ] || fail "animate: no GIF"
if command -v ffprobe >/dev/null; then
  # an MP4 missing although ffmpeg is installed counts no frames
  for f in animation.gif animation.mp4; do
    frames=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/animated/$f")
    [ "$frames" = 4 ] || fail "animate: $f has '$frames' frames, expected 4"
  done
fi
[ -z "$(find "$WORK/animated" -name '.*')" ] || fail "animate: temporary files left: $(find "$WORK/animated" -name '.*')"
# without ffmpeg on PATH the GIF still comes, with a note
PATH=/nonexistent "$HOST" run --shape sphere -u 17 -v 9 -n 10 --animate --image 64x48 --out "$WORK/noffmpeg" \
  >"$WORK/out.txt" 2>"$WORK/err.txt" || fail "animate without ffmpeg: exit $?"
[ -s "$WORK/noffmpeg/animation.gif" ] && [ ! -e "$WORK/noffmpeg/animation.mp4" ] || fail "animate without ffmpeg: files"
grep -q "note: no animation.mp4: ffmpeg is not installed" "$WORK/err.txt" || fail "animate without ffmpeg: $(cat "$WORK/err.txt")"


# the same scenario again gives the same bits
[ "$(hash_of run --shape sphere -u 17 -v 9 --flatten 0.5 -n 60)" = "$hash1" ] || fail "run: hash changed between runs"
grep -q "; no files written (no --out)$" "$WORK/out.txt" || fail "run without --out: not said: $(cat "$WORK/out.txt")"
[ "$(hash_of run --ini "$WORK/sphere/scene.ini")" = "$hash1" ] || fail "scene.ini: not the run's hash: $(cat "$WORK/out.txt" "$WORK/err.txt")"
run run --shape sheet -u 5 -v 5 -n 10 --every 50 --out "$WORK/few"
[ ! -e "$WORK/few/frames" ] && grep -q "warning: --every 50 is more than the run's 10 steps" "$WORK/err.txt" || fail "--every 50 of 10 steps"


# a value given on the command line reaches the plug-in as the same text in a file would
printf '[Setup]\nClothP=0.8\nClothK0=7\n' >"$WORK/set_file.ini"
from_file=$(hash_of run --ini "$WORK/set_file.ini" --shape sphere -u 9 -v 5 -n 40)
printf '[Setup]\nClothP=0.3\nClothK0=7\n' >"$WORK/set_base.ini"
[ "$(hash_of run --ini "$WORK/set_base.ini" --shape sphere -u 9 -v 5 -n 40 --set ClothP=0.1 --set clothp=0.8)" = "$from_file" ] ||
  fail "--set over a file: not the file's result: $(cat "$WORK/err.txt")"
printf '[Setup]\nClothP=0.8\n' >"$WORK/set_p.ini"
from_file=$(hash_of run --ini "$WORK/set_p.ini" --shape sphere -u 9 -v 5 -n 40)
[ "$(hash_of run --shape sphere -u 9 -v 5 -n 40 --set ClothP=0.8)" = "$from_file" ] || fail "--set without a file: not the file's result"
expect_error set-unknown-key '"Pinn" is not a key of [Setup]' run --set Pinn=1 "${O[@]}"

run_ok run --mesh "$MESHES/cube_quads.obj" --flip --set ClothP=2 -n 150 --every 50 --image 48x48 --out "$WORK/cube"
[ "$(grep -c '^f ' "$WORK/cube/surface.obj")" -eq 12 ] || fail "run mesh: the OBJ lacks the mesh's own faces"
[ -s "$WORK/cube/frames/step_000150.obj" ] && [ -s "$WORK/cube/surface.png" ] || fail "run mesh: frames or picture missing"
run run --mesh "$MESHES/cube_quads.obj" --set ClothP=2 -n 150 --out "$WORK/cube_ccw"
grep -q "warning: ClothP 2 deflates this membrane" "$WORK/err.txt" || fail "run mesh: no warning before a deflating run"
pinned_top=$(hash_of run --mesh "$MESHES/cube_quads.obj" --flip --pin-group top -n 100)
[ "$(hash_of run --mesh "$MESHES/cube_quads.obj" --flip --pin-below 0.5 -n 100)" != "$pinned_top" ] ||
  fail "run mesh: pinning the top and the bottom give the same run"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\n' >"$WORK/broken.obj"
expect_error mesh-bad-corner "broken.obj:5: face corner '9' names vertex 9" run --mesh "$WORK/broken.obj" "${O[@]}"
expect_error mesh-and-shape "--shape: a setting of the grid shapes" run --mesh "$MESHES/cube_quads.obj" --shape torus "${O[@]}"
expect_error mesh-no-group "pin group 'lid' is not in" run --mesh "$MESHES/cube_quads.obj" --pin-group lid "${O[@]}"

head -c 4096 "$HOST" >"$WORK/binary.ini"
run run --ini "$WORK/binary.ini" -n 5
grep -q "binary.ini: not a text file" "$WORK/err.txt" || fail "binary INI: no warning: $(cat "$WORK/err.txt")"
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

run_ok run --shape sheet -u 5 -v 5 -n 5 --every 5 --image 32x32 --out "$WORK/set"
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
run_ok run --shape sheet -u 5 -v 5 -n 7 --every 7 --image 32x32 --out "$WORK/set"
[ "$(ls "$WORK/set/frames" | tr '\n' ' ')" = "mine.txt step_000007.obj step_000007.png " ] ||
  fail "output set: frames left: $(ls "$WORK/set/frames")"
grep -q "note: removed 2 files of an earlier run in .*set (frames, animation)" "$WORK/err.txt" ||
  fail "output set: no note of the removed frames: $(cat "$WORK/err.txt")"

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
finish
