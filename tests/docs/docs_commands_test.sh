#!/usr/bin/env bash
# Runs every command shown in a ```console block of the documents and
# compares what it prints with the lines shown under it, and follows every
# relative link of the documents and the READMEs:
#   docs_commands_test.sh BUILD_DIR SOURCE_DIR WORK_DIR
# A block holds "$ command" lines, each followed by its expected output.
# Commands run in a folder laid out as an unpacked archive (Tumelin.kwt,
# examples/, docs/), with tumelin-host and example_host of the build on the
# PATH. Run times vary: "in 0.071 s (14071 steps/s)" is compared as
# "in … s (… steps/s)".
set -u
BUILD=$1 SOURCE=$2 WORK=$3
export LC_ALL=C
rm -rf "$WORK" && mkdir -p "$WORK/folder"
ln -s "$BUILD/Tumelin.kwt" "$WORK/folder/Tumelin.kwt"
ln -s "$SOURCE/examples" "$WORK/folder/examples"
ln -s "$SOURCE/docs" "$WORK/folder/docs"
export PATH="$BUILD:$BUILD/sdk/example:$PATH"
failures=0 commands=0

normalize() { sed -E 's/ in [0-9.e+-]+ s \([0-9]+ steps\/s\)/ in … s (… steps\/s)/'; }

check() { # check DOC COMMAND EXPECTED
  commands=$((commands + 1))
  local actual
  actual=$(cd "$WORK/folder" && bash -c "$2" 2>&1 | normalize)
  if [ "$actual" != "$3" ]; then
    echo "FAIL: $1: \$ $2"
    diff <(echo "$3") <(echo "$actual")
    failures=$((failures + 1))
  fi
}

for doc in "$SOURCE"/docs/*.md; do
  name=${doc#"$SOURCE"/}
  inBlock=0 command= expected=
  while IFS= read -r line; do
    if [ "$inBlock" -eq 0 ]; then
      [ "$line" = '```console' ] && inBlock=1 command= expected=
      continue
    fi
    if [ "$line" = '```' ] || [ "${line#\$ }" != "$line" ]; then
      [ -n "$command" ] && check "$name" "$command" "$expected"
      command= expected=
      if [ "$line" = '```' ]; then inBlock=0; else command=${line#\$ }; fi
      continue
    fi
    expected+="${expected:+$'\n'}$line"
  done <"$doc"
done

# every relative link of the documents leads to a file, and its #anchor to
# one of that file's headings (as the anchor a heading gets: lower case,
# punctuation dropped, blanks as hyphens); code blocks hold no links
headings() { sed '/^```/,/^```/d' "$1" | sed -n 's/^#\{1,6\} //p' | tr 'A-Z ' 'a-z-' | sed 's/[^a-z0-9_-]//g'; }
links=0
for doc in "$SOURCE"/README.md "$SOURCE"/docs/*.md "$SOURCE"/examples/README.md; do
  base=$(dirname "$doc")
  # the archives' README, at their top beside docs/
  [ "$doc" != "$SOURCE/docs/user-readme.md" ] || base=$SOURCE
  while IFS= read -r link; do
    links=$((links + 1)) file=${link%%#*} anchor=${link#*#}
    target=$base/$file
    [ -n "$file" ] || target=$doc
    if [ ! -e "$target" ] || { [ "$anchor" != "$link" ] && ! headings "$target" | grep -qxF "$anchor"; }; then
      echo "FAIL: ${doc#"$SOURCE"/}: the link $link leads nowhere"
      failures=$((failures + 1))
    fi
  done < <(sed '/^```/,/^```/d' "$doc" | grep -oE '\]\([^) ]+\)' | sed 's/^](\(.*\))$/\1/' | grep -vE '^[a-z]+:')
done
echo "$commands commands and $links links checked"
[ "$commands" -gt 0 ] || { echo "FAIL: no commands found"; exit 1; }
[ "$failures" -eq 0 ]
