#!/usr/bin/env bash
# Checks the file properties of the built 32-bit Tumelin.kwt: its VERSIONINFO
# resource names the product, the release in both the numeric and the text
# fields, and the original file name.
# usage: check_version_info.sh FILE WINDRES VERSION   (VERSION: MAJOR.MINOR.PATCH)
set -euo pipefail
file=$1 windres=$2 version=$3
fail() { echo "check_version_info: $*" >&2; exit 1; }

rc=$("$windres" -i "$file" -O rc) || fail "no resources in $file"
echo "$rc"
numeric="${version//./, }, 0"
want=("FILEVERSION $numeric" "PRODUCTVERSION $numeric" "FILETYPE 0x2"
  "VALUE \"ProductName\", \"Tumelin\"" "VALUE \"FileVersion\", \"$version\""
  "VALUE \"ProductVersion\", \"$version\"" "VALUE \"OriginalFilename\", \"Tumelin.kwt\"")
for line in "${want[@]}"; do
  grep -qxF -- "$line" <<<"$(sed 's/^[[:space:]]*//' <<<"$rc")" || fail "lacks: $line"
done
grep -q 'VALUE "FileDescription", "[^"]\+"' <<<"$rc" || fail "no description"
[ "$(grep -c '^1 VERSIONINFO' <<<"$rc")" -eq 1 ] || fail "expected one VERSIONINFO resource"
