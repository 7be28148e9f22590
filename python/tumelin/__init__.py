"""Tumelin from Python: load the plug-in, build a membrane, judge settings, run it.

The package is a thin layer over two shared libraries that it loads with
ctypes: the plug-in ``Tumelin.kwt`` (called through its six entries) and the
host kit ``libtumelin_kit.so``, which builds membranes, checks them, judges
settings and steps them exactly as ``tumelin-host`` does, so the same mesh and
settings give the same state hash. numpy is used when it is installed
(positions and velocities as views, not copies) and never required.

    import tumelin
    plugin = tumelin.Plugin()
    settings = plugin.settings({"ClothP": 0.8})
    membrane = tumelin.Membrane.from_shape("sphere", columns=33, rows=17)
    sim = tumelin.Simulation(plugin, membrane, settings)
    sim.step(200)
    print(sim.figures()["volume"], sim.state_hash())
"""

import ctypes
from array import array
from itertools import chain
from pathlib import Path
from typing import Any, Callable, Dict, Iterable, List, NamedTuple, Optional, Sequence, Tuple, Union

from . import _native
from ._native import Diverged, MeshError, PluginNotFound, TumelinError

try:
    import numpy as _np
except ImportError:  # numpy is optional
    _np = None

__all__ = [
    "Plugin",
    "Settings",
    "Verdict",
    "Membrane",
    "MeshCheck",
    "Simulation",
    "read_ini",
    "write_ini",
    "TumelinError",
    "PluginNotFound",
    "MeshError",
    "Diverged",
]
__version__ = "1.0.0"

PathLike = Union[str, Path]
Vector = Tuple[float, float, float]

# the keys of section [Setup], as TClothSetup holds them
SETUP_KEYS = ("ClothP", "ClothC", "ClothK0", "ClothK1", "ClothT0", "ClothMethod")


class Verdict(NamedTuple):
    """One row of ``tumelin-host settings``: the text read for a key, what the
    plug-in stored and why; ``accepted`` says whether its rule took the text."""

    key: str
    text: Optional[str]  # None when the key had no text
    stored: str
    why: str
    accepted: bool = False


class Plugin:
    """The plug-in ``Tumelin.kwt``, loaded by path.

    Found, in order: ``path``, the ``TUMELIN_PLUGIN`` environment variable, the
    package's ``lib/`` folder, the repository's ``build/native/``. The kit
    library is found likewise (``TUMELIN_KIT``) or beside the plug-in.
    """

    def __init__(self, path: Optional[PathLike] = None, kit: Optional[PathLike] = None) -> None:
        self._handle = None
        where = _native.locate(_native.PLUGIN_FILE, "TUMELIN_PLUGIN", str(path) if path else None)
        beside = where.parent / _native.KIT_FILE
        self._kit = _native.kit(str(kit) if kit else (str(beside) if beside.is_file() else None))
        handle = ctypes.c_void_p()
        _native.check(self._kit.TumelinKitPluginLoad(str(where).encode(), ctypes.byref(handle)))
        self._handle = handle
        self.path = where

    def __del__(self) -> None:
        if getattr(self, "_handle", None):
            self._kit.TumelinKitPluginFree(self._handle)

    @property
    def name(self) -> str:
        """The plug-in's display name, "Tumelin,52"."""
        return _native.text(self._kit.TumelinKitPluginName(self._handle))

    def settings(self, values: Optional[Dict[str, Any]] = None, ini: Optional[PathLike] = None) -> "Settings":
        """Settings as the plug-in loads them through PluginExecZR71: section
        [Setup] of ``ini`` (if given) with ``values`` over it; keys neither
        gives keep the plug-in's defaults. Values are numbers or texts; a text
        is judged by the plug-in's rules as it stands."""
        return Settings(self, values or {}, ini)


