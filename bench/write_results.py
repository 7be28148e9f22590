#!/usr/bin/env python3
"""Writes bench/results/<cpu>.md from one run of the benchmarks.

Inputs: the JSON of step_bench (Google Benchmark, repetitions with
aggregates), optionally the outputs of step_timer built for Linux and for
Windows (run under wine). With --label the run also becomes a row of the
file's History section; a row with the same label is replaced.

Usage: write_results.py --json FILE [--timer-linux FILE] [--timer-wine FILE]
                        [--wine-note TEXT] [--label TEXT] [--commit HASH] --out-dir DIR
"""
import argparse
import datetime
import json
import os
import re
import sys

METHODS = ["Euler", "Heun", "RK4"]
GRIDS = [33, 129, 257]
HISTORY_GRID = 257
HISTORY_HEADER = ("| label | commit | Euler ns | Euler / SSE2 | Heun ns | Heun / SSE2 | RK4 ns | RK4 / SSE2 |\n"
                  "|---|---|---|---|---|---|---|---|\n")


def grid_name(grid):
    return "%dx%d" % (grid, grid)


def load_medians(path):
    """run name -> the median entry of its repetitions (or the single run)"""
    with open(path) as f:
        data = json.load(f)
    medians = {}
    for entry in data["benchmarks"]:
        name = entry.get("run_name", entry["name"])
        if entry.get("error_occurred"):
            medians.setdefault(name, None)
            continue
        if entry.get("run_type") == "aggregate":
            if entry.get("aggregate_name") == "median":
                medians[name] = entry
        else:
            medians.setdefault(name, entry)
    return data.get("context", {}), medians


def load_timer(path):
    if not path or not os.path.exists(path):
        return {}
    figures = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2 and parts[0].startswith("step/"):
                figures[parts[0]] = float(parts[1])
    return figures


def counter(medians, name, key="ns_per_point_step"):
    entry = medians.get(name)
    if entry is None or key not in entry:
        return None
    return float(entry[key])


def fmt_ns(value):
    if value is None:
        return "–"
    return "%.1f" % value if value < 100 else "%.0f" % value


def fmt_ratio(a, b):
    if a is None or b is None or b == 0:
        return "–"
    return "%.2f×" % (a / b)


def slug(text):
    s = re.sub(r"[^a-z0-9]+", "-", text.lower()).strip("-")
    return s or "unknown-cpu"


def read_history(path):
    """the rows of an existing file's History section, in order"""
    if not os.path.exists(path):
        return []
    rows, inside = [], False
    with open(path) as f:
        for line in f:
            if line.startswith("## "):
                inside = line.strip() == "## History"
                continue
            if inside and line.startswith("| ") and not line.startswith("| label ") and not line.startswith("|---"):
                rows.append(line.rstrip("\n"))
    return rows


