# What the test scripts share; sourced as
#   source checks.sh WORK_DIR
# It empties WORK_DIR, gives fail MESSAGE (counts a failure and says it)
# and finish [NAME], the exit: it runs final_check where the script has one,
# then exits 1 after any failure, else 0 with NAME (the script's) passed.
rm -rf "$1" && mkdir -p "$1"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  if declare -F final_check >/dev/null; then final_check; fi
  [ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
  echo "${1:-$(basename "$0" .sh)}: all checks passed"
  exit 0
}
