"""The tumelin package against tumelin-host: the same membranes, settings,
verdicts, divergence and hashes. TUMELIN_HOST names the host to compare with;
the plug-in and the kit are found as the package finds them."""

import os
import re
import subprocess
import sys
from array import array
from pathlib import Path

import pytest

import tumelin

HOST = os.environ.get("TUMELIN_HOST", str(Path(__file__).resolve().parents[2] / "build/native/tumelin-host"))
EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
# non-default settings, one table row per integrator
SETTINGS = [{"ClothP": 0.8, "ClothK0": 3.0, "ClothC": 2.5, "ClothMethod": method} for method in (0, 1, 2, 3)]


def host(*arguments: str) -> subprocess.CompletedProcess:
    return subprocess.run([HOST, *arguments], capture_output=True, text=True)


def host_hash(settings: dict, *arguments: str) -> str:
    sets = [
        word
        for key, value in settings.items()
        for word in ("--set", f"{key}={tumelin._native.value_text(value)}")
    ]
    out = host("run", "--hash", *arguments, *sets)
    assert out.returncode == 0, out.stderr
    return re.search(r"^hash ([0-9a-f]{16})$", out.stdout, re.M).group(1)


def run(membrane: tumelin.Membrane, settings: dict, steps: int) -> tumelin.Simulation:
    plugin = tumelin.Plugin()
    sim = tumelin.Simulation(plugin, membrane, plugin.settings(settings))
    assert sim.step(steps) == steps
    return sim


def obj_mesh(path: Path):
    """vertices and 0-based triangles of an OBJ file of plain "v" and "f" lines"""
    words = [line.split() for line in path.read_text().splitlines()]
    vertices = [tuple(float(x) for x in w[1:4]) for w in words if w and w[0] == "v"]
    triangles = [tuple(int(c) - 1 for c in w[1:4]) for w in words if w and w[0] == "f"]
    return vertices, triangles


@pytest.fixture(scope="module")
def sphere_obj(tmp_path_factory) -> Path:
    """the 33 x 17 sphere as a free mesh, clockwise seen from outside"""
    path = tmp_path_factory.mktemp("mesh") / "sphere.obj"
    tumelin.Membrane.from_shape("sphere", columns=33, rows=17).write_obj(path)
    return path


def test_a_written_membrane_reads_back_to_the_same_bits(sphere_obj):
    original = tumelin.Membrane.from_shape("sphere", columns=33, rows=17)
    assert tumelin.Membrane.from_file(sphere_obj).state_hash() == original.state_hash()


@pytest.mark.parametrize("settings", SETTINGS, ids=lambda s: f"method{s['ClothMethod']}")
@pytest.mark.parametrize("source", ["file", "ccw", "auto", "numpy"])
def test_mesh_gives_the_hosts_hash(sphere_obj, settings, source):
    vertices, triangles = obj_mesh(sphere_obj)
    reversed_triangles = [(a, c, b) for a, b, c in triangles]
    if source == "file":
        membrane = tumelin.Membrane.from_file(sphere_obj)
    elif source == "numpy":
        np = pytest.importorskip("numpy")
        membrane = tumelin.Membrane.from_mesh(np.array(vertices), np.array(reversed_triangles), winding="ccw")
    else:
        membrane = tumelin.Membrane.from_mesh(vertices, reversed_triangles, winding=source)
    assert membrane.check().inflates
    membrane.pin([0, 7])
    sim = run(membrane, settings, 60)
    assert sim.state_hash() == host_hash(
        settings, "--mesh", str(sphere_obj), "--pin", "points", "--pin-points", "0,7", "--steps", "60"
    )


