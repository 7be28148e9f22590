#!/usr/bin/env bash
# Runs the inflating pillow with a built tumelin-host and says where the
# results went.
#   scripts/demo.sh [BUILD_DIR]   (default: build/demo, where make demo builds)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build/demo}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
host="$build/tumelin-host"
out="$root/out/demo"

if [ ! -x "$host" ]; then
  echo "demo: no tumelin-host in $build; build it first (make demo)" >&2
  exit 1
fi

"$host" run --ini "$root/examples/pillow.ini" --every 25 --animate --out "$out"
echo
echo "demo: the inflating pillow, written to $out:"
echo "  surface.png      the membrane after the last step"
echo "  surface.obj      the same surface as a Wavefront OBJ (any 3-D viewer)"
echo "  frames/          the surface every 25 steps, as OBJ and PNG (one scale for all)"
echo "  animation.gif    the run as an animation (animation.mp4 too, where ffmpeg is installed)"
echo "  figures.csv      volume, mean radius, speed, energy and spring stretch per step"
echo "  plot.svg         enclosed volume over the steps (open it in a browser)"
