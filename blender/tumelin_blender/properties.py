"""The settings a mesh object carries for its membrane, saved in the .blend."""

import bpy
from bpy.props import EnumProperty, FloatProperty, IntProperty, PointerProperty, StringProperty

# the plug-in's integrators, by the value ClothMethod takes
METHODS = (
    ("0", "Semi-implicit Euler", "ClothMethod 0: the fastest step"),
    ("1", "Heun", "ClothMethod 1: two force evaluations a step"),
    ("2", "Runge-Kutta 4", "ClothMethod 2: four force evaluations a step"),
)

# one call of the plug-in advances the membrane by this much time
STEP_TIME = 0.005


def seven_digits(value):
    """The value a user typed into a single-precision field: 0.8 is held as
    0.800000011920929, and 0.8 is what the plug-in should be given."""
    return float("%.7g" % value)


def settings_dict(props):
    """The [Setup] keys as the plug-in reads them, from an object's settings."""
    return {
        "ClothP": seven_digits(props.cloth_p),
        "ClothC": seven_digits(props.cloth_c),
        "ClothK0": seven_digits(props.cloth_k0),
        "ClothK1": seven_digits(props.cloth_k1),
        "ClothT0": seven_digits(props.cloth_t0),
        "ClothMethod": int(props.cloth_method),
    }


class TumelinSettings(bpy.types.PropertyGroup):
    # soft limits span the sensible ranges; a typed value beyond them is
    # kept and judged by the plug-in in the panel
    cloth_p: FloatProperty(
        name="ClothP",
        description="Pressure: positive inflates the closed mesh",
        default=0.5,
        soft_min=0.0,
        soft_max=2.0,
        precision=4,
    )
    cloth_c: FloatProperty(
        name="ClothC",
        description="Velocity damping (keep well below 200)",
        default=1.0,
        soft_min=0.0,
        soft_max=20.0,
        precision=4,
    )
    cloth_k0: FloatProperty(
        name="ClothK0",
        description="Stiffness of a stretched spring",
        default=5.0,
        soft_min=0.05,
        soft_max=50.0,
        precision=4,
    )
    cloth_k1: FloatProperty(
        name="ClothK1",
        description="Stiffness of a compressed spring",
        default=5.0,
        soft_min=0.05,
        soft_max=50.0,
        precision=4,
    )
    cloth_t0: FloatProperty(
        name="ClothT0", description="Stored for the host; the plug-in does not use it", default=500.0
    )
    cloth_method: EnumProperty(name="ClothMethod", items=METHODS, default="0")
    pin_group: StringProperty(name="Pins", description="Vertex group whose vertices stay where they are")
    frame_start: IntProperty(name="Start", description="Frame that shows the rest shape", default=1)
    frame_end: IntProperty(name="End", description="Last baked frame", default=100)
    steps_per_frame: IntProperty(
        name="Steps per frame",
        description="Plug-in steps between frames (one step is 0.005 time units)",
        default=4,
        min=1,
        soft_max=64,
    )
    # the bake: where its cache is, how many frames it holds, what it was
    # made from (to tell when it is stale) and how it ended
    cache_path: StringProperty(name="Cache", subtype="FILE_PATH")
    baked_frames: IntProperty(default=0)
    bake_fingerprint: StringProperty(default="")
    bake_message: StringProperty(default="")
    # the state hash after the last baked frame, as tumelin-host run --hash prints it
    bake_hash: StringProperty(default="")


def register():
    bpy.utils.register_class(TumelinSettings)
    bpy.types.Object.tumelin = PointerProperty(type=TumelinSettings)


def unregister():
    del bpy.types.Object.tumelin
    bpy.utils.unregister_class(TumelinSettings)
