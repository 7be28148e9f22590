# tumelin-host sweep
source "$(dirname "$0")/command_test_lib.sh" "$@"
expect_error sweep-mixed-list "reads two ways: 5 values (0 | 2 | 0 | 5 | 1) with both separating values, or 3 values (0,2 | 0,5 | 1)" \
  sweep --set "ClothP=0,2;0,5;1" "${O[@]}"
expect_error sweep-bad-key "is not a key of [Setup]" sweep --set Pressure=1,2 "${O[@]}"
expect_error sweep-empty-value "an empty value in the list" sweep --set ClothP=0.2,,1 "${O[@]}"
expect_error sweep-twice "ClothP is given twice" sweep --set ClothP=1,2 --set clothp=3 "${O[@]}"
expect_error sweep-bad-thumb "--thumb" sweep --set ClothP=1,2 --thumb 5x5 "${O[@]}"
expect_error sweep-bad-scenario "unknown shape 'cube'" sweep --shape cube --set ClothP=1,2 "${O[@]}"

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
run_ok sweep --shape sphere -u 9 -v 5 -n 5 --set ClothP=0.2,1 --thumb 32x24 --out "$WORK/sweep"
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

finish