def history_row(label, commit, medians):
    cells = [label.replace("|", "/"), commit]
    for method in METHODS:
        tail = "%s/%s" % (method, grid_name(HISTORY_GRID))
        ours = counter(medians, "step/" + tail)
        cells += [fmt_ns(ours), fmt_ratio(ours, counter(medians, "bound/sse2/" + tail))]
    return "| " + " | ".join(cells) + " |"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--json", required=True)
    parser.add_argument("--timer-linux")
    parser.add_argument("--timer-wine")
    parser.add_argument("--wine-note", default="")
    parser.add_argument("--label", default="")
    parser.add_argument("--commit", default="")
    parser.add_argument("--out-dir", required=True)
    args = parser.parse_args()

    context, medians = load_medians(args.json)
    cpu = context.get("cpu_model") or "unknown CPU"
    path = os.path.join(args.out_dir, slug(cpu) + ".md")
    history = read_history(path)
    if args.label:
        # a label names one row: a second run with it replaces the first
        row = history_row(args.label, args.commit, medians)
        label = args.label.replace("|", "/")
        same = [i for i, r in enumerate(history) if r.split("|")[1].strip() == label]
        if same:
            history[same[0]] = row
            history = [r for i, r in enumerate(history) if i not in same[1:]]
        else:
            history.append(row)

    out = []
    out.append("# Step benchmarks on %s\n" % cpu)
    out.append("CPU **%s**, %s cores at %.0f MHz, AVX %s. Run %s UTC, commit `%s`, `make bench`. Peer: %s.\n" % (
        cpu, context.get("num_cpus", "?"), float(context.get("mhz_per_cpu", 0)), context.get("avx", "?"),
        datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M"), args.commit or "?", context.get("peer", "none")))
    out.append("Nanoseconds per point-step (one step of one point), median of the repetitions, thread CPU time. "
               "The machine is shared and noisy: read the ratios, which come from one run, rather than the "
               "absolute figures.\n")
    out.append("## Step against the bound and the peer\n")
    out.append("| method | points | ours | SSE2 bound | ours / SSE2 | AVX bound | ours / AVX | scalar bound "
               "| ours / scalar | Bullet | ours / Bullet |")
    out.append("|---|---|---|---|---|---|---|---|---|---|---|")
    for method in METHODS:
        for grid in GRIDS:
            tail = "%s/%s" % (method, grid_name(grid))
            ours = counter(medians, "step/" + tail)
            points = counter(medians, "step/" + tail, "points")
            sse2 = counter(medians, "bound/sse2/" + tail)
            avx = counter(medians, "bound/avx/" + tail)
            scalar = counter(medians, "bound/scalar/" + tail)
            peer = counter(medians, "peer/bullet/" + grid_name(grid))
            out.append("| %s | %s (%s) | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                method, "{:,}".format(int(points)).replace(",", " ") if points else "?", grid_name(grid).replace("x", "×"),
                fmt_ns(ours), fmt_ns(sse2), fmt_ratio(ours, sse2), fmt_ns(avx), fmt_ratio(ours, avx),
                fmt_ns(scalar), fmt_ratio(ours, scalar), fmt_ns(peer), fmt_ratio(ours, peer)))
    out.append("")
    out.append("- *ours*: one step through the exported entry `PluginExecZR72` of the built `Tumelin.kwt`, "
               "loaded by path, default settings, on a closed sphere with poles from the host kit's builder, "
               "advanced %s steps first (mid-inflation: volume ×%s at 65 000 points)." % (
                   "300", "%.2f" % counter(medians, "step/Euler/257x257", "volume_gain")
                   if counter(medians, "step/Euler/257x257", "volume_gain") else "?"))
    capped = counter(medians, "bound/sse2/Euler/257x257", "capped_share")
    out.append("- *bound*: exactly the square roots and divisions that step needs, counted from the mesh "
               "(per link and evaluation 1 root and 3 divisions; per face 2 roots and 6 divisions; per point the "
               "mean normal's root and 3 divisions once; per evaluation 3 divisions by the mass, the limit's root "
               "and, for capped points, 3 more divisions; RK4's 6 divisions by 6), none depending on another, as "
               "scalar, packed SSE2 and 4-wide AVX instructions. Capped points: %s at 65 000 points, counted "
               "from one Euler step and used for every evaluation." % (
                   "%.1f %%" % (100 * capped) if capped is not None else "?"))
    out.append("- *Bullet*: its soft body on the same points, edges as links and triangles, mass 0.001 per node, "
               "gravity 0.4 along −Z, one step of 0.005 per call with one position-solver pass, `kPR` chosen so "
               "that a node of mean area feels the plug-in's pressure force 0.008 × ClothP; warmed up the same "
               "number of steps; single precision.")
    out.append("")

    out.append("## Write-back and entry call\n")
    out.append("| what | points | ns per point | µs per call |")
    out.append("|---|---|---|---|")
    for grid in GRIDS:
        name = "writeback/" + grid_name(grid)
        per_point = counter(medians, name, "ns_per_point")
        points = counter(medians, name, "points")
        call = per_point * points / 1000 if per_point is not None and points else None
        out.append("| `PluginExecZR73`, %s | %s | %s | %s |" % (
            grid_name(grid).replace("x", "×"), int(points) if points else "?", fmt_ns(per_point),
            "%.1f" % call if call is not None else "–"))
    entry = counter(medians, "entry/empty", "ns_per_call")
    out.append("")
    out.append("A step of the empty membrane (`PluginExecZR72` with null arrays): %s ns per call; that is what an "
               "entry costs by itself, guards included.\n" % fmt_ns(entry))

    linux, wine = load_timer(args.timer_linux), load_timer(args.timer_wine)
    out.append("## Windows DLL under wine\n")
    if wine:
        out.append("Google Benchmark is not packaged for mingw-w64 in Debian, so the Windows figure comes from "
                   "`step_timer`, a plain timing program built in both the `bench` and the `bench-windows-x86` "
                   "presets from the same source: the same step through the same entry on the same warm spheres, "
                   "thread CPU time (`GetThreadTimes` under wine, 10 ms ticks; `CLOCK_THREAD_CPUTIME_ID` on Linux), "
                   "median of repetitions of at least 0.5 s. Both runs are in this run of `make bench`, one after "
                   "the other. %s\n" % args.wine_note)
        out.append("| method | points | Linux x86-64 | wine, 32-bit DLL | wine / Linux |")
        out.append("|---|---|---|---|---|")
        for method in METHODS:
            for grid in GRIDS:
                key = "step/%s/%s" % (method, grid_name(grid))
                out.append("| %s | %s | %s | %s | %s |" % (
                    method, grid_name(grid).replace("x", "×"), fmt_ns(linux.get(key)), fmt_ns(wine.get(key)),
                    fmt_ratio(wine.get(key), linux.get(key))))
        out.append("")
    else:
        out.append("Not measured in this run. %s\n" % args.wine_note)

    out.append("## History\n")
    out.append("One row per `make bench BENCH_LABEL=\"...\"`: the step at 65 000 points (257×257), ns per "
               "point-step and its ratio to the SSE2 bound of the same run.\n")
    out.append(HISTORY_HEADER.rstrip("\n"))
    out.extend(history)
    out.append("")

    os.makedirs(args.out_dir, exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(out))
    print(path)


if __name__ == "__main__":
    sys.exit(main())
