# What the command tests of tumelin-host share; each sources it with its
# arguments HOST INCOMPLETE_PLUGIN EXAMPLES_DIR WORK_DIR and ends in finish.
set -u
HOST=$1
INCOMPLETE=$2
EXAMPLES=$3
WORK=$4
MESHES=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../data/mesh" && pwd)
export LC_ALL=C  # the plug-in's decimal separator is then "."

source "$(dirname "${BASH_SOURCE[0]}")/../../support/checks.sh" "$WORK"
mkdir -p "$WORK/tmp"
# the settings files written for --set go here, and must be gone after each command
export TMPDIR="$WORK/tmp"

# runs the host, keeping stdout, stderr and the exit code
run() {
  "$HOST" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt"
  status=$?
}

# run, and fail unless it exits 0
run_ok() {
  run "$@"
  [ "$status" -eq 0 ] || fail "$*: exit $status: $(cat "$WORK/err.txt")"
}

# hash_of ARGS...: the hash line of the host run with ARGS --hash, or, where
# there is none, the exit code and stderr, which match no hash
hash_of() {
  run "$@" --hash
  grep '^hash ' "$WORK/out.txt" || echo "exit $status: $(cat "$WORK/err.txt")"
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

O=(--out "$WORK/outdir")
# the rows of a settings table
row() { grep "^$1 " "$WORK/out.txt"; }
# a NOTE marks a key where the plug-in stored other than the host's reading
agree() {
  if grep -q NOTE "$WORK/out.txt"; then fail "settings $1: host and plug-in disagree: $(grep NOTE "$WORK/out.txt")"; fi
}
# the settings files written for --set must be gone at the end
final_check() { [ -z "$(ls -A "$WORK/tmp")" ] || fail "--set: settings files left behind: $(ls -A "$WORK/tmp")"; }
