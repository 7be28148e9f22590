#!/usr/bin/env bash
# Prints the README's table of how far a unit sphere inflates at the plug-in's
# default settings on three grids: the enclosed volume at the start and after
# 1000 steps, as a Markdown table. The finest grid takes some seconds.
#   scripts/resolution-table.sh [BUILD_DIR]   (default: build/native)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build/native}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
host="$build/tumelin-host"
steps=1000

if [ ! -x "$host" ]; then
  echo "resolution-table: no tumelin-host in $build; build it first (make native)" >&2
  exit 1
fi

# the host's summary line: "sphere: sphere 17x9 (114 points), ... volume 3.96889, ..."
summary() { "$host" run --shape sphere --radius 1 -u "$1" -v "$2" -n "$3"; }
field() { sed -n "s/.*$1.*/\\1/p"; }

echo "| grid | points | volume at the start | after $steps steps |"
echo "|---|---|---|---|"
for grid in 17x9 129x65 257x129; do
  columns=${grid%x*} rows=${grid#*x}
  start=$(summary "$columns" "$rows" 0)
  end=$(summary "$columns" "$rows" "$steps")
  points=$(field '(\([0-9]*\) points)' <<<"$end")
  v0=$(field ', volume \([^,]*\),' <<<"$start")
  v1=$(field ', volume \([^,]*\),' <<<"$end")
  LC_ALL=C printf '| %s × %s | %s | %.2f | %.2f |\n' "$columns" "$rows" "$points" "$v0" "$v1"
done