class Settings:
    """What the plug-in stored for one set of settings, and its verdicts."""

    def __init__(self, plugin: Plugin, values: Dict[str, Any], ini: Optional[PathLike]) -> None:
        self._kit = plugin._kit
        self._handle = None
        keys = list(values)
        handle = ctypes.c_void_p()
        status = self._kit.TumelinKitSettingsLoad(
            plugin._handle,
            str(ini).encode() if ini else None,
            _native.texts(keys),
            _native.texts([_native.value_text(values[k]) for k in keys]),
            len(keys),
            ctypes.byref(handle),
        )
        _native.check(status, missing=TumelinError)
        self._handle = handle

    def __del__(self) -> None:
        if getattr(self, "_handle", None):
            self._kit.TumelinKitSettingsFree(self._handle)

    @property
    def record(self) -> Dict[str, Union[float, int]]:
        """Each key of section [Setup] and the value the plug-in stored for it."""
        stored = self._kit.TumelinKitSettingsRecord(self._handle).contents
        return {key: getattr(stored, key) for key in SETUP_KEYS}

    @property
    def verdicts(self) -> List[Verdict]:
        """The rows ``tumelin-host settings`` prints, in the order the plug-in reads the keys."""
        rows = []
        row = _native.Verdict()
        for i in range(self._kit.TumelinKitSettingsVerdictCount(self._handle)):
            _native.check(self._kit.TumelinKitSettingsVerdict(self._handle, i, ctypes.byref(row)))
            t = _native.text
            rows.append(
                Verdict(
                    t(row.key),
                    t(row.text) if row.present else None,
                    t(row.stored),
                    t(row.why),
                    bool(row.accepted),
                )
            )
        return rows

    @property
    def warnings(self) -> List[str]:
        """About the INI file and the values the plug-in did not take, as a run warns of them."""
        return _native.lines(self._kit.TumelinKitSettingsWarnings(self._handle))

    def ini_text(self) -> str:
        """Section [Setup] with every stored value, reals with an exponent and no decimal separator."""
        return _native.text(self._kit.TumelinKitSettingsIniText(self._handle))


class MeshCheck(NamedTuple):
    """What ``tumelin-host check`` finds in a membrane."""

    problems: List[str]  # one line each, as the check words them; empty when clean
    closed: bool  # no edge on one triangle only
    clean: bool
    inflates: bool  # a positive ClothP pushes it outwards
    points: int
    edges: int
    faces: int
    euler: int
    signed_volume: float  # < 0 when the triangles run clockwise seen from outside


def _flat(values: Any, typecode: str) -> Tuple[Any, int]:
    """A C array of the rows of `values` (n by 3, or flat) and its row count, without a copy for a fitting numpy array."""
    if _np is not None and hasattr(values, "__array__"):
        rows = _np.ascontiguousarray(values, dtype=_np.float64 if typecode == "d" else _np.int32)
        if rows.ndim > 2 or (rows.ndim == 2 and rows.shape[1] != 3):
            raise TumelinError(f"expected n by 3 values, not an array of shape {rows.shape}")
        flat = rows.reshape(-1)
    else:
        values = list(values)
        if values and isinstance(values[0], (int, float)):
            flat = array(typecode, values)
        else:
            flat = array(typecode, chain.from_iterable(values))
    if len(flat) % 3:
        raise TumelinError(f"expected 3 values per row, not {len(flat)} in all")
    return flat, len(flat) // 3


def _address(flat: Any) -> int:
    return flat.ctypes.data if _np is not None and isinstance(flat, _np.ndarray) else flat.buffer_info()[0]


