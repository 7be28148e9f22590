# tumelin-host settings
source "$(dirname "$0")/command_test_lib.sh" "$@"
expect_error missing-ini-settings "$WORK/missing.ini" settings "$WORK/missing.ini"
printf '[setup]\nClothP=0,7\nClothC=\nclothk0=2e1\nClothT0=0x1F4\nClothMethod=1.5\n' >"$WORK/explain.ini"
run_ok settings "$WORK/explain.ini"
row ClothP | grep -q '"0,7" *0.5 *default 0.5: malformed at column 2: .,. is not the decimal separator' || fail "settings: ClothP row: $(row ClothP)"
row ClothC | grep -q '(none) *1 *default 1: key missing or empty' || fail "settings: ClothC row: $(row ClothC)"
row ClothK0 | grep -q '"2e1" *20 *read from the file' || fail "settings: ClothK0 row: $(row ClothK0)"
row ClothK1 | grep -q 'default 5: key missing' || fail "settings: ClothK1 row: $(row ClothK1)"
row ClothT0 | grep -q '"0x1F4" *500 *read from the file' || fail "settings: ClothT0 row: $(row ClothT0)"
row ClothMethod | grep -q 'default 0: malformed at column 2: not a whole number' || fail "settings: ClothMethod row: $(row ClothMethod)"
agree explain.ini

# the text shown is the text the plug-in reads: only the first [Setup] counts,
# a section name runs to the last "]", and ";" lines are keys like any other
printf '; ClothP=0.9\n[Setup]x]\nClothP=0.1\n[Setup]\nClothP=0.25\n;ClothK0=7\n[Membrane]\nShape=sheet\n[Setup]\nClothC=3\n' \
  >"$WORK/rules.ini"
run_ok settings --ini "$WORK/rules.ini"
row ClothP | grep -q '"0.25" *0.25 *read from the file' || fail "settings rules.ini: ClothP row: $(row ClothP)"
row ClothC | grep -q '(none) *1 *default 1: key missing' || fail "settings rules.ini: ClothC row: $(row ClothC)"
row ClothK0 | grep -q '(none) *5 *default 5: key missing' || fail "settings rules.ini: ClothK0 row: $(row ClothK0)"
agree rules.ini

# a UTF-16LE file, read by the plug-in as the report reads it
{
  printf '\xff\xfe'
  printf '[Setup]\r\nClothK1=0.75\r\nClothMethod=2\r\n[Membrane]\r\nShape=torus\r\n' | iconv -f UTF-8 -t UTF-16LE
} >"$WORK/utf16.ini"
run_ok settings "$WORK/utf16.ini"
row ClothK1 | grep -q '"0.75" *0.75 *read from the file' || fail "settings utf16.ini: ClothK1 row: $(row ClothK1)"
row ClothMethod | grep -q '"2" *2 *read from the file' || fail "settings utf16.ini: ClothMethod row: $(row ClothMethod)"
agree utf16.ini

printf '[Setup]\nClothP=0.3\nClothK0=7\n' >"$WORK/set_base.ini"
run settings "$WORK/set_base.ini" --set ClothP=0,7
row ClothP | grep -q '"0,7" *0.5 *default 0.5: malformed at column 2.*(given by --set)' || fail "settings --set: ClothP row: $(row ClothP)"
row ClothK0 | grep -q '"7" *7 *read from the file$' || fail "settings --set: ClothK0 row: $(row ClothK0)"
agree settings-set
expect_error settings-nothing "name an INI file" settings
finish
