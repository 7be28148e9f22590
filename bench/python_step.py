"""The Python package's Simulation.step(n) against the plug-in's own n steps on
the same membrane, in the same process, turn about (not a timed test).

    python3 bench/python_step.py [--steps N ...] [--rounds R] [--out FILE]

The plug-in's own steps are PluginExecZR72 called n times through ctypes on a
second copy of the membrane's records; step(n) adds what the package does per
call: one call into the kit, which steps through the same entry and checks
the state for divergence as tumelin-host does (after each step when n is 1,
else once after the last, in a pass that also keeps the state the next call
starts from). Each row is the median of R rounds; the ratio is step(n) over
the plug-in's own time."""

import argparse
import ctypes
import os
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import tumelin  # noqa: E402
from tumelin import _native  # noqa: E402

# (label, grid options): the 129 x 65 sphere and one of about 65 000 points
SPHERES = [("sphere 129x65", {"columns": 129, "rows": 65}), ("sphere 513x129", {"columns": 513, "rows": 129})]


def own_steps(plugin_path: Path, membrane: tumelin.Membrane, settings: tumelin.Settings):
    """a function that runs n steps through PluginExecZR72 itself"""
    library = ctypes.CDLL(str(plugin_path))
    step = library.PluginExecZR72
    step.restype = ctypes.c_int32
    step.argtypes = [ctypes.c_void_p] * 4
    points, faces = ctypes.c_void_p(), ctypes.c_void_p()
    _native.kit().TumelinKitMembraneRecords(membrane._handle, ctypes.byref(points), ctypes.byref(faces))
    setup = _native.kit().TumelinKitSettingsRecord(settings._handle)

    def run(n: int) -> None:
        for _ in range(n):
            step(None, points, faces, setup)

    return run


def measure(label: str, options: dict, steps: int, rounds: int) -> str:
    plugin = tumelin.Plugin()
    settings = plugin.settings({})
    sim = tumelin.Simulation(plugin, tumelin.Membrane.from_shape("sphere", **options), settings)
    own_membrane = tumelin.Membrane.from_shape("sphere", **options)
    own = own_steps(plugin.path, own_membrane, settings)
    package, plain = [], []
    for _ in range(rounds):
        start = time.perf_counter()
        sim.step(steps)
        package.append(time.perf_counter() - start)
        start = time.perf_counter()
        own(steps)
        plain.append(time.perf_counter() - start)
    assert sim.state_hash() == own_membrane.state_hash(), "the two copies ran apart"
    p, o = statistics.median(package), statistics.median(plain)
    points = own_membrane.point_count
    return f"| {label} | {points} | {steps} | {1e3 * o / steps:.3f} | {1e3 * p / steps:.3f} | {p / o:.3f} |"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--steps", type=int, nargs="+", default=[1, 4, 20])
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--out", type=Path)
    args = parser.parse_args()
    lines = [
        "| membrane | points | n | plug-in's own, ms per step | step(n), ms per step | ratio |",
        "|---|---|---|---|---|---|",
    ]
    lines += [measure(label, options, n, args.rounds) for n in args.steps for label, options in SPHERES]
    text = "\n".join(lines) + "\n"
    print(text, end="")
    if args.out:
        cpu = next(
            (
                line.split(":", 1)[1].strip()
                for line in open("/proc/cpuinfo")
                if line.startswith("model name")
            ),
            "?",
        )
        args.out.write_text(
            "# The Python package's step(n) beside the plug-in's own steps\n\n"
            f"`python3 bench/python_step.py --steps {' '.join(map(str, args.steps))} --rounds {args.rounds}` on {cpu}, "
            f"{os.cpu_count()} cores shared with other work, {time.strftime('%Y-%m-%d')}; medians of "
            f"{args.rounds} rounds taken turn about, default settings. The ratio is step(n) over the "
            "plug-in's own n steps on a second copy of the same membrane: the goal is at most 1.05.\n\n"
            + text
        )


if __name__ == "__main__":
    main()
