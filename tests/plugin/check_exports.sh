#!/usr/bin/env bash
# Checks the export table of a built Tumelin.kwt: exactly the six entries,
# undecorated, with their ordinals (Windows), and only system DLLs imported.
# usage: check_exports.sh windows|linux FILE TOOL   (TOOL: objdump or nm)
set -euo pipefail
kind=$1 file=$2 tool=$3
fail() { echo "check_exports: $*" >&2; exit 1; }

expected="1 PluginExecZR73
2 PluginExecZR72
3 PluginExecZR71
4 PluginRgstZR7
5 PluginNameZR7
6 PluginRgstZR6"

if [ "$kind" = windows ]; then
  dump=$("$tool" -p "$file")
  name=$(sed -n 's/^Name[[:space:]]\+[0-9a-f]\+ \(.*\)$/\1/p' <<<"$dump")
  [ "$name" = "Tumelin.kwt" ] || fail "module name is '$name', not Tumelin.kwt"
  base=$(sed -n 's/^Ordinal Base[[:space:]]\+\([0-9]\+\)$/\1/p' <<<"$dump")
  # rows of the name table: [index] Name, where ordinal = base + index
  actual=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
    sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]\+\)\] \(.*\)$/\1 \2/p' |
    while read -r index sym; do echo "$((base + index)) $sym"; done | sort -n)
  [ "$actual" = "$expected" ] || fail "exports differ from the six entries:
$actual"
  count=$(sed -n "/^Number in:/,/Table Addresses/s/^[[:space:]]*Export Address Table[[:space:]]\+\([0-9a-f]\+\)$/\1/p" <<<"$dump")
  [ "$((16#$count))" -eq 6 ] || fail "export address table holds $count entries"
  # the host's machine has no compiler runtime: system DLLs only
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '[:upper:]' '[:lower:]' | sort -u)
  for dll in $imports; do
    case "$dll" in
      kernel32.dll|user32.dll|advapi32.dll|msvcrt.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*) ;;
      *) fail "imports non-system DLL $dll" ;;
    esac
  done
  echo "exports: $(tr '\n' ' ' <<<"$actual")"
  echo "imports: $(tr '\n' ' ' <<<"$imports")"
else
  actual=$("$tool" -D --defined-only "$file" | awk '$2 ~ /^[TtWw]$/ {print $3}' | sort)
  want=$(cut -d' ' -f2 <<<"$expected" | sort)
  [ "$actual" = "$want" ] || fail "exported functions differ from the six entries:
$actual"
  others=$("$tool" -D --defined-only "$file" | awk '$2 !~ /^[TtWw]$/ {print $3}')
  [ -z "$others" ] || fail "unexpected exported symbols: $others"
  echo "exports: $(tr '\n' ' ' <<<"$actual")"
fi
