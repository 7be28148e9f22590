"""The README's Blender picture: a membrane baked by the add-on and rendered
with Cycles on the CPU, headless.
  BLENDER_USER_SCRIPTS=$(mktemp -d) blender -b --factory-startup --python scripts/blender-picture.py -- \
    build/native/tumelin_blender.zip docs/pictures/blender.png
(the private scripts folder keeps the add-on this installs out of your own setup)
"""

import math
import os
import sys
import tempfile

import bpy

ZIP, PNG = sys.argv[sys.argv.index("--") + 1 :]
work = tempfile.mkdtemp(prefix="tumelin-picture-")
bpy.ops.preferences.addon_install(filepath=os.path.abspath(ZIP))
bpy.ops.preferences.addon_enable(module="tumelin_blender")
for default in list(bpy.data.objects):  # the start-up cube, camera and light
    bpy.data.objects.remove(default)
bpy.ops.wm.save_as_mainfile(filepath=os.path.join(work, "picture.blend"))

# a squashed icosphere standing on its lowest vertices, blown up
bpy.ops.mesh.primitive_ico_sphere_add(subdivisions=4, radius=1.0, location=(0, 0, 0.6))
membrane = bpy.context.object
membrane.scale = (1.0, 1.0, 0.5)
bpy.context.view_layer.update()
low = [v.index for v in membrane.data.vertices if v.co.z < -0.97]
membrane.vertex_groups.new(name="feet").add(low, 1.0, "REPLACE")
settings = membrane.tumelin
settings.cloth_p, settings.cloth_c, settings.cloth_k0, settings.cloth_k1 = 1.0, 4.0, 2.0, 8.0
settings.cloth_method, settings.pin_group = "2", "feet"
settings.frame_start, settings.frame_end, settings.steps_per_frame = 1, 60, 10
assert bpy.ops.tumelin.bake() == {"FINISHED"}
bpy.ops.object.shade_smooth()
material = bpy.data.materials.new("membrane")
material.use_nodes = True
material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (0.8, 0.25, 0.1, 1)
membrane.data.materials.append(material)

bpy.ops.mesh.primitive_plane_add(size=20, location=(0, 0, 0.6 - 0.5 * 1.0))
floor = bpy.data.materials.new("floor")
floor.use_nodes = True
floor.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (0.35, 0.37, 0.4, 1)
bpy.context.object.data.materials.append(floor)
bpy.ops.object.light_add(type="SUN", rotation=(math.radians(40), 0, math.radians(30)))
bpy.context.object.data.energy = 4.0
bpy.ops.object.camera_add(location=(3.4, -3.4, 2.4), rotation=(math.radians(66), 0, math.radians(45)))
scene = bpy.context.scene
scene.camera = bpy.context.object
scene.world = bpy.data.worlds.new("sky")
scene.world.color = (0.05, 0.06, 0.08)
scene.view_settings.look = "Medium High Contrast"
scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 32
scene.cycles.use_denoising = False  # Debian's Cycles is built without a denoiser
scene.render.resolution_x, scene.render.resolution_y = 640, 480
scene.frame_set(60)
scene.render.filepath = os.path.abspath(PNG)
bpy.ops.render.render(write_still=True)
