"""From a mesh object to a membrane and from a running simulation to a point
cache: the mesh is read in bulk, moved to world space (gravity is -Z in the
world), stepped by the plug-in and written back in the object's own space as
PC2 frames that a Mesh Cache modifier plays."""

import array
import hashlib
import os
import struct
import time

import bpy

try:
    import numpy
except ImportError:  # Blender's Python may come without it
    numpy = None

from .properties import settings_dict

CACHE_MODIFIER = "Tumelin cache"

_plugin = None


def tumelin_module():
    import tumelin

    return tumelin


def plugin():
    """The plug-in, loaded once per Blender session."""
    global _plugin
    if _plugin is None:
        _plugin = tumelin_module().Plugin()
    return _plugin


def _filled(typecode, count, collection, attribute):
    buffer = array.array(typecode, bytes(array.array(typecode).itemsize * count))
    collection.foreach_get(attribute, buffer)
    return buffer


class MeshData:
    """An object's own mesh (not what its modifiers make of it) as flat
    arrays: float32 coordinates, polygon starts and sizes, loop vertices."""

    def __init__(self, obj):
        mesh = obj.data
        self.count = len(mesh.vertices)
        self.co = _filled("f", 3 * self.count, mesh.vertices, "co")
        self.starts = _filled("i", len(mesh.polygons), mesh.polygons, "loop_start")
        self.sizes = _filled("i", len(mesh.polygons), mesh.polygons, "loop_total")
        self.loops = _filled("i", len(mesh.loops), mesh.loops, "vertex_index")
        self.matrix = [[float(obj.matrix_world[i][j]) for j in range(4)] for i in range(4)]
        self._digest = None

    def triangles(self):
        """Every polygon split into a fan from its first corner, as Blender
        splits a quad and tumelin-host an OBJ face; counter-clockwise seen
        from outside, as Blender winds them."""
        loops = self.loops
        out = []
        for start, size in zip(self.starts, self.sizes):
            first = loops[start]
            for k in range(start + 1, start + size - 1):
                out.append((first, loops[k], loops[k + 1]))
        return out

    def write_obj(self, path):
        """The mesh in world space as OBJ: every digit of each coordinate
        (repr reads back to the same double), the polygons as Blender winds
        them, so tumelin-host reads it with Flip=yes to the membrane a bake
        runs."""
        world = self.world()
        rows = world.tolist() if numpy is not None else world
        with open(path, "w", encoding="utf-8") as out:
            out.write("# Tumelin membrane from Blender: world space, counter-clockwise seen from outside\n")
            out.writelines("v %r %r %r\n" % tuple(row) for row in rows)
            loops = self.loops
            for start, size in zip(self.starts, self.sizes):
                out.write("f " + " ".join(str(loops[k] + 1) for k in range(start, start + size)) + "\n")

    def is_identity(self):
        return self.matrix == [[1.0 if i == j else 0.0 for j in range(4)] for i in range(4)]

    def world(self):
        """The vertices in world space, in double precision."""
        return transform(self.co, self.matrix)

    def fingerprint(self):
        """A digest of the coordinates, the polygons and the transform."""
        if self._digest is None:
            digest = hashlib.blake2b(digest_size=16)
            for part in (self.co, self.sizes, self.loops):
                digest.update(part.tobytes())
            digest.update(repr(self.matrix).encode())
            self._digest = digest.hexdigest()
        return self._digest


def transform(points, m):
    """points (flat x, y, z, ...) times the affine matrix m, each row summed
    left to right in double precision, so that both paths give the same bits."""
    if numpy is not None:
        p = numpy.asarray(points, dtype=numpy.float64).reshape(-1, 3)
        out = numpy.empty_like(p)
        for i in range(3):
            out[:, i] = p[:, 0] * m[i][0] + p[:, 1] * m[i][1] + p[:, 2] * m[i][2] + m[i][3]
        return out
    it = iter(points)
    return [
        tuple(x * m[i][0] + y * m[i][1] + z * m[i][2] + m[i][3] for i in range(3))
        for x, y, z in zip(it, it, it)
    ]


