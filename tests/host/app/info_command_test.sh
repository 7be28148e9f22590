# tumelin-host info
source "$(dirname "$0")/command_test_lib.sh" "$@"
run_ok info
grep -q "display name   Tumelin,52" "$WORK/out.txt" || fail "info: display name"
grep -q "generation 6   KWDX- -TMLN [A-Za-z0-9]\{32\} KW_Tumelin 0" "$WORK/out.txt" || fail "info: generation 6"
grep -q "generation 7   QJ7 -TMLN [A-Za-z0-9]\{32\} KW_Tumelin 0" "$WORK/out.txt" || fail "info: generation 7"
grep -q "version stamp  2012-04-03 14:15:09 (41002.59385416667, registration data" "$WORK/out.txt" || fail "info: version stamp"
grep -qx "release        $TUMELIN_VERSION (tumelin-host)" "$WORK/out.txt" || fail "info: release"
grep -qx "integrators    0 semi-implicit Euler, 1 Heun, 2 Runge-Kutta 4" "$WORK/out.txt" || fail "info: integrators"
finish
