"""The Tumelin panel in a mesh object's Physics properties."""

import bpy

from . import bake
from .properties import STEP_TIME, settings_dict

# the plug-in's verdicts and the mesh check, computed again only when the
# settings or the mesh change (draw runs on every redraw)
_verdicts = {}
_checks = {}


def verdicts(props):
    key = tuple(sorted(settings_dict(props).items()))
    if key not in _verdicts:
        _verdicts.clear()
        _verdicts[key] = {v.key: v for v in bake.plugin().settings(dict(key)).verdicts}
    return _verdicts[key]


def mesh_problems(obj, mesh):
    key = (obj.name, mesh.fingerprint(), obj.tumelin.pin_group)
    if key not in _checks:
        _checks.clear()
        try:
            membrane, _ = bake.build_membrane(obj, mesh)
            _checks[key] = list(membrane.check().problems)
        except Exception as error:  # the kit refuses the mesh: say why
            _checks[key] = [str(error)]
    return _checks[key]


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
        try:
            judged = verdicts(props)
        except Exception as error:  # no plug-in: the panel says so and offers nothing
            layout.label(text=str(error), icon="ERROR")
            return
        for attribute, key in (("cloth_p", "ClothP"), ("cloth_c", "ClothC"), ("cloth_k0", "ClothK0"),
                               ("cloth_k1", "ClothK1"), ("cloth_method", "ClothMethod")):
            layout.prop(props, attribute)
            verdict = judged.get(key)
            if verdict is not None:
                layout.label(text=verdict.text, icon="INFO")

        layout.prop_search(props, "pin_group", obj, "vertex_groups")
        row = layout.row(align=True)
        row.prop(props, "frame_start")
        row.prop(props, "frame_end")
        layout.prop(props, "steps_per_frame")
        layout.label(text="%g time units per frame" % (props.steps_per_frame * STEP_TIME))

        mesh = bake.MeshData(obj)
        for problem in mesh_problems(obj, mesh):
            layout.label(text=problem, icon="ERROR")

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
