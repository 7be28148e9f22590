#!/usr/bin/env bash
# Runs the SDK's example host on the built plug-in and checks what it says:
#   [TUMELIN_HOST=tumelin-host] example_host_test.sh EXAMPLE PLUGIN WORK_DIR [RUN_32BIT [NATIVE_EXAMPLE NATIVE_PLUGIN]]
# With RUN_32BIT (scripts/run-32bit.sh, which starts wine) the example and the plug-in are the Windows builds; with a native
# example beside, both must print the same, byte for byte.
set -u
EXAMPLE=$1 PLUGIN=$2 WORK=$3 RUN_32BIT=${4:-} NATIVE_EXAMPLE=${5:-} NATIVE_PLUGIN=${6:-}
export LC_ALL=C
source "$(dirname "$0")/../support/checks.sh" "$WORK"

# example PRESSURE: the example's output with these settings (none: with a missing INI file)
example() {
  [ "$1" = none ] || printf '[Setup]\nClothP=%s\nClothC=2\nClothK0=1\nClothK1=1\nClothMethod=2\n' "$1" >"$WORK/p$1.ini"
  if [ -n "$RUN_32BIT" ]; then
    bash "$RUN_32BIT" wine "$EXAMPLE" "Z:$PLUGIN" "Z:$WORK/p$1.ini" | tr -d '\r'
  else
    "$EXAMPLE" "$PLUGIN" "$WORK/p$1.ini"
  fi
}
volumes() { sed -n 's/^step [0-9]*: volume //p' <<<"$1"; }
grows() { awk 'NR > 1 && $1 <= prev { bad = 1 } { prev = $1 } END { exit bad }'; }
shrinks() { awk 'NR > 1 && $1 >= prev { bad = 1 } { prev = $1 } END { exit bad }'; }

out=$(example 2)
status=$?
echo "$out"
[ "$status" -eq 0 ] || fail "exit $status"
ini="$WORK/p2.ini"

line() { grep -m1 "^$1" <<<"$out"; }
grep -q '^example_host [0-9.]*, plug-in "Tumelin,52", registered as KW_Tumelin$' <<<"$out" || fail "name line"
# the file's values, and the defaults of the keys it lacks
[ "$(line settings:)" = "settings: ClothP=2 ClothC=2 ClothK0=1 ClothK1=1 ClothT0=500 ClothMethod=2" ] ||
  fail "settings line: $(line settings:)"
[ "$(line membrane:)" = "membrane: 26 points, 48 faces, top pole pinned" ] || fail "membrane line"
[ "$(line 'step result:')" = "step result: 26" ] || fail "the step returns the point count"
# clockwise faces: a positive pressure blows the sphere up, step by step, and
# a negative one draws it in
[ "$(volumes "$out" | wc -l)" -eq 5 ] || fail "expected the volume at steps 0, 50, ..., 200"
volumes "$out" | grows || fail "the volume does not grow: $(volumes "$out")"
drawn=$(example -2)
volumes "$drawn" | shrinks || fail "with ClothP=-2 the volume does not shrink: $(volumes "$drawn")"
# poles fill their rows, every ring closes on its first point
[ "$(line '  row 0:')" = "  row 0:  0  0  0  0  0  0  0  0  0" ] || fail "top pole row"
[ "$(line '  row 4:')" = "  row 4: 25 25 25 25 25 25 25 25 25" ] || fail "bottom pole row"
[ "$(line '  row 2:')" = "  row 2:  9 10 11 12 13 14 15 16  9" ] || fail "ring 2"
grep -qx 'grid as numbered: yes' <<<"$out" || fail "grid numbering"
# the plug-in keeps its defaults for a missing INI silently; the example says so and stops
missing=$(example none 2>&1)
grep -q '^example_host: cannot read the settings file .*pnone\.ini' <<<"$missing" || fail "missing INI: $missing"
grep -q '^settings:' <<<"$missing" && fail "a missing INI file ran on the defaults"

# a host that lists its springs in tumelin-host's order gets tumelin-host's bits
if [ -n "${TUMELIN_HOST:-}" ]; then
  "$EXAMPLE" "$PLUGIN" "$ini" "$WORK/sphere.obj" >/dev/null || fail "the example did not write its mesh"
  hostHash=$("$TUMELIN_HOST" run "$ini" --mesh "$WORK/sphere.obj" --pin points --pin-points 0 --steps 200 --hash |
    sed -n 's/^hash //p')
  [ "state hash: $hostHash" = "$(line 'state hash:')" ] ||
    fail "tumelin-host on the example's mesh: hash $hostHash, the example's $(line 'state hash:')"
fi

if [ -n "$NATIVE_EXAMPLE" ]; then
  native=$("$NATIVE_EXAMPLE" "$NATIVE_PLUGIN" "$ini") || fail "native example failed"
  [ "$native" = "$out" ] || fail "the Windows and the native example differ:
$native"
fi
finish "example host"
