#!/usr/bin/env bash
# Packs the build tree's archive with CPack, unpacks it into a fresh folder
# and checks it as a user gets it:
#   archive_test.sh BUILD_DIR WORK_DIR linux|windows [RUN_32BIT]
# the file list is exactly the one below (the browser preview included, so
# the web preset builds before the archive is packed); the packaged tumelin-host (the
# Windows one under wine) on the packaged plug-in ends every example of the
# folder with the build tree's hash; on Linux the packaged SDK
# builds its example host with find_package(Tumelin), which then runs.
set -u
BUILD=$1 WORK=$2 KIND=$3 RUN_32BIT=${4:-}
export LC_ALL=C
source "$(dirname "$0")/../support/checks.sh" "$WORK"

cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/package" >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; echo "FAIL: cpack"; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD/CPackConfig.cmake")
mkdir -p "$WORK/unpacked"
if [ "$KIND" = windows ]; then
  name="Tumelin-$version-win32" exe=.exe
  archive="$WORK/package/$name.zip"
  [ -f "$archive" ] || { echo "FAIL: no $archive"; ls "$WORK/package"; exit 1; }
  unzip -q "$archive" -d "$WORK/unpacked" || fail "unzip"
else
  name="Tumelin-$version-linux-x86_64" exe=
  archive="$WORK/package/$name.tar.gz"
  [ -f "$archive" ] || { echo "FAIL: no $archive"; ls "$WORK/package"; exit 1; }
  tar -xzf "$archive" -C "$WORK/unpacked" || fail "tar"
fi
top="$WORK/unpacked/$name"

expected="LICENSE
README.md
Tumelin.kwt
docs/blender.md
docs/contributing.md
docs/host-integration.md
docs/number-formats.ini
docs/performance.md
docs/preview.md
docs/python.md
$(cd "$(dirname "$0")/../../docs" && find pictures scenes -name '*.png' -o -name '*.ini' | sed 's|^|docs/|')
docs/settings.md
docs/topologies.md
docs/tumelin-host.md
$(cd "$(dirname "$0")/../../examples" && ls *.ini *.obj | sed 's|^|examples/|')
sdk/example/CMakeLists.txt
sdk/example/example_host.c
sdk/include/tumelin/tumelin.h
sdk/include/tumelin/version.h
sdk/lib/cmake/Tumelin/TumelinConfig.cmake
sdk/lib/cmake/Tumelin/TumelinConfigVersion.cmake
tumelin-host$exe
tumelin-preview.html"
# the kit library and the Python package ship with the Linux build
if [ "$KIND" = linux ]; then
  expected+="