@pytest.mark.parametrize(
    "shape, options, flags",
    [
        (
            "sphere",
            {"columns": 17, "rows": 9, "pin": "pole"},
            ["--columns", "17", "--rows", "9", "--pin", "pole"],
        ),
        ("torus", {"major_radius": 1.5, "winding": "ccw"}, ["--major-radius", "1.5", "--winding", "ccw"]),
        ("sheet", {"pin": "corners", "width": 3.0}, ["--pin", "corners", "--width", "3"]),
        ("tube", {"pin_below": -0.5, "pin": "below"}, ["--pin-below", "-0.5", "--pin", "below"]),
    ],
)
def test_shape_gives_the_hosts_hash(shape, options, flags):
    sim = run(tumelin.Membrane.from_shape(shape, **options), SETTINGS[2], 80)
    assert sim.state_hash() == host_hash(SETTINGS[2], "--shape", shape, *flags, "--steps", "80")


def test_icosahedron_by_pinning_below_gives_the_examples_hash():
    setup, scene = tumelin.read_ini(EXAMPLES / "icosahedron.ini")
    membrane = tumelin.Membrane.from_file(EXAMPLES / scene["Mesh"], flip=scene["Flip"] == "yes")
    assert membrane.pin_below(float(scene["PinBelow"])) == 2
    sim = run(membrane, setup, int(scene["Steps"]))
    assert sim.state_hash() == host_hash({}, "--ini", str(EXAMPLES / "icosahedron.ini"))


def test_written_ini_runs_in_the_host_to_the_same_hash(tmp_path):
    settings = dict(SETTINGS[1], ClothP=0.1 + 0.2)  # a value with 17 digits
    tumelin.write_ini(tmp_path / "scene.ini", settings, {"Shape": "torus", "Steps": 40, "MinorRadius": 0.3})
    assert tumelin.read_ini(tmp_path / "scene.ini")[0]["ClothP"] == "30000000000000004e-17"
    sim = run(
        tumelin.Membrane.from_file(tmp_path / "scene.ini"), tumelin.read_ini(tmp_path / "scene.ini")[0], 40
    )
    assert sim.state_hash() == host_hash({}, "--ini", str(tmp_path / "scene.ini"))


@pytest.mark.parametrize(
    "values",
    [
        {"ClothP": "0,7", "ClothK0": "abc", "ClothMethod": 2},
        {"ClothC": "1e999", "ClothT0": "12.5", "ClothK1": 0.25},
        {"clothp": "-3", "ClothMethod": "7"},
    ],
)
def test_verdicts_are_the_hosts(values):
    settings = tumelin.Plugin().settings(values)
    out = host(
        "settings", *[w for k, v in values.items() for w in ("--set", f"{k}={tumelin._native.value_text(v)}")]
    )
    rows = [
        re.split(r"\s{2,}", line.replace(" (given by --set)", ""), 3) for line in out.stdout.splitlines()[2:]
    ]
    mine = [
        [v.key, f'"{v.text}"' if v.text is not None else "(none)", v.stored, v.why] for v in settings.verdicts
    ]
    assert mine == rows
    assert [settings.record[v.key] for v in settings.verdicts] == [
        float(v.stored) if "." in v.stored or "e" in v.stored else int(v.stored) for v in settings.verdicts
    ]


def diverge(chunk: int):
    """steps of `chunk` per call until the run diverges: the error, its hash and warnings"""
    plugin = tumelin.Plugin()
    sim = tumelin.Simulation(
        plugin, tumelin.Membrane.from_shape("sphere"), plugin.settings({"ClothC": -300.0})
    )
    with pytest.raises(tumelin.Diverged) as caught:
        for _ in range(300):
            sim.step(chunk)
    with pytest.raises(tumelin.Diverged):  # and it stays diverged
        sim.step(1)
    return (caught.value.step, sim.steps_done, caught.value.message, sim.state_hash()), sim.warnings()


def test_divergence_raises_the_hosts_message():
    found, warnings = diverge(300)
    out = host("run", "--shape", "sphere", "--steps", "300", "--set", "ClothC=-300")
    assert out.stderr.splitlines()[-1] == f"tumelin-host: error: {found[2]}; no files written"
    assert found[:2] == (15, 15)
    assert any(line.startswith("ClothC -300: damping") for line in warnings)
    # a call of several steps checks after its last and steps again from its start to name the step
    # (a chunk of 5 diverges in the third call, which starts from the state the second one saved)
    assert diverge(5)[0] == diverge(1)[0] == found


