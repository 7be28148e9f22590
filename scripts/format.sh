#!/usr/bin/env bash
# clang-format with the root .clang-format over the project's own C and C++
# sources (third-party code comes from Debian's packages and is not here):
#   format.sh          rewrites them in place                (make format)
#   format.sh --check  changes nothing, lists the files that
#                      need formatting and fails if there are any (make format-check)
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "format: clang-format is missing (make deps installs it)" >&2
  exit 2
fi

dirs=()
for d in src include host tests bench examples sdk; do
  if [ -d "$d" ]; then dirs+=("$d"); fi
done
mapfile -t files < <(find "${dirs[@]}" -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' \
                          -o -name '*.h' -o -name '*.hpp' -o -name '*.inl' \) | LC_ALL=C sort)

if [ "${1:-}" != "--check" ]; then
  clang-format --style=file -i "${files[@]}"
  exit 0
fi

unformatted=()
for f in "${files[@]}"; do
  if ! clang-format --style=file --dry-run --Werror "$f" >/dev/null 2>&1; then
    unformatted+=("$f")
  fi
done
if [ "${#unformatted[@]}" -ne 0 ]; then
  echo "format-check: ${#unformatted[@]} of ${#files[@]} files are not formatted as .clang-format says:" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  echo "run 'make format' and commit the result" >&2
  exit 1
fi
echo "format-check: all ${#files[@]} files are formatted"