libtumelin_kit.so
sdk/include/tumelin/kit.h
$(cd "$(dirname "$0")/../../python" && ls pyproject.toml tumelin_build.py tumelin/*.py tumelin/py.typed | sed 's|^|python/|')
python/tumelin/lib/Tumelin.kwt
python/tumelin/lib/libtumelin_kit.so
tumelin_blender.zip"
fi
actual=$(cd "$WORK/unpacked" && find . -type f | sed "s|^\./$name/||" | sort)
expected=$(sort <<<"$expected" | sed '/^$/d')
[ "$actual" = "$expected" ] || fail "file list differs:
$(diff <(echo "$expected") <(echo "$actual"))"
[ -f "$top/tumelin-preview.html" ] ||
  fail "no tumelin-preview.html: the archive takes the web preset's page (make web builds it)"
# the one top folder and nothing beside it
[ "$(ls "$WORK/unpacked")" = "$name" ] || fail "top level: $(ls "$WORK/unpacked")"
cmp -s "$top/sdk/include/tumelin/tumelin.h" "$(dirname "$0")/../../include/tumelin/tumelin.h" || fail "header differs from the tree's"
cmp -s "$top/Tumelin.kwt" "$BUILD/Tumelin.kwt" || fail "plug-in differs from the build tree's"

# the packaged host and plug-in reproduce the build tree's hashes (the file
# list holds the same examples)
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
if [ "$KIND" = windows ]; then
  wine() { bash "$RUN_32BIT" wine "$@" | tr -d '\r'; }
  tree=$(wine "$BUILD/tumelin-host.exe" hash $(cd "$examples" && ls -- *.ini | sed "s|^|Z:$examples/|"))
  packaged=$(cd "$top" && wine "Z:$top/tumelin-host.exe" hash $(ls examples/*.ini | tr / '\\'))
else
  tree=$("$BUILD/tumelin-host" hash "$examples"/*.ini)
  packaged=$(cd "$top" && ./tumelin-host hash examples/*.ini)
fi
echo "build tree: $tree"
echo "packaged:   $packaged"
[ -n "$tree" ] && [ "$(cut -d' ' -f1 <<<"$tree")" = "$(cut -d' ' -f1 <<<"$packaged")" ] || fail "hashes differ"

if [ "$KIND" = linux ]; then
  (cmake -S "$top/sdk/example" -B "$WORK/example" -DCMAKE_PREFIX_PATH="$top/sdk" &&
    cmake --build "$WORK/example") >"$WORK/example.log" 2>&1 || { cat "$WORK/example.log"; fail "SDK example does not build"; }
  (cd "$top" && "$WORK/example/example_host" ./Tumelin.kwt examples/pillow.ini) >"$WORK/example.txt" ||
    fail "SDK example does not run: $(cat "$WORK/example.txt")"
  grep -qx 'grid as numbered: yes' "$WORK/example.txt" || fail "SDK example output: $(cat "$WORK/example.txt")"
  # the Python package installs offline into a virtual environment, with the
  # plug-in it carries, and runs an example to the host's hash
  (/usr/bin/python3 -m venv "$WORK/venv" && "$WORK/venv/bin/pip" install -q --no-index "$top/python") \
    >"$WORK/pip.log" 2>&1 || { cat "$WORK/pip.log"; fail "pip install from the archive"; }
  python_hash=$(cd "$WORK" && env -u TUMELIN_PLUGIN -u TUMELIN_KIT "$WORK/venv/bin/python" -c "
import tumelin
p = tumelin.Plugin()
s, m = tumelin.read_ini('$top/examples/pillow.ini')
sim = tumelin.Simulation(p, tumelin.Membrane.from_file('$top/examples/pillow.ini'), p.settings(ini='$top/examples/pillow.ini'))
sim.step(int(m.get('Steps', 1000)))
print(sim.state_hash(), p.path)")
  [ "$(cut -d' ' -f1 <<<"$python_hash")" = "$(grep -w pillow <<<"$packaged" | cut -d' ' -f1)" ] ||
    fail "Python package: $python_hash, host: $packaged"
  case "$python_hash" in *"$WORK/venv/"*) ;; *) fail "the package loaded another plug-in: $python_hash" ;; esac
  # the add-on from the archive into a headless Blender with the README's
  # one-line install, then a short bake on the plug-in it carries
  bake="import bpy; bpy.ops.preferences.addon_install(filepath='$top/tumelin_blender.zip')
bpy.ops.preferences.addon_enable(module='tumelin_blender'); bpy.ops.mesh.primitive_ico_sphere_add()
o = bpy.context.object; o.tumelin.frame_end = 5; bpy.ops.tumelin.bake(); print('baked', o.tumelin.bake_hash)"
  BLENDER_USER_SCRIPTS="$WORK/blender" BLENDER_USER_CONFIG="$WORK/blender" blender -b --factory-startup \
    --python-exit-code 1 --python-expr "$bake" >"$WORK/blender.log" 2>&1 || fail "Blender: $(cat "$WORK/blender.log")"
  grep -Eq '^baked [0-9a-f]{16}$' "$WORK/blender.log" && ! grep -q Traceback "$WORK/blender.log" ||
    fail "the add-on from the archive: $(cat "$WORK/blender.log")"
fi
finish "archive $name"