class Membrane:
    """The host's records of one membrane: points, springs and triangles."""

    def __init__(self, handle: ctypes.c_void_p, owner: Any = None) -> None:
        self._kit = _native.kit()
        self._handle = handle
        self._owner = owner  # a simulation that owns this membrane, kept alive

    def __del__(self) -> None:
        if getattr(self, "_handle", None) and self._owner is None:
            self._kit.TumelinKitMembraneFree(self._handle)

    @classmethod
    def from_mesh(cls, vertices: Any, triangles: Any, winding: str = "auto") -> "Membrane":
        """A membrane from a triangle mesh: ``vertices`` n by 3 reals (or flat),
        ``triangles`` k by 3 indices into them. Points keep the vertices' order,
        every distinct edge becomes a spring, triangles faces. ``winding`` says
        how the triangles run seen from outside: "cw" (as the plug-in needs),
        "ccw" (Blender's and most files'; reversed here) or "auto" (reversed
        when the mesh encloses a negative volume)."""
        codes = {"cw": 0, "ccw": 1, "auto": 2}
        if winding not in codes:
            raise TumelinError(f"winding {winding!r}: cw, ccw or auto")
        points, n = _flat(vertices, "d")
        corners, k = _flat(triangles, "i")
        handle = ctypes.c_void_p()
        kit = _native.kit()
        _native.check(
            kit.TumelinKitMembraneFromMesh(
                _address(points), n, _address(corners), k, codes[winding], ctypes.byref(handle)
            )
        )
        return cls(handle)

    @classmethod
    def from_shape(cls, shape: str = "sphere", **options: Any) -> "Membrane":
        """A grid shape ("sphere", "torus", "sheet", "tube") sized by the
        membrane options of ``tumelin-host`` (``columns``, ``rows``, ``radius``,
        ``major_radius``, ``pin``, ``pin_points``, ``winding``, ...; snake_case
        or the camelCase of the options table); options not given take their
        defaults."""
        given = {"shape": shape}
        for key, value in options.items():
            head, *rest = key.split("_")
            given[head + "".join(word.capitalize() for word in rest)] = _native.value_text(value)
        return cls._from_options(given)

    @classmethod
    def _from_options(cls, given: Dict[str, str]) -> "Membrane":
        kit = _native.kit()
        handle = ctypes.c_void_p()
        keys = list(given)
        status = kit.TumelinKitMembraneFromOptions(
            _native.texts(keys), _native.texts([given[k] for k in keys]), len(keys), ctypes.byref(handle)
        )
        _native.check(status)
        return cls(handle)

    @classmethod
    def from_file(cls, path: PathLike, flip: bool = False) -> "Membrane":
        """A membrane from an OBJ file (its triangles reversed with ``flip``), or
        from an INI file's section [Membrane], as ``tumelin-host`` reads them."""
        kit = _native.kit()
        handle = ctypes.c_void_p()
        status = kit.TumelinKitMembraneFromFile(str(path).encode(), int(flip), ctypes.byref(handle))
        _native.check(status, missing=MeshError)
        return cls(handle)

    @property
    def point_count(self) -> int:
        return self._kit.TumelinKitMembranePointCount(self._handle)

    @property
    def face_count(self) -> int:
        return self._kit.TumelinKitMembraneFaceCount(self._handle)

    def _points(self) -> "ctypes.Array[_native.TClothPoint]":
        first = self._kit.TumelinKitMembranePoints(self._handle)
        return ctypes.cast(first, ctypes.POINTER(_native.TClothPoint * self.point_count)).contents

    @property
    def positions(self) -> List[Vector]:
        """Every point's position, in point order (a copy)."""
        return [(p.Pos.X, p.Pos.Y, p.Pos.Z) for p in self._points()] if self.point_count else []

    @property
    def pinned(self) -> List[int]:
        """The pinned points, ascending."""
        return [i for i, p in enumerate(self._points()) if p.Fixed] if self.point_count else []

    def pin(self, indices: Iterable[int]) -> None:
        """Pins these points; an index the membrane does not have pins nothing and raises."""
        chosen = array("i", indices)
        _native.check(
            self._kit.TumelinKitMembranePin(
                self._handle,
                ctypes.cast(chosen.buffer_info()[0], ctypes.POINTER(ctypes.c_int32)),
                len(chosen),
            )
        )

    def pin_where(self, predicate: Callable[[int, Vector], bool]) -> int:
        """Pins every point for which ``predicate(index, (x, y, z))`` is true; returns how many."""
        chosen = [i for i, xyz in enumerate(self.positions) if predicate(i, xyz)]
        self.pin(chosen)
        return len(chosen)

    def pin_below(self, z: float) -> int:
        """Pins every point whose z is at most ``z``; returns how many."""
        return self._kit.TumelinKitMembranePinBelow(self._handle, float(z))

    def check(self) -> MeshCheck:
        """The mesh check of ``tumelin-host check``."""
        found = _native.MeshCheck()
        problems = _native.lines(self._kit.TumelinKitMembraneCheck(self._handle, ctypes.byref(found)))
        return MeshCheck(
            problems,
            bool(found.closed),
            bool(found.clean),
            bool(found.inflates),
            found.points,
            found.edges,
            found.faces,
            found.euler,
            found.signedVolume,
        )

    def state_hash(self) -> str:
        """The state hash of the points as they stand, 16 hexadecimal digits."""
        return _native.text(self._kit.TumelinKitMembraneHash(self._handle))

    def write_obj(self, path: PathLike) -> None:
        """Writes the membrane as OBJ with every digit: vertex i + 1 is point i,
        faces as wound here, so ``tumelin-host run --mesh`` reads back the same membrane."""
        _native.check(self._kit.TumelinKitMembraneWriteObj(self._handle, str(path).encode()))