def inverse_affine(m):
    """The inverse of an affine 4x4 matrix (rotation, scale, translation)."""
    (a, b, c), (d, e, f), (g, h, k) = (m[i][:3] for i in range(3))
    det = a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g)
    if det == 0.0:
        raise ValueError("the object's transform is flat (a scale of zero)")
    r = [
        [(e * k - f * h) / det, (c * h - b * k) / det, (b * f - c * e) / det],
        [(f * g - d * k) / det, (a * k - c * g) / det, (c * d - a * f) / det],
        [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det],
    ]
    t = [m[i][3] for i in range(3)]
    rows = [r[i] + [-(r[i][0] * t[0] + r[i][1] * t[1] + r[i][2] * t[2])] for i in range(3)]
    return rows + [[0.0, 0.0, 0.0, 1.0]]


def pin_indices(obj, group_name):
    """The vertices of a vertex group with a weight above zero."""
    group = obj.vertex_groups.get(group_name) if group_name else None
    if group is None:
        return []
    index = group.index
    return [v.index for v in obj.data.vertices if any(g.group == index and g.weight > 0.0 for g in v.groups)]


def build_membrane(obj, mesh=None):
    """The membrane of an object: its mesh in world space, Blender's
    counter-clockwise winding declared, pins from its vertex group."""
    tumelin = tumelin_module()
    mesh = mesh or MeshData(obj)
    membrane = tumelin.Membrane.from_mesh(mesh.world(), mesh.triangles(), winding="ccw")
    pins = pin_indices(obj, obj.tumelin.pin_group)
    if pins:
        membrane.pin(pins)
    return membrane, pins


def fingerprint(obj, mesh=None):
    """What a bake is made from: the mesh, its transform and the settings."""
    props = obj.tumelin
    mesh = mesh or MeshData(obj)
    inputs = (
        settings_dict(props),
        props.pin_group,
        props.frame_start,
        props.frame_end,
        props.steps_per_frame,
    )
    return mesh.fingerprint() + hashlib.blake2b(repr(inputs).encode(), digest_size=8).hexdigest()


class PointCache:
    """A PC2 file written frame by frame; the header's frame count is
    rewritten after each batch, so the file is whole wherever a bake stops."""

    HEADER = struct.Struct("<12siiffi")

    def __init__(self, path, points, start_frame):
        self.points = points
        self.start_frame = float(start_frame)
        self.samples = 0
        self.file = open(path, "wb")
        self.commit()

    def append(self, frame):
        self.file.write(frame)
        self.samples += 1

    def commit(self):
        self.file.seek(0)
        self.file.write(
            self.HEADER.pack(b"POINTCACHE2\0", 1, self.points, self.start_frame, 1.0, self.samples)
        )
        self.file.seek(0, os.SEEK_END)
        self.file.flush()

    def close(self):
        self.commit()
        self.file.close()


def cache_path(obj):
    """Beside the .blend (a // path that survives a moved folder), or in
    Blender's temporary folder while the file has never been saved."""
    name = "tumelin_%s.pc2" % bpy.path.clean_name(obj.name)
    if bpy.data.filepath:
        return "//" + name
    return os.path.join(bpy.app.tempdir, name)


def attach_cache(obj, path, frame_start):
    """The Mesh Cache modifier that plays the bake, first in the stack so
    that it replaces the mesh's own coordinates; it needs no add-on."""
    modifier = obj.modifiers.get(CACHE_MODIFIER)
    if modifier is None:
        modifier = obj.modifiers.new(CACHE_MODIFIER, "MESH_CACHE")
    # moved before it names the file, so it never reads the cache after
    # modifiers that change the vertex count
    if obj.modifiers[0] != modifier:
        with bpy.context.temp_override(object=obj):
            bpy.ops.object.modifier_move_to_index(modifier=modifier.name, index=0)
    modifier.cache_format = "PC2"
    modifier.filepath = path
    modifier.deform_mode = "OVERWRITE"
    modifier.play_mode = "SCENE"
    modifier.time_mode = "FRAME"
    modifier.frame_start = frame_start
    modifier.frame_scale = 1.0
    modifier.interpolation = "LINEAR"
    return modifier


