"""Runs in a headless Blender: installs the add-on from its zip, bakes an
icosphere and UV spheres with each integrator, transformed and pinned by a
vertex group, and checks the bakes against tumelin-host on the same meshes.
  blender -b --factory-startup --python-exit-code 1 --python blender_test.py -- ZIP HOST WORK
"""

import array
import decimal
import os
import re
import shutil
import subprocess
import sys

import bpy

ZIP, HOST, WORK = sys.argv[sys.argv.index("--") + 1 :]
BLEND = os.path.join(WORK, "scene.blend")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def ico():
    bpy.ops.mesh.primitive_ico_sphere_add(subdivisions=3, radius=1.0)


def uv():
    bpy.ops.mesh.primitive_uv_sphere_add(segments=24, ring_count=12, radius=1.0)


# name, mesh, settings, integrator, rotation and location (gravity stays -Z
# in the world), pinned vertices (by their own coordinates), frames, steps
# per frame
CASES = (
    (
        "ico_euler",
        ico,
        (0.8, 2.0, 3.0, 7.0),
        "0",
        (0.5, 0.0, 0.8),
        (0.3, -1.0, 2.0),
        lambda c: c.z > 0.85,
        12,
        3,
    ),
    (
        "uv_heun",
        uv,
        (1.2, 4.0, 10.0, 2.5),
        "1",
        (0.0, 0.0, 0.0),
        (0.0, 0.0, 0.0),
        lambda c: c.z < -0.9,
        10,
        2,
    ),
    ("uv_rk4", uv, (0.3, 0.5, 20.0, 20.0), "2", (1.2, 0.3, 0.0), (0.0, 2.0, 0.0), lambda c: c.x > 0.8, 8, 4),
)
START = 3


def evaluated(obj):
    """The coordinates Blender shows for obj at the current frame."""
    mesh = obj.evaluated_get(bpy.context.evaluated_depsgraph_get()).data
    out = array.array("f", bytes(12 * len(mesh.vertices)))
    mesh.vertices.foreach_get("co", out)
    return out.tobytes()


# a shown coordinate is float32 in the object's space (its last bit is 2.4e-7
# at magnitude 2-4) and tumelin-host writes 9 digits: far below this
SHOWN_TOLERANCE = 1e-5


def to_world(m, x, y, z):
    return tuple(x * m[i][0] + y * m[i][1] + z * m[i][2] + m[i][3] for i in range(3))


def host_run(obj, pins, steps, settings, method):
    """tumelin-host's hash and final positions for the object's mesh in world
    space, written with every digit in Blender's counter-clockwise winding
    (so --flip)."""
    m = [list(row) for row in obj.matrix_world]
    path = os.path.join(WORK, obj.name + "_world.obj")
    with open(path, "w") as out:
        for v in obj.data.vertices:
            out.write("v %r %r %r\n" % to_world(m, *v.co))
        for p in obj.data.polygons:
            out.write("f %s\n" % " ".join(str(i + 1) for i in p.vertices))
    keys = ("ClothP", "ClothC", "ClothK0", "ClothK1")
    command = [
        HOST,
        "run",
        "--mesh",
        path,
        "--flip",
        "--steps",
        str(steps),
        "--hash",
        "--set",
        "ClothMethod=" + method,
    ]
    command += [a for k, v in zip(keys, settings) for a in ("--set", "%s=%s" % (k, exponent(v)))]
    folder = os.path.join(WORK, obj.name + "_host")
    command += ["--pin-points", ",".join(map(str, pins)), "--out", folder]
    hash_text = run_host(command)
    with open(os.path.join(folder, "surface.obj")) as surface:
        return hash_text, [tuple(map(float, line.split()[1:])) for line in surface if line.startswith("v ")]


def exponent(value):
    """digits and an exponent (8e-1), read alike under every decimal separator"""
    sign, digits, power = decimal.Decimal(repr(value)).as_tuple()
    return "-" * sign + "".join(map(str, digits)) + "e%d" % power


def run_host(command):
    result = subprocess.run(command, capture_output=True, text=True)
    check(result.returncode == 0, "%s: %s" % (command, result.stderr))
    lines = [line for line in result.stdout.splitlines() if line.startswith("hash ")]
    return lines[-1][5:] if lines else None


