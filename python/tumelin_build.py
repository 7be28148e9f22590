"""A build backend for pip with nothing to download: the package is pure Python
beside two shared libraries, so a wheel is a zip of them and its metadata."""

import base64
import hashlib
import io
import os
import re
import sysconfig
import tarfile
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
NAME = "tumelin"
LIBRARIES = ("Tumelin.kwt", "libtumelin_kit.so")
VERSION = re.search(r'__version__ = "([^"]+)"', (HERE / NAME / "__init__.py").read_text()).group(1)
METADATA = f"""Metadata-Version: 2.1
Name: {NAME}
Version: {VERSION}
Summary: Tumelin membranes from Python: the plug-in and the host kit through ctypes
License: see LICENSE in the Tumelin archive
Requires-Python: >=3.8
Provides-Extra: numpy
Requires-Dist: numpy; extra == "numpy"
"""


def _libraries():
    """The two libraries: the package's own lib/ (the archive), else a build folder."""
    for folder in (
        HERE / NAME / "lib",
        Path(os.environ.get("TUMELIN_BUILD_DIR", HERE.parent / "build" / "native")),
    ):
        if all((folder / name).is_file() for name in LIBRARIES):
            return [folder / name for name in LIBRARIES]
    return []


def _files():
    """(name in the wheel, source path) of every file the package ships."""
    files = [
        (f"{NAME}/{p.name}", p) for p in sorted((HERE / NAME).iterdir()) if p.suffix in (".py", ".typed")
    ]
    return files + [(f"{NAME}/lib/{p.name}", p) for p in _libraries()]


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}\n"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    files = _files()
    shipped = any(name.startswith(f"{NAME}/lib/") for name, _ in files)
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_") if shipped else "any"
    tag = f"py3-none-{platform}"
    info = f"{NAME}-{VERSION}.dist-info"
    wheel = f"{NAME}-{VERSION}-{tag}.whl"
    extra = {
        f"{info}/METADATA": METADATA.encode(),
        f"{info}/WHEEL": f"Wheel-Version: 1.0\nGenerator: tumelin_build\nRoot-Is-Purelib: {str(not shipped).lower()}\nTag: {tag}\n".encode(),
    }
    record = ""
    with zipfile.ZipFile(Path(wheel_directory) / wheel, "w", zipfile.ZIP_DEFLATED) as z:
        for name, path in files:
            data = path.read_bytes()
            info_entry = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info_entry.external_attr = (0o755 if name.startswith(f"{NAME}/lib/") else 0o644) << 16
            z.writestr(info_entry, data, zipfile.ZIP_DEFLATED)
            record += _record_line(name, data)
        for name, data in extra.items():
            z.writestr(name, data)
            record += _record_line(name, data)
        z.writestr(f"{info}/RECORD", record + f"{info}/RECORD,,\n")
    return wheel


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{VERSION}"
    sdist = f"{base}.tar.gz"
    with tarfile.open(Path(sdist_directory) / sdist, "w:gz") as tar:
        for name, path in _files():
            tar.add(path, f"{base}/{name}")
        for extra in ("pyproject.toml", "tumelin_build.py"):
            tar.add(HERE / extra, f"{base}/{extra}")
        data = METADATA.encode()
        entry = tarfile.TarInfo(f"{base}/PKG-INFO")
        entry.size = len(data)
        tar.addfile(entry, io.BytesIO(data))
    return sdist