def test_progress_and_cancel():
    sim = run(tumelin.Membrane.from_shape("sheet"), {}, 0)
    seen = []
    assert sim.step(10, progress=lambda done, n: seen.append((done, n)), cancel=lambda: len(seen) == 3) == 3
    assert seen == [(1, 10), (2, 10), (3, 10)] and sim.steps_done == 3


def test_errors_name_the_fault(tmp_path):
    cases = [
        (
            lambda: tumelin.Membrane.from_mesh([(0, 0, 0)] * 3, [(0, 1, 3)]),
            tumelin.MeshError,
            "names point 3",
        ),
        (lambda: tumelin.Plugin(tmp_path / "none.kwt"), tumelin.PluginNotFound, "none.kwt"),
        (lambda: tumelin.Plugin().settings({"ClothQ": 1}), tumelin.TumelinError, "ClothQ"),
        (lambda: tumelin.Plugin().settings(ini=tmp_path / "none.ini"), tumelin.TumelinError, "none.ini"),
        (
            lambda: tumelin.Membrane.from_file(tmp_path / "none.obj"),
            tumelin.MeshError,
            "none.obj: no such file",
        ),
        (lambda: tumelin.Membrane.from_shape("sphere", rows=300), tumelin.MeshError, "rows"),
        (lambda: tumelin.Membrane.from_shape("sheet").pin([10**6]), tumelin.TumelinError, "1000000"),
        (lambda: tumelin.Membrane.from_mesh([0.0] * 8, [(0, 1, 2)]), tumelin.TumelinError, "not 8"),
        (
            lambda: tumelin.Membrane.from_mesh([(0, 0, 0)] * 3, [(0, 1, 2)], winding="up"),
            tumelin.TumelinError,
            "cw, ccw or auto",
        ),
    ]
    for make, error, words in cases:
        with pytest.raises(error, match=words) as caught:
            make()
        assert type(caught.value) is error


# positions, velocities and the float32 copy, printed by a child that may not import numpy
PROBE = """
import sys
if sys.argv[1] == "none": sys.modules["numpy"] = None
import tumelin
from array import array
p = tumelin.Plugin()
sim = tumelin.Simulation(p, tumelin.Membrane.from_shape("torus"), p.settings({"ClothMethod": 3}))
sim.step(25)
buffer = sim.positions_into(array("f", bytes(12 * len(sim.positions))))
print(type(sim.positions).__name__, [tuple(map(float, v)) for v in sim.positions], [tuple(map(float, v)) for v in sim.velocities], list(buffer), sim.state_hash())
"""


def test_numpy_and_plain_python_agree():
    pytest.importorskip("numpy")
    outputs = [
        subprocess.run([sys.executable, "-c", PROBE, mode], capture_output=True, text=True, check=True).stdout
        for mode in ("numpy", "none")
    ]
    assert outputs[0].split(" ", 1)[0] == "ndarray" and outputs[1].split(" ", 1)[0] == "list"
    assert outputs[0].split(" ", 1)[1] == outputs[1].split(" ", 1)[1]


def test_numpy_views_follow_the_run():
    np = pytest.importorskip("numpy")
    sim = run(tumelin.Membrane.from_shape("sphere", columns=9, rows=5), {}, 1)
    view = sim.positions
    before = view.copy()
    sim.step(5)
    assert view is sim.positions and not np.array_equal(before, view)
    copied = sim.positions_into(np.zeros(view.size, dtype=np.float32))
    assert np.array_equal(copied.reshape(-1, 3), view.astype(np.float32))
    assert np.array_equal(
        sim.velocities_into(array("f", bytes(4 * view.size))), sim.velocities.astype(np.float32).reshape(-1)
    )


def test_the_documents_example_prints_what_it_shows(capsys):
    text = (Path(__file__).resolve().parents[2] / "docs/python.md").read_text()
    code, shown = re.search(r"```python\n(.*?)```.*?```text\n(.*?)```", text, re.S).groups()
    exec(compile(code, "docs/python.md", "exec"), {})
    assert capsys.readouterr().out == shown
