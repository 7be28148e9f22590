# tumelin-host check, and the problems check and run both report
source "$(dirname "$0")/command_test_lib.sh" "$@"
# the exit status of check and a line it prints: STATUS|ARGUMENTS|PATTERN; a
# malformed value is a problem, and so is a counter-clockwise mesh (OBJ files
# are wound counter-clockwise from outside), with advice
while IFS='|' read -r want args pattern; do
  run check $args
  [ "$status" -eq "$want" ] && grep -q "$pattern" "$WORK/out.txt" || fail "check $args: exit $status: $(cat "$WORK/out.txt")"
done <<EOF
0|--shape torus|^ok
3|--shape sphere --defect seam|the membrane leaks
3|--shape sphere --defect flip|winding is inconsistent
3|--shape sphere --winding ccw|deflates
3|--shape torus --set ClothK1=5.0.0|warning: \\[Setup\\] ClothK1 "5.0.0": malformed at column 4
3|--mesh $EXAMPLES/icosahedron.obj|a positive ClothP deflates it (.*--flip reverses every face)
EOF
expect_error set-no-equals "expected KEY=VALUE" check --set ClothP
run check --mesh "$EXAMPLES/icosahedron.obj" --flip
[ "$status" -eq 0 ] && grep -q "genus 0" "$WORK/out.txt" && grep -q "^ok" "$WORK/out.txt" || fail "check mesh --flip: exit $status: $(cat "$WORK/out.txt")"
expect_error mesh-missing "nowhere.obj: mesh file not found" check --mesh "$WORK/nowhere.obj"
# check reports each defect as a problem, and not its opposite; run warns of
# it in the same words: ARGUMENTS|DEFECT|OPPOSITE
while IFS='|' read -r args text opposite; do
  run check $args
  [ "$status" -eq 3 ] && grep -qxF "  $text" "$WORK/out.txt" && ! grep -qF "$opposite" "$WORK/out.txt" ||
    fail "check $args: $(cat "$WORK/out.txt")"
  run run $args -n 1
  grep -qxF "tumelin-host: warning: $text" "$WORK/err.txt" || fail "run $args: $(cat "$WORK/err.txt")"
done <<EOF
--mesh $MESHES/two_tetrahedra.obj --flip|1 edge on three or more triangles (0-1)|shared by exactly two
--mesh $MESHES/open_tetrahedron.obj --flip|3 open edges (1-2, 1-3, 2-3): a seam or hole, the membrane leaks|shared by
--shape sheet -u 5 -v 5 --defect hole|euler characteristic 0 (expected 1)|as expected
--shape sphere -u 9 -v 5 --defect flip|winding is inconsistent across 3 edges (9-10, 9-17, 10-17)|is consistent
EOF


printf '[Setup]\nClothP=0.9 ; comment\nClothK0=2,5\nPinn=1\n[Membrane]\nColums=9\n[setup]\nClothC=2\n' >"$WORK/careless.ini"
run_ok run --ini "$WORK/careless.ini" -n 5
for text in 'ClothP "0.9 ; comment": malformed at column 5' 'ClothK0 "2,5": malformed at column 2' \
  'unknown key "Pinn"' 'unknown key "Colums", which the host ignores (did you mean Columns?)' \
  'section [Setup] is written 2 times'; do
  grep -qF -- "$text" "$WORK/err.txt" || fail "careless.ini: no warning '$text': $(cat "$WORK/err.txt")"
done
run settings "$WORK/careless.ini"
grep -q '^warning: .*careless.ini: \[Setup\] unknown key "Pinn"' "$WORK/out.txt" || fail "settings careless.ini: no warning"
run check --ini "$WORK/careless.ini"
[ "$status" -eq 3 ] && grep -qF 'unknown key "Pinn"' "$WORK/out.txt" || fail "check careless.ini: exit $status"
run check --shape sphere --set ClothP=-1
[ "$status" -eq 3 ] && ! grep -q "^ok" "$WORK/out.txt" && grep -q "ClothP -1 is negative" "$WORK/out.txt" ||
  fail "check ClothP=-1: exit $status: $(cat "$WORK/out.txt")"
finish
