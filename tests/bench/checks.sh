# What the benchmark test scripts share; sourced as
#   source checks.sh WORK_DIR
# It empties WORK_DIR, gives fail MESSAGE (counts a failure and says it)
# and finish NAME (the exit: 1 after any failure, else 0 with NAME passed).
rm -rf "$1"
mkdir -p "$1"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
  fi
  echo "$1: all passed"
  exit 0
}
