#!/usr/bin/env bash
# Renders the pictures of docs/ with a built tumelin-host: one per scene of
# docs/scenes/ (docs/settings.md) and one per grid mode from the examples
# (docs/topologies.md), into docs/pictures/, and the README's picture of
# each grid example, into docs/; and writes the tables of settings.md that
# runs measure (between their <!-- measured NAME --> and <!-- end NAME -->
# lines). Run it after a change that moves a membrane or its pictures and
# commit what it changed.
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
# the plug-in reads the scenes' numbers with a decimal point, and the tables
# print with one
export LC_ALL=C
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

# ---- tables of docs/settings.md ---------------------------------------------

# measure NAME ARGS...: the host's figures.csv of one run, in $work/NAME
measure() {
  local name=$1
  shift
  if ! "$host" run "$@" --out "$work/$name" >"$work/$name.log" 2>&1; then
    cat "$work/$name.log" >&2
    exit 1
  fi
}
# figure NAME COLUMN STEP: the column of figures.csv at that step; "peak" for
# STEP gives the largest value as "value step"
figure() {
  awk -F, -v column="$2" -v step="$3" '
    NR == 1 { for (i = 1; i <= NF; ++i) if ($i == column) c = i; next }
    step == "peak" && (best == "" || $c > best) { best = $c; at = $1 }
    step != "peak" && $1 == step { print $c }
    END { if (step == "peak") print best, at }' "$work/$1/figures.csv"
}
# fill NAME: the lines between <!-- measured NAME --> and <!-- end NAME --> of
# docs/settings.md become standard input
fill() {
  local doc="$root/docs/settings.md"
  TABLE=$(cat) awk -v name="$1" '
    $0 == "<!-- measured " name " -->" { print; print ENVIRON["TABLE"]; skip = 1; found = 1; next }
    $0 == "<!-- end " name " -->" { skip = 0 }
    !skip { print }
    END { exit !found }' "$doc" >"$work/settings.md" || {
    echo "doc-pictures: docs/settings.md has no <!-- measured $1 --> block" >&2
    exit 1
  }
  cp "$work/settings.md" "$doc"
  echo "docs/settings.md: $1"
}

# how far a free unit sphere falls without pressure, per integrator and
# stiffness
{
  # the integrators as `info` lists them: "0 semi-implicit Euler, 1 Heun, ..."
  mapfile -t methods < <("$host" info | sed -n 's/^integrators *//p' | tr ',' '\n' | sed 's/^ *//')
  printf '| `ClothK0` = `ClothK1` |%s\n' "$(printf ' %s |' "${methods[@]#* }")"
  printf '|---|%s\n' "$(printf -- '---|%.0s' "${methods[@]}")"
  for stiffness in 0.05 0.5 5 50; do
    row="| $stiffness"
    for method in "${methods[@]%% *}"; do
      measure fall --shape sphere --columns 17 --rows 9 --steps 1000 --set ClothP=0 \
        --set "ClothK0=$stiffness" --set "ClothK1=$stiffness" --set "ClothMethod=$method"
      row+=$(printf ' | %.3g' "$(figure fall mean_height 1000)")
    done
    echo "$row |"
  done
} | fill fall

# the pace the damping allows: the soft scene, 3000 steps
{
  echo "| \`ClothC\` | 0.48 / \`ClothC\` | largest speed | largest volume (step) | after 1000 steps | after 3000 steps |"
  echo "|---|---|---|---|---|---|"
  for damping in 0.5 1 2 5 10 50; do
    measure pace --ini "$root/docs/scenes/soft.ini" --steps 3000 --set "ClothC=$damping"
    read -r peak at < <(figure pace volume peak)
    printf '| %s | %.3g | %.3g | %.3f (%s) | %.3f | %.3f |\n' "$damping" "$(awk -v c="$damping" 'BEGIN { print 0.48 / c }')" \
      "$(figure pace max_speed peak | cut -d' ' -f1)" "$peak" "$at" "$(figure pace volume 1000)" \
      "$(figure pace volume 3000)"
  done
} | fill pace