def bake_case(name, make, settings, method, rotation, location, pinned, frames, steps):
    bpy.ops.object.select_all(action="DESELECT")
    make()
    obj = bpy.context.object
    obj.name = name
    obj.rotation_euler, obj.location = rotation, location
    bpy.context.view_layer.update()
    pins = [v.index for v in obj.data.vertices if pinned(v.co)]
    obj.vertex_groups.new(name="pins").add(pins, 1.0, "REPLACE")
    props = obj.tumelin
    props.cloth_p, props.cloth_c, props.cloth_k0, props.cloth_k1 = settings
    props.cloth_method, props.pin_group = method, "pins"
    props.frame_start, props.frame_end, props.steps_per_frame = START, START + frames, steps
    rest = evaluated(obj)
    check(bpy.ops.tumelin.bake() == {"FINISHED"}, name + ": bake")
    check(props.baked_frames == frames + 1, "%s: %d frames baked" % (name, props.baked_frames))
    expected, positions = host_run(obj, pins, frames * steps, settings, method)
    check(props.bake_hash == expected, "%s: hash %s, tumelin-host %s" % (name, props.bake_hash, expected))

    # scrubbing: the rest shape at the start, every frame the same each time
    scene = bpy.context.scene
    shown = {}
    for frame in (START + frames, START + 1, START, START + frames // 2, START + frames, START + 1):
        scene.frame_set(frame)
        shown.setdefault(frame, evaluated(obj))
        check(
            shown[frame] == evaluated(obj),
            "%s: frame %d shows other positions the second time" % (name, frame),
        )
    check(shown[START] == rest, name + ": the start frame is not the rest shape")
    check(
        shown[START + 1] != rest and shown[START + frames] != shown[START + 1],
        name + ": the cache does not play",
    )
    check(
        obj.data.vertices[0].co[:] == tuple(array.array("f", rest[:12])), name + ": the mesh was overwritten"
    )
    # the last frame, taken back to world space, is where tumelin-host ends
    m, it = [list(row) for row in obj.matrix_world], iter(array.array("f", shown[START + frames]))
    far = max(abs(a - b) for p, q in zip(zip(it, it, it), positions) for a, b in zip(to_world(m, *p), q))
    check(
        len(positions) == len(rest) // 12 and far <= SHOWN_TOLERANCE,
        "%s: %g from tumelin-host's positions" % (name, far),
    )

    # Export INI runs in tumelin-host to the same hash
    ini = os.path.join(WORK, name + ".ini")
    check(bpy.ops.tumelin.export_ini(filepath=ini) == {"FINISHED"}, name + ": export")
    exported = run_host([HOST, "run", "--ini", ini, "--hash"])
    check(exported == props.bake_hash, "%s: the exported INI runs to %s" % (name, exported))
    return shown[START + frames]


class Layout:
    """Stands in for the panel's layout in -b, where no panel is drawn: keeps the labels."""

    def __init__(self):
        self.labels = []

    def label(self, text="", icon="NONE"):
        self.labels.append(text)

    def __getattr__(self, name):  # prop, row, operator, prop_search
        return lambda *args, **kwargs: self


def panel_lines(obj):
    bpy.context.view_layer.objects.active = obj
    panel = bpy.types.TUMELIN_PT_physics
    layout = Layout()
    panel.draw(type("Drawn", (), {"layout": layout})(), bpy.context)
    return layout.labels


def judged_and_diverged():
    """The panel's words for a mesh or a setting, and a bake that diverges."""
    # name, mesh, ClothC, a line the panel must show (the host's words)
    for name, make, damping, shown in (
        ("open", lambda: bpy.ops.mesh.primitive_grid_add(x_subdivisions=4, y_subdivisions=4), 1.0, "open"),
        ("damped", ico, 420.0, "ClothC 420: damping"),
    ):
        make()
        obj = bpy.context.object
        obj.name, obj.tumelin.cloth_c = name, damping
        lines = panel_lines(obj)
        check(any(shown in line for line in lines), "%s: the panel shows %s" % (name, lines))
    check(
        not any("open" in line for line in panel_lines(bpy.data.objects["uv_heun"])), "a closed mesh is open"
    )
    # the damping above diverges at step 140, in frame 15: the bake keeps frames 1 to 14
    obj.tumelin.frame_end, obj.tumelin.steps_per_frame = 40, 10
    bpy.context.view_layer.objects.active = obj
    check(bpy.ops.tumelin.bake() == {"FINISHED"}, "diverged: bake")
    props = obj.tumelin
    check(
        props.baked_frames == 14
        and "stopped at frame 15: the run diverged at step 140:" in props.bake_message
        and not props.bake_hash,
        "diverged: %d frames, %r" % (props.baked_frames, props.bake_message),
    )


def agrees_with_the_plugin():
    """The panel's defaults are the plug-in's, its sliders span the sensible
    ranges docs/settings.md gives, its integrators are named as tumelin-host
    info names them."""
    props = sys.modules["tumelin_blender.properties"]
    defaults = sys.modules["tumelin_blender.bake"].plugin().settings({}).record
    docs = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../docs/settings.md")).read()
    for key, name in (
        ("ClothP", "cloth_p"),
        ("ClothC", "cloth_c"),
        ("ClothK0", "cloth_k0"),
        ("ClothK1", "cloth_k1"),
    ):
        prop = props.TumelinSettings.__annotations__[name].keywords
        span = re.search(r"^\| `%s` \|.*\| (\S+) … (\S+?);? [^|]*\|$" % key, docs, re.M)
        check(
            prop["default"] == defaults[key],
            "%s: default %r, the plug-in's %r" % (key, prop["default"], defaults[key]),
        )
        check(
            span and (prop["soft_min"], prop["soft_max"]) == tuple(map(float, span.groups())),
            key + ": slider span",
        )
    check(
        props.TumelinSettings.__annotations__["cloth_t0"].keywords["default"] == defaults["ClothT0"],
        "ClothT0",
    )
    info = subprocess.run([HOST, "info"], capture_output=True, text=True).stdout
    named = re.search(r"^integrators +(.*)$", info, re.M).group(1)
    listed = ", ".join("%s %s" % (value, label) for value, label, _ in props.METHODS)
    check(named.lower() == listed.lower(), "integrators %r, tumelin-host info %r" % (listed, named))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    bpy.ops.preferences.addon_install(filepath=ZIP)
    bpy.ops.preferences.addon_enable(module="tumelin_blender")
    bpy.ops.wm.save_as_mainfile(filepath=BLEND)
    # the plug-in inside Blender reads the locale's decimal comma: what every case below goes through
    with open(os.path.join(WORK, "comma.ini"), "w") as comma:
        comma.write("[Setup]\nClothP=0,7\n")
    record = sys.modules["tumelin_blender.bake"].plugin().settings(ini=comma.name).record
    check(record["ClothP"] == 0.7, "the plug-in read ClothP=0,7 as %r" % record["ClothP"])
    agrees_with_the_plugin()
    last = {case[0]: bake_case(*case) for case in CASES}
    judged_and_diverged()

    # stale once a setting or the mesh changes; Import INI brings the exported settings back
    obj = bpy.data.objects["uv_heun"]
    props = obj.tumelin
    stale = lambda: any("stale" in line for line in panel_lines(obj))  # noqa: E731
    check(not stale(), "a fresh bake is stale")
    props.cloth_c = 9.0
    check(stale(), "a changed setting leaves the bake fresh")
    bpy.ops.tumelin.import_ini(filepath=os.path.join(WORK, "uv_heun.ini"))
    check(props.cloth_c == 4.0 and not stale(), "Import INI: ClothC %r, stale %s" % (props.cloth_c, stale()))
    vertex = obj.data.vertices[7]
    x, vertex.co.x = vertex.co.x, vertex.co.x + 0.25
    check(stale(), "a moved vertex leaves the bake fresh")
    vertex.co.x = x
    check(not stale(), "the vertex back in place leaves the bake stale")

    # save, reopen without the add-on: the bake plays; with it: the settings come back
    bpy.ops.wm.save_mainfile()
    bpy.ops.preferences.addon_disable(module="tumelin_blender")
    bpy.ops.wm.open_mainfile(filepath=BLEND)
    check(not hasattr(bpy.types.Object, "tumelin"), "the add-on is still registered")
    for name, *_, frames, steps in CASES:
        bpy.context.scene.frame_set(START + frames)
        check(
            evaluated(bpy.data.objects[name]) == last[name],
            name + ": the bake plays otherwise without the add-on",
        )
    bpy.ops.preferences.addon_enable(module="tumelin_blender")
    bpy.ops.wm.open_mainfile(filepath=BLEND)
    scene = bpy.context.scene
    for name, _, settings, method, *_, frames, steps in CASES:
        obj = bpy.data.objects[name]
        props = obj.tumelin
        stored = (props.cloth_p, props.cloth_c, props.cloth_k0, props.cloth_k1)
        check(
            all(abs(a - b) <= 1e-6 * abs(b) for a, b in zip(stored, settings)),
            "%s: reopened %s" % (name, stored),
        )
        kept = (props.cloth_method, props.pin_group, props.frame_start, props.steps_per_frame)
        check(kept == (method, "pins", START, steps), "%s: reopened %s" % (name, kept))
        scene.frame_set(START + frames)
        check(evaluated(obj) == last[name], name + ": the reopened bake plays other positions")

    # Free bake removes the cache and shows the mesh again
    obj = bpy.data.objects["ico_euler"]
    bpy.context.view_layer.objects.active = obj
    path = bpy.path.abspath(obj.tumelin.cache_path)
    bpy.ops.tumelin.free_bake()
    check(not os.path.exists(path) and "Tumelin cache" not in obj.modifiers, "free bake left the cache")


main()
if failures:
    print("%d failures" % len(failures))
    sys.exit(1)
print("blender_test: every check passed")
