#!/usr/bin/env python3
"""Writes bench/results/<cpu>.md from one run of the benchmarks.

Inputs: the JSON of step_bench (Google Benchmark, repetitions with
aggregates) and optionally that of the same suite built for 32-bit Windows
and run under wine. With --label the run also becomes a row of the file's
History section; a row with the same label is replaced.

With --wine-emulated the wine run took place inside an emulated machine (a
kernel that cannot run 32-bit programs): its figures are marked so and
compared with no native one.

--web-json is the JSON of tumelin_web_bench, the step compiled to WebAssembly
and run under Node in the same make bench (the same layout, median
aggregates); --web-note names the versions, or says why it did not run.

Usage: write_results.py --json FILE [--wine-json FILE] [--wine-emulated]
                        [--wine-note TEXT] [--web-json FILE] [--web-note TEXT]
                        [--label TEXT] [--commit HASH] --out-dir DIR
"""
import argparse
import datetime
import json
import os
import re
import sys

# the integrators in their order, as the suite names them: step_bench writes
# the plug-in's names into its context ("methods"), and main() takes them
METHODS = []
GRIDS = [33, 129, 257]
HISTORY_GRID = 257
# the peer's configurations as the suite names them, and as the tables do;
# the plug-in handles no collisions, so the last is the like-for-like one
PEERS = [("default", "Bullet default"), ("collisions_off", "Bullet, collisions off")]
LIKE_FOR_LIKE = "collisions_off"
# what the WebAssembly step may cost per point-step, in native steps
WEB_LIMIT = 2.0


def grid_name(grid):
    return "%dx%d" % (grid, grid)


def peer_name(config, grid):
    return "peer/bullet/%s/%s" % (config, grid_name(grid))


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