class Simulation:
    """A run of a copy of a membrane with settings, stepped through the plug-in."""

    def __init__(self, plugin: Plugin, membrane: Membrane, settings: Settings) -> None:
        self._kit = plugin._kit
        self._handle = None
        self._plugin = plugin  # must outlive the run
        handle = ctypes.c_void_p()
        status = self._kit.TumelinKitSimulationNew(
            plugin._handle, membrane._handle, settings._handle, ctypes.byref(handle)
        )
        _native.check(status)
        self._handle = handle
        self._count = membrane.point_count
        self._views: Dict[int, Any] = {}

    def __del__(self) -> None:
        if getattr(self, "_handle", None):
            self._kit.TumelinKitSimulationFree(self._handle)

    def step(
        self,
        n: int = 1,
        progress: Optional[Callable[[int, int], None]] = None,
        cancel: Optional[Callable[[], bool]] = None,
    ) -> int:
        """Runs up to ``n`` steps of 0.005 time units; returns the steps done.

        ``progress(done, n)`` is called after each step, and ``cancel()``
        returning true stops after the current one. Raises ``Diverged`` with
        the host's message when the run diverges; every later call raises it
        again (the state stays as it diverged). A call of several steps checks
        the state after its last step and, only when that fails, steps again
        from its start to name the step, so ``progress`` may have been told of
        steps past it."""
        done = ctypes.c_int64()
        raised: List[BaseException] = []
        callback = ctypes.cast(None, _native.PROGRESS)
        if progress is not None or cancel is not None:

            def report(count: int, total: int, _context: Any) -> int:
                try:
                    if progress is not None:
                        progress(count, total)
                    return 1 if cancel is not None and cancel() else 0
                except BaseException as e:  # stop, and raise it here after the call
                    raised.append(e)
                    return 1

            callback = _native.PROGRESS(report)
        status = self._kit.TumelinKitSimulationStep(self._handle, int(n), callback, None, ctypes.byref(done))
        if raised:
            raise raised[0]
        if status == _native.DIVERGED:
            raise Diverged(self.steps_done, _native.text(self._kit.TumelinKitLastError()))
        _native.check(status)
        return done.value

    @property
    def steps_done(self) -> int:
        return self._kit.TumelinKitSimulationStepsDone(self._handle)

    def _view(self, which: int) -> Any:
        stride = ctypes.c_int32()
        first = self._kit.TumelinKitSimulationVectors(self._handle, which, ctypes.byref(stride))
        if _np is None:
            doubles = stride.value // 8
            flat = ctypes.cast(
                first, ctypes.POINTER(ctypes.c_double * (doubles * (self._count - 1) + 3))
            ).contents
            return [tuple(flat[i * doubles : i * doubles + 3]) for i in range(self._count)]
        if which not in self._views:
            size = stride.value * (self._count - 1) + 24
            memory = (ctypes.c_char * size).from_address(ctypes.addressof(first.contents))
            memory._owner = self  # the view keeps the run's records alive
            view = _np.ndarray((self._count, 3), dtype=_np.float64, buffer=memory, strides=(stride.value, 8))
            view.flags.writeable = False  # the run's own records: move points through sim.membrane
            self._views[which] = view
        return self._views[which]

    @property
    def positions(self) -> Any:
        """Every point's position: a numpy (n, 3) float64 read-only view that
        follows the run when numpy is installed, else a list of (x, y, z)
        tuples (a copy)."""
        return self._view(0) if self._count else []

    @property
    def velocities(self) -> Any:
        """Every point's velocity, as ``positions``."""
        return self._view(1) if self._count else []

    def _into(self, which: int, buffer: Any) -> Any:
        view = memoryview(buffer)
        if view.format != "f" or view.nbytes != 12 * self._count or not view.contiguous:
            raise TumelinError(f"the buffer must be {3 * self._count} contiguous float32 values")
        target = (ctypes.c_float * (3 * self._count)).from_buffer(buffer)
        _native.check(self._kit.TumelinKitSimulationCopy(self._handle, which, target, 3 * self._count))
        return buffer

    def positions_into(self, buffer: Any) -> Any:
        """Fills a flat float32 buffer of 3n values (``array('f')`` or numpy
        float32) with the positions in one call, for ``foreach_set``; returns it."""
        return self._into(0, buffer)

    def velocities_into(self, buffer: Any) -> Any:
        """As ``positions_into``, with the velocities."""
        return self._into(1, buffer)

    def figures(self) -> Dict[str, Any]:
        """volume, area, max_speed, mean_radius, mean_height, kinetic_energy,
        max_stretch, max_compression and step; ``figure`` names the shape's own
        figure and ``figure_value`` gives it."""
        f = _native.Figures()
        self._kit.TumelinKitSimulationFigures(self._handle, ctypes.byref(f))
        return {
            "step": f.step,
            "volume": f.volume,
            "area": f.area,
            "max_speed": f.maxSpeed,
            "mean_radius": f.meanRadius,
            "mean_height": f.meanHeight,
            "kinetic_energy": f.kineticEnergy,
            "max_stretch": f.maxStretch,
            "max_compression": f.maxCompression,
            "figure": _native.text(f.figure),
            "figure_value": f.figureValue,
        }

    def warnings(self) -> List[str]:
        """What ``tumelin-host run`` warns of before it starts, one line each."""
        return _native.lines(self._kit.TumelinKitSimulationWarnings(self._handle))

    @property
    def membrane(self) -> Membrane:
        """The membrane as it stands now (owned by the run): check it, hash it, write it."""
        return Membrane(self._kit.TumelinKitSimulationMembrane(self._handle), owner=self)

    def state_hash(self) -> str:
        """The state hash, as ``tumelin-host run --hash`` prints it after "hash "."""
        return self.membrane.state_hash()

    def write_obj(self, path: PathLike) -> None:
        """The membrane as it stands, as ``Membrane.write_obj`` writes it."""
        self.membrane.write_obj(path)


