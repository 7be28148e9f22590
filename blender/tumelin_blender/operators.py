"""Bake, Free bake, Import INI and Export INI."""

import os

import bpy
from bpy_extras.io_utils import ExportHelper, ImportHelper

from . import bake
from .properties import settings_dict


def _mesh_object(context):
    obj = context.object
    return obj if obj is not None and obj.type == "MESH" else None


class TUMELIN_OT_bake(bpy.types.Operator):
    """Run the membrane from the start frame to the end frame into a point cache"""

    bl_idname = "tumelin.bake"
    bl_label = "Bake"

    _job = None
    _timer = None

    @classmethod
    def poll(cls, context):
        return _mesh_object(context) is not None

    def _start(self, context):
        try:
            return bake.BakeJob(_mesh_object(context))
        except Exception as error:  # a mesh the kit refuses, a missing plug-in
            self.report({"ERROR"}, str(error))
            return None

    def _end(self, job, cancelled=False):
        job.finish(cancelled)
        if job.message:
            self.report({"WARNING"}, job.message)
        return {"FINISHED"}

    # scripts and -b runs, where modal operators never run: the whole bake
    def execute(self, context):
        job = self._start(context)
        if job is None:
            return {"CANCELLED"}
        job.advance()
        return self._end(job)

    def _show_progress(self, context):
        """The progress as a bar in the status bar (and in the cursor)."""
        done, total = self._job.done, max(1, self._job.total)
        filled = 30 * done // total
        bar = "[" + "#" * filled + "-" * (30 - filled) + "]"
        context.workspace.status_text_set(
            "Tumelin bake %s frame %d of %d   Esc: stop and keep the frames baked" % (bar, done, total)
        )
        context.window_manager.progress_update(done)

    # the UI: a few frames per timer tick, a progress bar, Esc stops
    def invoke(self, context, event):
        if bpy.app.background:
            return self.execute(context)
        self._job = self._start(context)
        if self._job is None:
            return {"CANCELLED"}
        wm = context.window_manager
        wm.progress_begin(0, max(1, self._job.total))
        self._timer = wm.event_timer_add(0.01, window=context.window)
        wm.modal_handler_add(self)
        self._show_progress(context)
        return {"RUNNING_MODAL"}

    def modal(self, context, event):
        if event.type == "ESC":
            return self._close(context, cancelled=True)
        if event.type != "TIMER":
            return {"PASS_THROUGH"}
        complete = self._job.advance(budget=0.03)
        self._show_progress(context)
        return self._close(context) if complete else {"RUNNING_MODAL"}

    def _close(self, context, cancelled=False):
        wm = context.window_manager
        wm.event_timer_remove(self._timer)
        wm.progress_end()
        context.workspace.status_text_set(None)
        return self._end(self._job, cancelled)


class TUMELIN_OT_free_bake(bpy.types.Operator):
    """Remove the bake, its cache file and its modifier"""

    bl_idname = "tumelin.free_bake"
    bl_label = "Free bake"

    @classmethod
    def poll(cls, context):
        return _mesh_object(context) is not None

    def execute(self, context):
        bake.free_bake(_mesh_object(context))
        return {"FINISHED"}


class TUMELIN_OT_export_ini(bpy.types.Operator, ExportHelper):
    """Write [Setup] and [Membrane] (with the mesh as an OBJ beside it) for tumelin-host and the preview page"""

    bl_idname = "tumelin.export_ini"
    bl_label = "Export INI"
    filename_ext = ".ini"
    filter_glob: bpy.props.StringProperty(default="*.ini", options={"HIDDEN"})

    @classmethod
    def poll(cls, context):
        return _mesh_object(context) is not None

    def execute(self, context):
        tumelin = bake.tumelin_module()
        obj = _mesh_object(context)
        props = obj.tumelin
        path = bpy.path.abspath(self.filepath)
        mesh_name = os.path.splitext(os.path.basename(path))[0] + ".obj"
        bake.MeshData(obj).write_obj(os.path.join(os.path.dirname(path), mesh_name))
        pins = bake.pin_indices(obj, props.pin_group)
        record = bake.plugin().settings(settings_dict(props)).record
        frames = max(0, props.frame_end - props.frame_start)
        membrane_keys = {"Mesh": mesh_name, "Flip": "yes", "Steps": str(frames * props.steps_per_frame)}
        if pins:
            membrane_keys.update(Pin="points", PinPoints=",".join(str(i) for i in pins))
        tumelin.write_ini(path, record, membrane_keys)
        return {"FINISHED"}


class TUMELIN_OT_import_ini(bpy.types.Operator, ImportHelper):
    """Read [Setup] as the plug-in reads it, and the step count and point pins of [Membrane]"""

    bl_idname = "tumelin.import_ini"
    bl_label = "Import INI"
    filename_ext = ".ini"
    filter_glob: bpy.props.StringProperty(default="*.ini", options={"HIDDEN"})

    @classmethod
    def poll(cls, context):
        return _mesh_object(context) is not None

    def execute(self, context):
        tumelin = bake.tumelin_module()
        obj = _mesh_object(context)
        props = obj.tumelin
        path = bpy.path.abspath(self.filepath)
        try:
            record = bake.plugin().settings(ini=path).record
            _, membrane = tumelin.read_ini(path)
        except (OSError, tumelin.TumelinError) as error:
            self.report({"ERROR"}, str(error))
            return {"CANCELLED"}
        props.cloth_p, props.cloth_c = record["ClothP"], record["ClothC"]
        props.cloth_k0, props.cloth_k1 = record["ClothK0"], record["ClothK1"]
        props.cloth_t0 = record["ClothT0"]
        method = int(record["ClothMethod"])
        props.cloth_method = str(method) if method in (1, 2) else "0"
        steps = membrane.get("Steps", "").strip()
        if steps.isdigit():
            frames = -(-int(steps) // props.steps_per_frame)
            props.frame_end = props.frame_start + frames
        points = membrane.get("PinPoints", "").strip()
        pins = [int(p) for p in points.split(",")] if points else []
        if membrane.get("Pin", "").strip().lower() == "points" and pins != bake.pin_indices(
            obj, props.pin_group
        ):
            group = obj.vertex_groups.get("Tumelin pins") or obj.vertex_groups.new(name="Tumelin pins")
            group.remove(range(len(obj.data.vertices)))
            group.add(pins, 1.0, "REPLACE")
            props.pin_group = group.name
        return {"FINISHED"}


classes = (TUMELIN_OT_bake, TUMELIN_OT_free_bake, TUMELIN_OT_export_ini, TUMELIN_OT_import_ini)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)


def unregister():
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