def run_time(context):
    """when the suite ran, from its own record, in UTC"""
    try:
        when = datetime.datetime.fromisoformat(context["date"])
        return when.astimezone(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M")
    except (KeyError, ValueError):
        return "?"


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
            if (
                inside
                and line.startswith("| ")
                and not line.startswith("| label ")
                and not line.startswith("|---")
            ):
                rows.append(line.rstrip("\n"))
    return rows


def history_row(label, commit, medians):
    cells = [label.replace("|", "/"), commit]
    for method in METHODS:
        tail = "%s/%s" % (method, grid_name(HISTORY_GRID))
        ours = counter(medians, "step/" + tail)
        cells += [fmt_ns(ours), fmt_ratio(ours, counter(medians, "bound/sse2/" + tail))]
    return "| " + " | ".join(cells) + " |"


def memory_floor(medians):
    """the step's loads and stores alone against the step and the AVX bound"""
    out = [
        "## Memory floor\n",
        "*memory*: every load and store of a step on the same sphere, in the step's order, with next to no "
        "arithmetic. On a membrane whose records outgrow the caches this, not the arithmetic, is what a step "
        "cannot go below; where it exceeds twice the AVX bound, so must the step.\n",
        "| points | memory | %s: ours / memory | %s | memory / AVX bound: %s |"
        % (METHODS[0], " | ".join(METHODS[1:]), " | ".join(METHODS)),
        "|---" * (2 + 2 * len(METHODS)) + "|",
    ]
    for grid in GRIDS:
        memory = counter(medians, "memory/" + grid_name(grid))
        tails = ["%s/%s" % (m, grid_name(grid)) for m in METHODS]
        out.append(
            "| %s | %s | %s | %s |"
            % (
                grid_name(grid).replace("x", "×"),
                fmt_ns(memory),
                " | ".join(fmt_ratio(counter(medians, "step/" + t), memory) for t in tails),
                " | ".join(fmt_ratio(memory, counter(medians, "bound/avx/" + t)) for t in tails),
            )
        )
    out.append("")
    return out


def goals(medians, wine, web):
    """the step's goals, each as the worst ratio per method (wine is empty when
    its figures do not compare with the native ones, web when it did not run)"""
    big, small = grid_name(GRIDS[-1]), grid_name(GRIDS[0])

    def worst(ratios):
        ratios = list(ratios)
        return None if not ratios or None in ratios else max(ratios)

    def ratio(a, b):
        return None if a is None or b is None or b == 0 else a / b

    rows = [
        (
            "step ≤ 1.5 × SSE2 bound at 65 000 points",
            1.5,
            lambda m: ratio(
                counter(medians, "step/%s/%s" % (m, big)), counter(medians, "bound/sse2/%s/%s" % (m, big))
            ),
        ),
        (
            "step ≤ 2 × AVX bound at 65 000 points",
            2.0,
            lambda m: ratio(
                counter(medians, "step/%s/%s" % (m, big)), counter(medians, "bound/avx/%s/%s" % (m, big))
            ),
        ),
        (
            "faster than Bullet with collisions off, the like-for-like peer, at every size "
            "(worst ours / Bullet < 1)",
            1.0,
            lambda m: worst(
                ratio(
                    counter(medians, "step/%s/%s" % (m, grid_name(g))),
                    counter(medians, peer_name(LIKE_FOR_LIKE, g)),
                )
                for g in GRIDS
            ),
        ),
        (
            "cost at 65 000 points ≤ 1.25 × cost at 1 000",
            1.25,
            lambda m: ratio(
                counter(medians, "step/%s/%s" % (m, big)), counter(medians, "step/%s/%s" % (m, small))
            ),
        ),
        (
            "wine ≤ 1.3 × Linux (worst size)",
            1.3,
            lambda m: worst(
                ratio(
                    counter(wine, "step/%s/%s" % (m, grid_name(g))),
                    counter(medians, "step/%s/%s" % (m, grid_name(g))),
                )
                for g in GRIDS
            ),
        ),
        (
            "WebAssembly step ≤ %g × native step per point-step (worst size)" % WEB_LIMIT,
            WEB_LIMIT,
            lambda m: worst(
                ratio(
                    counter(web, "step/%s/%s" % (m, grid_name(g))),
                    counter(medians, "step/%s/%s" % (m, grid_name(g))),
                )
                for g in GRIDS
            ),
        ),
    ]
    out = ["## Goals\n", "| goal | %s | met |" % " | ".join(METHODS), "|---" * (len(METHODS) + 2) + "|"]
    for text, limit, measure in rows:
        values = [measure(m) for m in METHODS]
        strict = limit == 1.0
        met = (
            "–"
            if None in values
            else ("yes" if all((v < limit) if strict else (v <= limit) for v in values) else "no")
        )
        out.append(
            "| %s | %s | %s |" % (text, " | ".join("–" if v is None else "%.2f×" % v for v in values), met)
        )
    out.append("")
    return out


def web_section(medians, web, context, note):
    """the step compiled to WebAssembly under Node against the native step"""
    out = ["## WebAssembly under Node\n"]
    if not web:
        out.append("Not measured in this run. %s\n" % note)
        return out
    out.append(
        "`tumelin_web_bench` (preset `web`, `make bench` builds it): the same core and entries compiled "
        "with emscripten for wasm SIMD (`-msimd128 -msse2`: the SSE2 pair path as f64x2, no AVX) and "
        "linked into one program with the bench kit's spheres, run under Node right after the Linux "
        "suite. The same protocol as *ours*: `PluginExecZR72` from the warm state, restored before each "
        "run, median of the repetitions; its clock is wall time (`steady_clock`, which is "
        "Node's `process.hrtime()` there) where the native figure is thread CPU time. Native: the path this CPU "
        "takes (AVX %s). %s\n" % (context.get("avx", "?"), note)
    )
    out.append("| method | points | native | WebAssembly | WebAssembly / native |")
    out.append("|---|---|---|---|---|")
    for method in METHODS:
        for grid in GRIDS:
            key = "step/%s/%s" % (method, grid_name(grid))
            native_ns, web_ns = counter(medians, key), counter(web, key)
            out.append(
                "| %s | %s | %s | %s | %s |"
                % (
                    method,
                    grid_name(grid).replace("x", "×"),
                    fmt_ns(native_ns),
                    fmt_ns(web_ns),
                    fmt_ratio(web_ns, native_ns),
                )
            )
    out.append("")
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--json", required=True)
    parser.add_argument("--wine-json")
    parser.add_argument("--wine-note", default="")
    parser.add_argument("--wine-emulated", action="store_true")
    parser.add_argument("--web-json")
    parser.add_argument("--web-note", default="")
    parser.add_argument("--label", default="")
    parser.add_argument("--commit", default="")
    parser.add_argument("--out-dir", required=True)
    args = parser.parse_args()

    context, medians = load_medians(args.json)
    METHODS[:] = json.loads(context["methods"])
    wine = load_medians(args.wine_json)[1] if args.wine_json and os.path.exists(args.wine_json) else {}
    web = load_medians(args.web_json)[1] if args.web_json and os.path.exists(args.web_json) else {}
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
    out.append(
        "CPU **%s**, %s cores at %.0f MHz, AVX %s. Run %s UTC, commit `%s`, `make bench`. Peer: %s.\n"
        % (
            cpu,
            context.get("num_cpus", "?"),
            float(context.get("mhz_per_cpu", 0)),
            context.get("avx", "?"),
            run_time(context),
            args.commit or "?",
            context.get("peer", "none"),
        )
    )
    out.append(
        "Nanoseconds per point-step (one step of one point), median of the repetitions, thread CPU time. "
        "The machine is shared and noisy: read the ratios, which come from one run, rather than the "
        "absolute figures.\n"
    )
    out.append("## Step against the bound and the peer\n")
    out.append(
        "| method | points | ours | SSE2 bound | ours / SSE2 | AVX bound | ours / AVX | scalar bound "
        "| ours / scalar | %s |" % " | ".join("%s | ours / %s" % (name, name) for _, name in PEERS)
    )
    out.append("|---" * (9 + 2 * len(PEERS)) + "|")
    for method in METHODS:
        for grid in GRIDS:
            tail = "%s/%s" % (method, grid_name(grid))
            ours = counter(medians, "step/" + tail)
            points = counter(medians, "step/" + tail, "points")
            sse2 = counter(medians, "bound/sse2/" + tail)
            avx = counter(medians, "bound/avx/" + tail)
            scalar = counter(medians, "bound/scalar/" + tail)
            peers = [counter(medians, peer_name(config, grid)) for config, _ in PEERS]
            out.append(
                "| %s | %s (%s) | %s | %s | %s | %s | %s | %s | %s | %s |"
                % (
                    method,
                    "{:,}".format(int(points)).replace(",", " ") if points else "?",
                    grid_name(grid).replace("x", "×"),
                    fmt_ns(ours),
                    fmt_ns(sse2),
                    fmt_ratio(ours, sse2),
                    fmt_ns(avx),
                    fmt_ratio(ours, avx),
                    fmt_ns(scalar),
                    fmt_ratio(ours, scalar),
                    " | ".join("%s | %s" % (fmt_ns(peer), fmt_ratio(ours, peer)) for peer in peers),
                )
            )
    out.append("")
    out.append(
        "- *ours*: one step through the exported entry `PluginExecZR72` of the built `Tumelin.kwt`, "
        "loaded by path, default settings, on a closed sphere with poles from the host kit's builder, "
        "advanced %s steps first (mid-inflation: volume ×%s at 65 000 points)."
        % (
            "300",
            "%.2f" % counter(medians, "step/%s/257x257" % METHODS[0], "volume_gain")
            if counter(medians, "step/%s/257x257" % METHODS[0], "volume_gain")
            else "?",
        )
    )
    capped = counter(medians, "bound/sse2/%s/257x257" % METHODS[0], "capped_share")
    out.append(
        "- *bound*: exactly the square roots and divisions that step needs, counted from the mesh "
        "(per link and evaluation 1 root and 3 divisions; per face 2 roots and 6 divisions; per point the "
        "mean normal's root and 3 divisions once; per evaluation 3 divisions by the mass, the limit's root "
        "and, for capped points, 3 more divisions; RK4's 6 divisions by 6), none depending on another, as "
        "scalar, packed SSE2 and 4-wide AVX instructions. Capped points: %s at 65 000 points, counted "
        "from one Euler step and used for every evaluation."
        % ("%.1f %%" % (100 * capped) if capped is not None else "?")
    )
    out.append(
        "- *Bullet*: its soft body on the same points, edges as links and triangles, mass 0.001 per node, "
        "gravity 0.4 along −Z, one step of 0.005 per call with one position-solver pass, `kPR` chosen so "
        "that a node of mean area feels the plug-in's pressure force 0.008 × ClothP; warmed up the same "
        "number of steps; single precision. In two configurations: *Bullet default* keeps Bullet's default "
        "collision flags, *Bullet, collisions off* sets `m_cfg.collisions = 0`. The plug-in handles no "
        "collisions, so the second is the like-for-like peer and the one the goals judge against. Bullet "
        "updates its nodes' bounding-volume tree in every step in both."
    )
    out.append("")

    out.extend(memory_floor(medians))
    out.extend(goals(medians, {} if args.wine_emulated else wine, web))

    out.append("## Write-back and entry call\n")
    under_wine = "under wine in the emulated machine" if args.wine_emulated else "under wine"
    out.append("| what | points | ns per point | µs per call | %s, ns per point |" % under_wine)
    out.append("|---|---|---|---|---|")
    for grid in GRIDS:
        name = "writeback/" + grid_name(grid)
        per_point = counter(medians, name, "ns_per_point")
        points = counter(medians, name, "points")
        call = per_point * points / 1000 if per_point is not None and points else None
        out.append(
            "| `PluginExecZR73`, %s | %s | %s | %s | %s |"
            % (
                grid_name(grid).replace("x", "×"),
                int(points) if points else "?",
                fmt_ns(per_point),
                "%.1f" % call if call is not None else "–",
                fmt_ns(counter(wine, name, "ns_per_point")),
            )
        )
    out.append("")
    out.append(
        "A step of the empty membrane (`PluginExecZR72` with null arrays), what an entry costs by itself, "
        "guards included: %s ns per call on Linux, %s ns %s; of it the floating-point guard "
        "(save the host's environment, set the plug-in's, restore the host's): %s ns on Linux, %s ns "
        "%s.\n"
        % (
            fmt_ns(counter(medians, "entry/empty", "ns_per_call")),
            fmt_ns(counter(wine, "entry/empty", "ns_per_call")),
            under_wine,
            fmt_ns(counter(medians, "entry/float_guard", "ns_per_call")),
            fmt_ns(counter(wine, "entry/float_guard", "ns_per_call")),
            under_wine,
        )
    )

    out.append("## Windows DLL under wine\n")
    if wine:
        emulated = args.wine_emulated
        if emulated:
            out.append(
                "This machine's kernel cannot run 32-bit programs, so wine ran inside an emulated machine "
                "(`scripts/run-32bit.sh`, software emulation). Its figures measure the emulator, not the "
                "DLL: they are listed for the record and compared with no native figure, here or in the "
                "goals. %s\n" % args.wine_note
            )
            out.append("| method | points | Linux x86-64 | wine in the emulated machine, 32-bit DLL |")
            out.append("|---|---|---|---|")
        else:
            out.append(
                "Debian has no mingw-w64 package of Google Benchmark, but its source package is reachable: "
                "`scripts/fetch-debian-source.sh` fetches it (`apt-get source` of the installed "
                "libbenchmark-dev's version, Debian's patches applied) and the `bench-windows-x86` preset "
                "builds the same suite from it with the cross compiler. Its step, write-back and entry "
                "benchmarks ran under wine right after the Linux suite, in the same `make bench`, on the "
                "32-bit `Tumelin.kwt`; thread CPU time there comes from `GetThreadTimes` in scheduler ticks, "
                "so each run lasts at least 0.5 s. %s\n" % args.wine_note
            )
            out.append("| method | points | Linux x86-64 | wine, 32-bit DLL | wine / Linux |")
            out.append("|---|---|---|---|---|")
        for method in METHODS:
            for grid in GRIDS:
                key = "step/%s/%s" % (method, grid_name(grid))
                linux_ns, wine_ns = counter(medians, key), counter(wine, key)
                cells = [method, grid_name(grid).replace("x", "×"), fmt_ns(linux_ns), fmt_ns(wine_ns)]
                if emulated:
                    cells[-1] += " (emulated)"
                else:
                    cells.append(fmt_ratio(wine_ns, linux_ns))
                out.append("| %s |" % " | ".join(cells))
        out.append("")
    else:
        out.append("Not measured in this run. %s\n" % args.wine_note)

    out.extend(web_section(medians, web, context, args.web_note))

    out.append("## History\n")
    out.append(
        'One row per `make bench BENCH_LABEL="..."`: the step at 65 000 points (257×257), ns per '
        "point-step and its ratio to the SSE2 bound of the same run.\n"
    )
    out.append("| label | commit | %s |" % " | ".join("%s ns | %s / SSE2" % (m, m) for m in METHODS))
    out.append("|---" * (2 + 2 * len(METHODS)) + "|")
    out.extend(history)
    out.append("")

    os.makedirs(args.out_dir, exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(out))
    print(path)


if __name__ == "__main__":
    sys.exit(main())
