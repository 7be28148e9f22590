#!/usr/bin/env bash
# clang-format with the root .clang-format over the project's own C and C++
# sources (third-party code comes from Debian's packages and is not here);
# Prettier over the preview page's JavaScript (host/web/page/.prettierrc.json)
# and ESLint over it and the browser tests (host/web/page/eslint.config.js),
# both from host/web/page/node_modules at the versions its lock file names;
# Debian's black over the Python (the package, the add-on, tests, scripts),
# at the C++ sources' line width:
#   format.sh          rewrites them in place, then lints    (make format)
#   format.sh --check  changes nothing, lists the files that
#                      need formatting and fails if there are any, or if
#                      ESLint finds a fault               (make format-check)
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in clang-format black; do
  if ! command -v "$tool" >/dev/null; then
    echo "format: $tool is missing (make deps installs it)" >&2
    exit 2
  fi
done
mapfile -t py_files < <(git ls-files '*.py')
black_run() { black --quiet --line-length 110 "$@" "${py_files[@]}"; }

dirs=()
for d in src include host tests bench examples sdk; do
  if [ -d "$d" ]; then dirs+=("$d"); fi
done
mapfile -t files < <(find "${dirs[@]}" -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' \
                          -o -name '*.h' -o -name '*.hpp' -o -name '*.inl' \) | LC_ALL=C sort)

page=host/web/page
tools=$page/node_modules/.bin
if [ ! -x "$tools/prettier" ] || [ ! -x "$tools/eslint" ]; then
  echo "format: Prettier or ESLint is missing from $page/node_modules (make deps installs them)" >&2
  exit 2
fi
js_files=("$page/src" "$page"/*.js "$page"/*.mjs)
lint() { "$tools/eslint" --config "$page/eslint.config.js" "$page" tests/web; }

if [ "${1:-}" != "--check" ]; then
  clang-format --style=file -i "${files[@]}"
  "$tools/prettier" --write --log-level warn "${js_files[@]}"
  black_run
  lint
  exit 0
fi

failed=0
if ! "$tools/prettier" --check --log-level warn "${js_files[@]}"; then
  echo "format-check: the JavaScript above is not formatted as $page/.prettierrc.json says" >&2
  failed=1
fi
if ! black --check --line-length 110 "${py_files[@]}"; then
  echo "format-check: the Python above is not formatted as black says" >&2
  failed=1
fi
if ! lint; then
  echo "format-check: ESLint found the faults above" >&2
  failed=1
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
if [ "$failed" -ne 0 ]; then
  echo "run 'make format', fix what ESLint reports and commit the result" >&2
  exit 1
fi
echo "format-check: all ${#files[@]} C and C++ files are formatted; the page's JavaScript and the Python are formatted, and the JavaScript lints clean"
