"""The Tumelin panel in a mesh object's Physics properties."""

import bpy

from . import bake
from .properties import STEP_TIME, settings_dict

KEYS = (
    ("cloth_p", "ClothP"),
    ("cloth_c", "ClothC"),
    ("cloth_k0", "ClothK0"),
    ("cloth_k1", "ClothK1"),
    ("cloth_method", "ClothMethod"),
)

# what the plug-in and the kit make of the settings and the mesh, computed
# again only when either changes (draw runs on every redraw)
_judged = {}


def judge(obj, mesh):
    """(verdict per key, mesh problems, run warnings): each key's stored value
    (and why, when its rule refused the value) as `tumelin-host settings`
    prints them, the mesh check's problems and the warnings a run starts
    with, as tumelin-host words them."""
    values = settings_dict(obj.tumelin)
    key = (obj.name, mesh.fingerprint(), obj.tumelin.pin_group, tuple(sorted(values.items())))
    if key not in _judged:
        _judged.clear()
        tumelin = bake.tumelin_module()
        settings = bake.plugin().settings(values)
        verdicts = {
            v.key: ("The plug-in stores %s" % v.stored)
            if v.accepted
            else ("The plug-in stores %s, %s" % (v.stored, v.why))
            for v in settings.verdicts
        }
        try:
            membrane, _ = bake.build_membrane(obj, mesh)
            problems = list(membrane.check().problems)
            warnings = tumelin.Simulation(bake.plugin(), membrane, settings).warnings()
        except tumelin.TumelinError as error:  # the kit refuses the mesh: say why
            problems, warnings = [str(error)], []
        _judged[key] = (verdicts, problems, warnings)
    return _judged[key]


class TUMELIN_PT_physics(bpy.types.Panel):
    bl_label = "Tumelin"
    bl_space_type = "PROPERTIES"
    bl_region_type = "WINDOW"
    bl_context = "physics"

    @classmethod
    def poll(cls, context):
        return context.object is not None and context.object.type == "MESH"

    def draw(self, context):
        layout = self.layout
        obj = context.object
        props = obj.tumelin
        mesh = bake.MeshData(obj)
        try:
            verdicts, problems, warnings = judge(obj, mesh)
        except Exception as error:  # no plug-in or kit: the panel says so and offers nothing
            layout.label(text=str(error), icon="ERROR")
            return
        for attribute, key in KEYS:
            layout.prop(props, attribute)
            if key in verdicts:
                layout.label(text=verdicts[key], icon="INFO")
        for line in problems + warnings:
            layout.label(text=line, icon="ERROR")

        layout.prop_search(props, "pin_group", obj, "vertex_groups")
        row = layout.row(align=True)
        row.prop(props, "frame_start")
        row.prop(props, "frame_end")
        layout.prop(props, "steps_per_frame")
        layout.label(text="%g time units per frame" % (props.steps_per_frame * STEP_TIME))

        row = layout.row(align=True)
        row.operator("tumelin.bake")
        row.operator("tumelin.free_bake")
        if props.baked_frames:
            last = props.frame_start + props.baked_frames - 1
            layout.label(text="Baked: frames %d to %d" % (props.frame_start, last))
            if props.bake_fingerprint != bake.fingerprint(obj, mesh):
                layout.label(text="The bake is stale: a setting or the mesh changed", icon="ERROR")
        if props.bake_message:
            layout.label(text=props.bake_message, icon="ERROR")
        row = layout.row(align=True)
        row.operator("tumelin.import_ini")
        row.operator("tumelin.export_ini")


def register():
    bpy.utils.register_class(TUMELIN_PT_physics)


def unregister():
    bpy.utils.unregister_class(TUMELIN_PT_physics)
