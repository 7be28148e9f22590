#!/usr/bin/env bash
# Installs the build tree into a fresh prefix and uses it as a host author
# and a user would:
#   install_test.sh BUILD_DIR WORK_DIR
# the files land where a system expects them; the installed tumelin-host
# finds the installed plug-in by itself and ends every installed example with
# the build tree's hash; the installed example host builds with
# find_package(Tumelin) and with pkg-config, and both builds run. Then the
# "sdk" component alone, from a fresh build of nothing but tumelin_plugin:
# exactly the SDK's files, and the example host builds and runs on them too.
set -u
BUILD=$1 WORK=$2
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
export LC_ALL=C
rm -rf "$WORK" && mkdir -p "$WORK"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
prefix="$WORK/prefix"

cmake --install "$BUILD" --prefix "$prefix" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; exit 1; }
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$BUILD/CMakeCache.txt")
sdk_files="$libdir/tumelin/Tumelin.kwt
include/tumelin/tumelin.h
include/tumelin/version.h
$libdir/cmake/Tumelin/TumelinConfig.cmake
$libdir/cmake/Tumelin/TumelinConfigVersion.cmake
$libdir/pkgconfig/tumelin.pc
share/doc/Tumelin/LICENSE
share/tumelin/sdk/example/CMakeLists.txt
share/tumelin/sdk/example/example_host.c"
for f in bin/tumelin-host $sdk_files share/tumelin/examples/pillow.ini share/doc/Tumelin/README.md \
         share/doc/Tumelin/settings.md; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
# nothing of the archive's own layout
[ ! -e "$prefix/Tumelin.kwt" ] && [ ! -e "$prefix/sdk" ] || fail "the archive's files were installed too"

"$prefix/bin/tumelin-host" info >"$WORK/info.txt" 2>&1 || fail "installed host: $(cat "$WORK/info.txt")"
grep -qx "plug-in        $prefix/$libdir/tumelin/Tumelin.kwt" "$WORK/info.txt" || fail "installed host loads: $(head -1 "$WORK/info.txt")"

# every installed example runs where it was installed, to the repository's hash
repository=$("$BUILD/tumelin-host" hash "$SOURCE"/examples/*.ini | cut -d' ' -f1)
installed=$("$prefix/bin/tumelin-host" hash "$prefix"/share/tumelin/examples/*.ini 2>"$WORK/hash.txt") ||
  fail "installed examples: $(cat "$WORK/hash.txt")"
[ -n "$repository" ] && [ "$(cut -d' ' -f1 <<<"$installed")" = "$repository" ] ||
  fail "installed examples end otherwise: $installed"

# sdk_builds PREFIX NAME INI: a host project outside the tree, built against
# PREFIX with find_package(Tumelin) and with pkg-config, runs on INI
sdk_builds() {
  local at=$1 name=$2 ini=$3 program
  (cmake -S "$at/share/tumelin/sdk/example" -B "$WORK/$name-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$at" \
         -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" && cmake --build "$WORK/$name-cmake") \
    >"$WORK/$name-cmake.log" 2>&1 || { cat "$WORK/$name-cmake.log"; fail "$name: find_package build"; }
  [ "$(PKG_CONFIG_PATH="$at/$libdir/pkgconfig" pkg-config --modversion tumelin)" = \
    "$(sed -n 's/^#define TUMELIN_VERSION_STRING "\(.*\)"$/\1/p' "$at/include/tumelin/version.h")" ] ||
    fail "$name: pkg-config version"
  [ "$(realpath "$(PKG_CONFIG_PATH="$at/$libdir/pkgconfig" pkg-config --variable=plugindir tumelin)")" = \
    "$(realpath "$at/$libdir/tumelin")" ] || fail "$name: plugindir"
  # shellcheck disable=SC2046
  cc -std=c11 -Wall -Wextra -Wpedantic -Werror $(PKG_CONFIG_PATH="$at/$libdir/pkgconfig" pkg-config --cflags tumelin) \
     "$at/share/tumelin/sdk/example/example_host.c" -o "$WORK/$name-pc" \
     $(PKG_CONFIG_PATH="$at/$libdir/pkgconfig" pkg-config --libs tumelin) -lm || fail "$name: pkg-config build"
  for program in "$WORK/$name-cmake/example_host" "$WORK/$name-pc"; do
    "$program" "$at/$libdir/tumelin/Tumelin.kwt" "$ini" >"$WORK/$name.txt" 2>&1 &&
      grep -qx 'grid as numbered: yes' "$WORK/$name.txt" || fail "$program: $(cat "$WORK/$name.txt")"
  done
}
sdk_builds "$prefix" full "$prefix/share/tumelin/examples/pillow.ini"

# a version the package does not satisfy is refused
mkdir -p "$WORK/too-new"
printf 'cmake_minimum_required(VERSION 3.16)\nproject(p C)\nfind_package(Tumelin 99 REQUIRED)\n' >"$WORK/too-new/CMakeLists.txt"
if cmake -S "$WORK/too-new" -B "$WORK/too-new/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
  fail "find_package(Tumelin 99) was satisfied"
fi

# the SDK alone, as host-integration.md shows it: build the plug-in target
# only, install the component
(cmake -S "$SOURCE" -B "$WORK/sdk-build" -G Ninja -DTUMELIN_BUILD_TESTS=OFF &&
  cmake --build "$WORK/sdk-build" --target tumelin_plugin &&
  cmake --install "$WORK/sdk-build" --component sdk --prefix "$WORK/sdk") >"$WORK/sdk.log" 2>&1 ||
  { cat "$WORK/sdk.log"; fail "SDK install"; }
[ ! -e "$WORK/sdk-build/tumelin-host" ] || fail "building tumelin_plugin built tumelin-host too"
actual=$(cd "$WORK/sdk" && find . -type f | sed 's|^\./||' | sort)
[ "$actual" = "$(sort <<<"$sdk_files")" ] || fail "SDK files differ:
$(diff <(sort <<<"$sdk_files") <(echo "$actual"))"
sdk_builds "$WORK/sdk" sdk "$SOURCE/examples/pillow.ini"

[ "$failures" -eq 0 ] || exit 1
echo "install: all checks passed"
