# tumelin-host hash
source "$(dirname "$0")/command_test_lib.sh" "$@"
# every example runs, and `hash` agrees with `run --hash`
run_ok hash "$EXAMPLES"/*.ini
[ "$(wc -l <"$WORK/out.txt")" -eq "$(ls "$EXAMPLES"/*.ini | wc -l)" ] || fail "hash: one line per example"
pillow=$(awk '$2 == "pillow" { print $1 }' "$WORK/out.txt")
[ "$(hash_of run --ini "$EXAMPLES/pillow.ini")" = "hash $pillow" ] || fail "hash and run --hash disagree"
finish
