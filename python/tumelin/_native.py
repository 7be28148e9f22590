"""Finding and binding the two shared libraries: the plug-in Tumelin.kwt and
the host kit libtumelin_kit.so (include/tumelin/kit.h), through ctypes."""

import ctypes
import numbers
import os
from pathlib import Path
from typing import List, Optional

PLUGIN_FILE = "Tumelin.kwt"
KIT_FILE = "libtumelin_kit.so"

OK, BAD_ARGUMENT, NOT_FOUND, MESH_ERROR, DIVERGED, FAILED = range(6)


class TumelinError(Exception):
    """Base of every error the package raises."""


class PluginNotFound(TumelinError):
    """The plug-in or the kit library could not be found or loaded."""


class MeshError(TumelinError):
    """A mesh, a shape's options or a pinning that builds no membrane; the message is tumelin-host's."""


class Diverged(TumelinError):
    """The run diverged: `step` is the step at which it did, `message` the host's words for it."""

    def __init__(self, step: int, message: str) -> None:
        super().__init__(message)
        self.step = step
        self.message = message


def candidates(name: str, variable: str, given: Optional[str]) -> List[Path]:
    """Where a library is looked for, in order: the path given, the environment
    variable, the package's lib/ folder, the repository's native build."""
    found: List[Path] = []
    if given:
        found.append(Path(given))
    if os.environ.get(variable):
        found.append(Path(os.environ[variable]))
    here = Path(__file__).resolve().parent
    found.append(here / "lib" / name)
    found.append(here.parent.parent / "build" / "native" / name)
    return found


def locate(name: str, variable: str, given: Optional[str]) -> Path:
    tried = candidates(name, variable, given)
    if given:
        tried = tried[:1]
    for path in tried:
        if path.is_file():
            return path
    raise PluginNotFound(
        f"{name} not found; tried " + ", ".join(str(p) for p in tried) + f" (set {variable} or pass a path)"
    )


class TDbl3D(ctypes.Structure):
    _fields_ = [("X", ctypes.c_double), ("Y", ctypes.c_double), ("Z", ctypes.c_double)]


class TClothPoint(ctypes.Structure):
    _fields_ = [
        ("Pos", TDbl3D),
        ("NewPos", TDbl3D),
        ("Vel", TDbl3D),
        ("NewVel", TDbl3D),
        ("Fixed", ctypes.c_uint8),
        ("LinkCount", ctypes.c_int32),
        ("Links", ctypes.c_void_p),
        ("Faces", ctypes.c_void_p),
    ]


class TClothSetup(ctypes.Structure):
    _fields_ = [
        ("ClothP", ctypes.c_double),
        ("ClothK0", ctypes.c_double),
        ("ClothK1", ctypes.c_double),
        ("ClothC", ctypes.c_double),
        ("ClothT0", ctypes.c_int32),
        ("ClothMethod", ctypes.c_int32),
    ]


class Verdict(ctypes.Structure):
    _fields_ = [
        ("key", ctypes.c_char_p),
        ("present", ctypes.c_int32),
        ("accepted", ctypes.c_int32),
        ("text", ctypes.c_char_p),
        ("stored", ctypes.c_char_p),
        ("why", ctypes.c_char_p),
    ]


class MeshCheck(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_int32)
        for name in (
            "points",
            "edges",
            "faces",
            "euler",
            "expectedEuler",
            "openEdges",
            "nonManifoldEdges",
            "misorientedEdges",
            "degenerateFaces",
            "isolatedPoints",
            "pinnedPoints",
            "closed",
            "clean",
            "inflates",
        )
    ] + [("signedVolume", ctypes.c_double), ("longestSpring", ctypes.c_double)]


class Figures(ctypes.Structure):
    _fields_ = (
        [("step", ctypes.c_int64)]
        + [
            (name, ctypes.c_double)
            for name in (
                "volume",
                "area",
                "meanRadius",
                "meanHeight",
                "maxSpeed",
                "kineticEnergy",
                "maxStretch",
                "maxCompression",
            )
        ]
        + [("figure", ctypes.c_char_p), ("figureValue", ctypes.c_double)]
    )


PROGRESS = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_int64, ctypes.c_int64, ctypes.c_void_p)

