#!/usr/bin/env bash
# Renders the pictures of docs/ with a built tumelin-host: one per scene of
# docs/scenes/ (docs/settings.md) and one per grid mode from the examples
# (docs/topologies.md), into docs/pictures/, and the README's picture of
# each grid example, into docs/. Run it after a change that moves a
# membrane or its pictures and commit them.
#   scripts/doc-pictures.sh [BUILD_DIR]   (default: build/native)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build/native}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
host="$build/tumelin-host"
if [ ! -x "$host" ]; then
  echo "doc-pictures: no tumelin-host in $build; build it first (make native)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$root/docs/pictures"

# each picture fitted to its shape (--frame auto): in the run's fixed frame
# the scenes that grow most, or diverge, would be cut at the border
render() { # render NAME INI [SIZE FOLDER]
  local size=${3:-320x240} folder=${4:-docs/pictures}
  "$host" run --ini "$2" --image "$size" --frame auto --out "$work/$1" >/dev/null
  cp "$work/$1/surface.png" "$root/$folder/$1.png"
  echo "$folder/$1.png"
}
for ini in "$root"/docs/scenes/*.ini; do render "$(basename "$ini" .ini)" "$ini"; done
render mode0-sphere "$root/examples/pillow.ini"
render mode1-torus "$root/examples/torus.ini"
render mode2-sheet "$root/examples/sheet.ini"
render mode3-tube "$root/examples/tube.ini"
for example in pillow balloon sheet torus tube; do
  render "$example" "$root/examples/$example.ini" 400x300 docs
done
