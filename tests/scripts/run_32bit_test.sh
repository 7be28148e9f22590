#!/usr/bin/env bash
# scripts/run-32bit.sh hands a command its arguments, working folder and
# environment and gives back its output and exit status, on the path this
# kernel takes, and also in the emulated machine where QEMU is installed
# (where this kernel runs 32-bit programs too, that path is otherwise never
# taken):
#   run_32bit_test.sh RUN_32BIT WORK_DIR
set -u
RUN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1") WORK=$2
source "$(dirname "$0")/../support/checks.sh" "$WORK"
mkdir -p "$WORK/a folder"

# a bad TUMELIN_32BIT is refused, not taken for either path
out=$(TUMELIN_32BIT=wine bash "$RUN" true 2>&1) && fail "TUMELIN_32BIT=wine was accepted"
grep -q 'must be native or vm' <<<"$out" || fail "TUMELIN_32BIT=wine: $out"
which=$(env -u TUMELIN_32BIT bash "$RUN" --which)
case "$which" in native | vm) ;; *) fail "--which printed \"$which\"" ;; esac
# forcing the native path on a kernel that cannot take it fails with a reason
if [ "$which" = vm ]; then
  out=$(TUMELIN_32BIT=native bash "$RUN" true 2>&1) && fail "TUMELIN_32BIT=native ran on this kernel"
  grep -q 'this kernel cannot run 32-bit programs' <<<"$out" || fail "TUMELIN_32BIT=native: $out"
fi

paths=("$which")
if [ "$which" = native ] && command -v qemu-system-x86_64 >/dev/null && [ -x /bin/busybox ]; then paths+=(vm); fi
expected="a b|c'd|\$x|
$WORK/a folder
from outside
32-bit: 42"
for path in "${paths[@]}"; do
  # the probe's own 32-bit program stands in for wine
  out=$(cd "$WORK/a folder" && TUMELIN_32BIT=$path FROM=outside bash "$RUN" bash -c \
    'printf "%s|" "$@"; echo; pwd; echo "from $FROM"; bash "$0" --probe; echo "32-bit: $?"; exit 7' \
    "$RUN" "a b" "c'd" '$x' 2>"$WORK/$path.err")
  status=$?
  [ "$status" -eq 7 ] || fail "$path: exit $status, expected 7: $(cat "$WORK/$path.err")"
  [ "$out" = "$expected" ] || fail "$path: the command printed
$out"
  line=$(head -n1 "$WORK/$path.err")
  case "$path" in
    native) [ "$line" = "32-bit programs run natively" ] || fail "native: said \"$line\"" ;;
    vm) grep -q 'runs in an emulated machine' <<<"$line" || fail "vm: said \"$line\"" ;;
  esac
done
finish "run-32bit on ${paths[*]}"