def free_bake(obj):
    props = obj.tumelin
    modifier = obj.modifiers.get(CACHE_MODIFIER)
    if modifier is not None:
        obj.modifiers.remove(modifier)
    if props.cache_path:
        path = bpy.path.abspath(props.cache_path)
        if os.path.isfile(path):
            os.remove(path)
    props.cache_path = ""
    props.baked_frames = 0
    props.bake_fingerprint = ""
    props.bake_message = ""
    props.bake_hash = ""


class BakeJob:
    """One bake, advanced a few frames at a time: frame_start shows the rest
    shape, each later frame steps_per_frame plug-in steps more."""

    def __init__(self, obj):
        tumelin = tumelin_module()
        props = obj.tumelin
        self.obj = obj
        mesh = MeshData(obj)
        self.fingerprint = fingerprint(obj, mesh)
        membrane, _ = build_membrane(obj, mesh)
        self.sim = tumelin.Simulation(plugin(), membrane, plugin().settings(settings_dict(props)))
        self.steps_per_frame = props.steps_per_frame
        self.frame_start = props.frame_start
        self.total = max(0, props.frame_end - props.frame_start)
        self.done = 0
        self.message = ""
        self.diverged = False
        self.inverse = None if mesh.is_identity() else inverse_affine(mesh.matrix)
        self.buffer = array.array("f", bytes(12 * mesh.count))
        free_bake(obj)
        self.path = cache_path(obj)
        self.cache = PointCache(bpy.path.abspath(self.path), mesh.count, self.frame_start)
        # the rest frame is the mesh itself, bit for bit
        self.cache.append(mesh.co.tobytes())
        self.cache.commit()

    def frame_data(self):
        """The current positions in the object's space, as float32 bytes."""
        if self.inverse is None:
            self.sim.positions_into(self.buffer)
            return self.buffer.tobytes()
        positions = self.sim.positions
        if numpy is not None:
            return (
                transform(numpy.asarray(positions).reshape(-1), self.inverse).astype(numpy.float32).tobytes()
            )
        flat = [c for point in transform([c for p in positions for c in p], self.inverse) for c in point]
        return array.array("f", flat).tobytes()

    def advance(self, budget=None):
        """Bakes frames until all are done or budget seconds have passed;
        True when the bake is complete (or stopped by a divergence)."""
        began = time.perf_counter()
        while self.done < self.total:
            try:
                self.sim.step(self.steps_per_frame)
            except tumelin_module().Diverged as error:
                self.message = "stopped at frame %d: %s" % (self.frame_start + self.done + 1, error)
                self.total = self.done
                self.diverged = True
                break
            self.cache.append(self.frame_data())
            self.done += 1
            if budget is not None and time.perf_counter() - began >= budget:
                break
        self.cache.commit()
        return self.done >= self.total

    def finish(self, cancelled=False):
        """Closes the cache and attaches it; a cancelled bake keeps the
        frames it completed."""
        self.cache.close()
        props = self.obj.tumelin
        props.cache_path = self.path
        props.baked_frames = self.done + 1
        props.bake_fingerprint = self.fingerprint
        if cancelled and not self.message:
            self.message = "cancelled after frame %d" % (self.frame_start + self.done)
        props.bake_message = self.message
        # a diverged state is past the last frame the cache holds
        props.bake_hash = "" if self.diverged else self.sim.state_hash()
        attach_cache(self.obj, self.path, self.frame_start)
