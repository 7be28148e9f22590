#!/usr/bin/env bash
# The Windows host on the Windows plug-in (under wine) must end every example
# with the same hash as the Linux host on the Linux plug-in:
#   cross_hash_test.sh WINDOWS_HOST EXAMPLES_DIR RUN_32BIT [NATIVE_HOST]
# (RUN_32BIT: scripts/run-32bit.sh, which starts wine)
# One wine start runs all examples. A small sweep on both builds must give the
# same contact sheet and CSV, byte for byte: the Windows host starts its runs
# through CreateProcess, and both renderers draw the same pixels; an animated
# run must give the same GIF file. Without NATIVE_HOST the test is skipped
# (exit 77).
set -u
WINDOWS=$1
EXAMPLES=$2
RUN_32BIT=$3
wine() { bash "$RUN_32BIT" wine "$@"; }
NATIVE=${4:-}

if [ -z "$NATIVE" ]; then
  echo "SKIPPED: no native host to compare with; configure with"
  echo "-DTUMELIN_NATIVE_HOST=<native build>/tumelin-host (make test does)"
  exit 77
fi
if [ ! -x "$NATIVE" ]; then
  echo "no native host at $NATIVE (TUMELIN_NATIVE_HOST): build the native preset first (make native)"
  exit 1
fi
shopt -s nullglob
examples=("$EXAMPLES"/*.ini)
if [ "${#examples[@]}" -eq 0 ]; then
  echo "no examples in $EXAMPLES"
  exit 1
fi
winExamples=()
for f in "${examples[@]}"; do winExamples+=("Z:$f"); done

native=$(LC_ALL=C "$NATIVE" hash "${examples[@]}") || { echo "native host failed"; exit 1; }
windows=$(wine "$WINDOWS" hash "${winExamples[@]}" | tr -d '\r') ||
  { echo "windows host failed"; exit 1; }

echo "native:"
echo "$native"
echo "windows:"
echo "$windows"
if [ "$(echo "$native" | wc -l)" -ne "${#examples[@]}" ]; then
  echo "expected one hash per example"
  exit 1
fi
if [ "$native" != "$windows" ]; then
  echo "the builds disagree"
  stale=$(find "$(dirname "$EXAMPLES")/src" "$(dirname "$EXAMPLES")/host" -newer "$(dirname "$NATIVE")/Tumelin.kwt" -name '*.cpp' 2>/dev/null)
  if [ -n "$stale" ]; then
    echo "note: the native build is older than: $stale -- rebuild it (make native)"
  fi
  exit 1
fi
echo "all ${#examples[@]} examples agree bit for bit"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sweep=(sweep --shape sphere -u 9 -v 5 -n 20 --set ClothP=0.2,1 --view 30,-20 --thumb 64x48)
LC_ALL=C "$NATIVE" "${sweep[@]}" --out "$work/native" >/dev/null || { echo "native sweep failed"; exit 1; }
LC_ALL=C wine "$WINDOWS" "${sweep[@]}" --out "Z:$work/windows" \
  >"$work/windows.txt" || { echo "windows sweep failed: $(cat "$work/windows.txt")"; exit 1; }
if ! tr -d '\r' <"$work/windows/sweep.csv" | cmp -s - "$work/native/sweep.csv"; then
  echo "the sweeps' CSV files differ:"
  diff <(tr -d '\r' <"$work/windows/sweep.csv") "$work/native/sweep.csv"
  exit 1
fi
cmp -s "$work/windows/sheet.png" "$work/native/sheet.png" || { echo "the contact sheets differ"; exit 1; }
echo "a sweep on both builds gives the same CSV and the same contact sheet"

animate=(run --shape sphere -u 9 -v 5 -n 40 --every 10 --animate --image 64x48)
LC_ALL=C "$NATIVE" "${animate[@]}" --out "$work/native-gif" >/dev/null &&
  LC_ALL=C wine "$WINDOWS" "${animate[@]}" --out "Z:$work/windows-gif" >/dev/null &&
  cmp "$work/windows-gif/animation.gif" "$work/native-gif/animation.gif" || { echo "--animate: the GIF files differ"; exit 1; }
echo "--animate on both builds writes the same GIF file"