def _ini_lines(path: PathLike) -> List[str]:
    data = Path(path).read_bytes()
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data.decode("utf-16").splitlines()
    return data.decode("utf-8-sig", errors="replace").splitlines()


def read_ini(path: PathLike) -> Tuple[Dict[str, str], Dict[str, str]]:
    """Sections [Setup] and [Membrane] of an INI file as texts, read as the
    plug-in reads them: names in any letter case, the first of a section or a
    key counts, a value's enclosing quotes dropped."""
    sections: Dict[str, Dict[str, str]] = {"setup": {}, "membrane": {}}
    seen = set()
    current: Optional[Dict[str, str]] = None
    for raw in _ini_lines(path):
        line = raw.strip()
        if line.startswith("["):
            name = line[1 : line.find("]")].strip().lower() if "]" in line else ""
            current = sections.get(name) if name not in seen else None
            seen.add(name)
        elif current is not None and "=" in line and not line.startswith(";"):
            key, value = (part.strip() for part in line.split("=", 1))
            if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
                value = value[1:-1]
            if key and key.lower() not in (k.lower() for k in current):
                current[key] = value
    return sections["setup"], sections["membrane"]


def write_ini(path: PathLike, setup: Dict[str, Any], membrane: Optional[Dict[str, Any]] = None) -> None:
    """Writes [Setup] and [Membrane] as tumelin-host's scene files do (CR LF, reals
    with an exponent and no decimal separator, which every locale reads alike)."""
    out = []
    for name, values in (("Setup", setup), ("Membrane", membrane or {})):
        if values or name == "Setup":
            out.append(("\r\n" if out else "") + f"[{name}]\r\n")
            out.extend(f"{key}={_native.value_text(value)}\r\n" for key, value in values.items())
    Path(path).write_bytes("".join(out).encode("utf-8"))