_P = ctypes.c_void_p
_S = ctypes.c_char_p
_I = ctypes.c_int32
_TEXTS = ctypes.POINTER(ctypes.c_char_p)
# name: (result, arguments)
_SIGNATURES = {
    "TumelinKitLastError": (_S, []),
    "TumelinKitFormatReal": (_I, [ctypes.c_double, _S, _I]),
    "TumelinKitPluginLoad": (_I, [_S, ctypes.POINTER(_P)]),
    "TumelinKitPluginFree": (None, [_P]),
    "TumelinKitPluginName": (_S, [_P]),
    "TumelinKitSettingsLoad": (_I, [_P, _S, _TEXTS, _TEXTS, _I, ctypes.POINTER(_P)]),
    "TumelinKitSettingsFree": (None, [_P]),
    "TumelinKitSettingsRecord": (ctypes.POINTER(TClothSetup), [_P]),
    "TumelinKitSettingsVerdictCount": (_I, [_P]),
    "TumelinKitSettingsVerdict": (_I, [_P, _I, ctypes.POINTER(Verdict)]),
    "TumelinKitSettingsWarnings": (_S, [_P]),
    "TumelinKitSettingsIniText": (_S, [_P]),
    "TumelinKitMembraneFromMesh": (_I, [_P, _I, _P, _I, _I, ctypes.POINTER(_P)]),
    "TumelinKitMembraneFromOptions": (_I, [_TEXTS, _TEXTS, _I, ctypes.POINTER(_P)]),
    "TumelinKitMembraneFromFile": (_I, [_S, _I, ctypes.POINTER(_P)]),
    "TumelinKitMembraneFree": (None, [_P]),
    "TumelinKitMembranePointCount": (_I, [_P]),
    "TumelinKitMembraneFaceCount": (_I, [_P]),
    "TumelinKitMembranePoints": (ctypes.POINTER(TClothPoint), [_P]),
    "TumelinKitMembraneRecords": (None, [_P, ctypes.POINTER(_P), ctypes.POINTER(_P)]),
    "TumelinKitMembranePin": (_I, [_P, ctypes.POINTER(_I), _I]),
    "TumelinKitMembranePinBelow": (_I, [_P, ctypes.c_double]),
    "TumelinKitMembraneHash": (_S, [_P]),
    "TumelinKitMembraneWriteObj": (_I, [_P, _S]),
    "TumelinKitMembraneCheck": (_S, [_P, ctypes.POINTER(MeshCheck)]),
    "TumelinKitSimulationNew": (_I, [_P, _P, _P, ctypes.POINTER(_P)]),
    "TumelinKitSimulationFree": (None, [_P]),
    "TumelinKitSimulationStep": (_I, [_P, ctypes.c_int64, PROGRESS, _P, ctypes.POINTER(ctypes.c_int64)]),
    "TumelinKitSimulationStepsDone": (ctypes.c_int64, [_P]),
    "TumelinKitSimulationMembrane": (_P, [_P]),
    "TumelinKitSimulationVectors": (ctypes.POINTER(ctypes.c_double), [_P, _I, ctypes.POINTER(_I)]),
    "TumelinKitSimulationCopy": (_I, [_P, _I, _P, ctypes.c_int64]),
    "TumelinKitSimulationFigures": (None, [_P, ctypes.POINTER(Figures)]),
    "TumelinKitSimulationWarnings": (_S, [_P]),
}

_kit: Optional[ctypes.CDLL] = None


def kit(path: Optional[str] = None) -> ctypes.CDLL:
    """The kit library, loaded once per process (from `path` the first time if given)."""
    global _kit
    if _kit is None:
        where = locate(KIT_FILE, "TUMELIN_KIT", path)
        try:
            library = ctypes.CDLL(str(where))
        except OSError as e:
            raise PluginNotFound(f"{where}: {e}") from e
        for name, (result, arguments) in _SIGNATURES.items():
            function = getattr(library, name)
            function.restype = result
            function.argtypes = arguments
        _kit = library
    return _kit


def text(value: Optional[bytes]) -> str:
    return value.decode("utf-8") if value else ""


def lines(value: Optional[bytes]) -> List[str]:
    return text(value).splitlines()


def check(status: int, missing: type = PluginNotFound) -> None:
    """Raises the error a status stands for, with the kit's message; `missing`
    is the error for a file not found."""
    if status == OK:
        return
    message = text(kit().TumelinKitLastError())
    if status == NOT_FOUND:
        raise missing(message)
    if status == MESH_ERROR:
        raise MeshError(message)
    raise TumelinError(message)


def texts(values: List[str]) -> "ctypes.Array[ctypes.c_char_p]":
    return (ctypes.c_char_p * max(len(values), 1))(*[v.encode("utf-8") for v in values])


def real_text(value: float) -> str:
    """`value` without a decimal separator ("8e-1"): every locale reads it back to the same bits."""
    buffer = ctypes.create_string_buffer(64)
    kit().TumelinKitFormatReal(float(value), buffer, len(buffer))
    return buffer.value.decode("ascii")


def value_text(value: object) -> str:
    """A setting or option value as the INI file and the command line spell it."""
    if isinstance(value, bool):
        return "yes" if value else "no"
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):  # numpy's reals too: never with a locale's separator
        return real_text(float(value))
    if isinstance(value, (list, tuple)):
        return ",".join(str(int(v)) for v in value)
    return str(value)
