# tumelin-host as a whole: the plug-in it loads, its options, --version and --help
source "$(dirname "$0")/command_test_lib.sh" "$@"
expect_error missing-plugin "$WORK/none.kwt" --plugin "$WORK/none.kwt" info
head -c 20000 "$(dirname "$HOST")/Tumelin.kwt" >"$WORK/cut.kwt"
expect_error plugin-cut "not a complete plug-in: $WORK/cut.kwt is cut off" --plugin "$WORK/cut.kwt" run -n 1 "${O[@]}"
expect_error plugin-lacks-entry "lacks the entry PluginExecZR73" --plugin "$INCOMPLETE" run -n 1 "${O[@]}"
expect_error bad-option "--frobnicate" run --frobnicate "${O[@]}"
expect_error no-command "subcommand"

run_ok --version
[ "$(cat "$WORK/out.txt")" = "tumelin-host $TUMELIN_VERSION" ] || fail "--version: $(cat "$WORK/out.txt")"
run --help
grep -q "Exit status: 0 done; 1 .* 4 the run diverged" "$WORK/out.txt" || fail "--help: no exit statuses"
finish
