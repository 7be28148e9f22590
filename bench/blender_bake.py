"""A bake's cost per frame in Blender beside the plug-in's own steps for the
same membrane, measured in the same run (not a timed test):
  BLENDER_USER_SCRIPTS=$(mktemp -d) blender -b --factory-startup --python bench/blender_bake.py -- \
    build/native/tumelin_blender.zip
(the private scripts folder keeps the add-on this installs out of your own setup)
Two UV spheres: 128 x 64 (8 066 vertices, the points of the 129 x 65 grid
sphere) and 512 x 128 (65 026); 1 and 4 steps per frame. Three runs of the
same membrane alternate, each timed ROUNDS times from the rest shape:
  bake      the add-on's frame loop: step, positions to float32, PC2 frame
  calls     the package alone, one step(steps per frame) call per frame
  plug-in   the package alone, all the steps in one step() call: the
            plug-in's own steps (the kit loops over them in C)
The medians, in ms per frame, are printed as a Markdown table with the
ratios bake / plug-in and bake / calls (what the add-on itself adds).
"""

import os
import statistics
import sys
import tempfile
import time

import bpy

ZIP = sys.argv[sys.argv.index("--") + 1]
ROUNDS = 7
MESHES = ((128, 64, 24), (512, 128, 8))  # segments, rings, frames per round

bpy.ops.preferences.addon_install(filepath=os.path.abspath(ZIP))
bpy.ops.preferences.addon_enable(module="tumelin_blender")
bpy.ops.wm.save_as_mainfile(filepath=os.path.join(tempfile.mkdtemp(prefix="tumelin-bench-"), "bench.blend"))
from tumelin_blender import bake  # noqa: E402
from tumelin_blender.properties import settings_dict  # noqa: E402

import tumelin  # noqa: E402


def bake_frame_ms(obj, frames):
    """Milliseconds per frame of a bake's frame loop (step, convert, write)."""
    job = bake.BakeJob(obj)
    began = time.perf_counter()
    job.advance()
    elapsed = time.perf_counter() - began
    job.finish()
    return 1000.0 * elapsed / frames


def package_ms(obj, frames, calls):
    """Milliseconds per frame for the same membrane's steps through the
    package alone, in `calls` calls."""
    membrane, _ = bake.build_membrane(obj)
    sim = tumelin.Simulation(bake.plugin(), membrane, bake.plugin().settings(settings_dict(obj.tumelin)))
    steps = frames * obj.tumelin.steps_per_frame
    began = time.perf_counter()
    for _ in range(calls):
        sim.step(steps // calls)
    return 1000.0 * (time.perf_counter() - began) / frames


print("| vertices | steps per frame | bake | calls | plug-in | bake / plug-in | bake / calls |")
print("|---|---|---|---|---|---|---|")
for segments, rings, frames in MESHES:
    bpy.ops.mesh.primitive_uv_sphere_add(segments=segments, ring_count=rings)
    obj = bpy.context.object
    for per_frame in (1, 4):
        obj.tumelin.frame_start, obj.tumelin.frame_end = 1, 1 + frames
        obj.tumelin.steps_per_frame = per_frame
        times = ([], [], [])
        for _ in range(ROUNDS):
            times[0].append(bake_frame_ms(obj, frames))
            times[1].append(package_ms(obj, frames, frames))
            times[2].append(package_ms(obj, frames, 1))
        b, c, p = (statistics.median(t) for t in times)
        row = (len(obj.data.vertices), per_frame, b, c, p, b / p, b / c)
        print("| %d | %d | %.2f | %.2f | %.2f | %.3f | %.3f |" % row)
    bpy.data.objects.remove(obj)
