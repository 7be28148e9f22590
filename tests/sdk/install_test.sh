#!/usr/bin/env bash
# Installs the build tree into a fresh prefix and uses it as a host author
# and a user would:
#   install_test.sh BUILD_DIR WORK_DIR
# the files land where a system expects them; the installed tumelin-host
# finds the installed plug-in by itself and ends every installed example with
# the repository's hash; the "sdk" component of a build of tumelin_plugin alone
# installs the SDK alone, and its example host builds with
# find_package(Tumelin) and with pkg-config, and both builds run.
set -u
BUILD=$1 WORK=$2
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
export LC_ALL=C
source "$(dirname "$0")/../support/checks.sh" "$WORK"
prefix="$WORK/prefix"

cmake --install "$BUILD" --prefix "$prefix" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; exit 1; }
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$BUILD/CMakeCache.txt")
for f in bin/tumelin-host "$libdir/tumelin/Tumelin.kwt" include/tumelin/tumelin.h include/tumelin/version.h \
         "$libdir/cmake/Tumelin/TumelinConfig.cmake" "$libdir/cmake/Tumelin/TumelinConfigVersion.cmake" \
         "$libdir/pkgconfig/tumelin.pc" share/tumelin/sdk/example/example_host.c \
         share/tumelin/sdk/example/CMakeLists.txt share/tumelin/examples/pillow.ini \
         share/doc/Tumelin/LICENSE share/doc/Tumelin/README.md share/doc/Tumelin/settings.md; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
# nothing of the archive's own layout
[ ! -e "$prefix/Tumelin.kwt" ] && [ ! -e "$prefix/sdk" ] || fail "the archive's files were installed too"

"$prefix/bin/tumelin-host" info >"$WORK/info.txt" 2>&1 || fail "installed host: $(cat "$WORK/info.txt")"
grep -qx "plug-in        $prefix/$libdir/tumelin/Tumelin.kwt" "$WORK/info.txt" || fail "installed host loads: $(head -1 "$WORK/info.txt")"

installed=$("$prefix/bin/tumelin-host" hash "$prefix"/share/tumelin/examples/*.ini) || fail "installed examples: exit $?"
[ "$(cut -d' ' -f1 <<<"$installed")" = "$("$BUILD/tumelin-host" hash "$SOURCE"/examples/*.ini | cut -d' ' -f1)" ] ||
  fail "installed examples end otherwise: $installed"

(cmake -S "$SOURCE" -B "$WORK/sdk-build" -G Ninja -DTUMELIN_BUILD_TESTS=OFF &&
  cmake --build "$WORK/sdk-build" --target tumelin_plugin &&
  cmake --install "$WORK/sdk-build" --component sdk --prefix "$WORK/sdk") >"$WORK/sdk.log" 2>&1 || { cat "$WORK/sdk.log"; exit 1; }
[ ! -e "$WORK/sdk/bin" ] && [ ! -e "$WORK/sdk/share/tumelin/examples" ] && [ -f "$WORK/sdk/share/doc/Tumelin/LICENSE" ] ||
  fail "sdk component: $(cd "$WORK/sdk" && find . -type f)"
prefix="$WORK/sdk"
ini="$SOURCE/examples/pillow.ini"
check_run() { # check_run NAME PROGRAM
  "$2" "$prefix/$libdir/tumelin/Tumelin.kwt" "$ini" >"$WORK/$1.txt" 2>&1 || fail "$1 does not run: $(cat "$WORK/$1.txt")"
  grep -qx 'grid as numbered: yes' "$WORK/$1.txt" || fail "$1 output: $(cat "$WORK/$1.txt")"
}

# a host project outside the tree: find_package(Tumelin), Tumelin::headers
(cmake -S "$prefix/share/tumelin/sdk/example" -B "$WORK/cmake-example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
       -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" && cmake --build "$WORK/cmake-example") \
  >"$WORK/cmake-example.log" 2>&1 || { cat "$WORK/cmake-example.log"; fail "find_package build"; }
check_run cmake-example "$WORK/cmake-example/example_host"
# a version the package does not satisfy is refused
mkdir -p "$WORK/too-new"
printf 'cmake_minimum_required(VERSION 3.16)\nproject(p C)\nfind_package(Tumelin 99 REQUIRED)\n' >"$WORK/too-new/CMakeLists.txt"
if cmake -S "$WORK/too-new" -B "$WORK/too-new/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
  fail "find_package(Tumelin 99) was satisfied"
fi

# and with pkg-config
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
[ "$(pkg-config --modversion tumelin)" = "$(sed -n 's/^#define TUMELIN_VERSION_STRING "\(.*\)"$/\1/p' "$prefix/include/tumelin/version.h")" ] ||
  fail "pkg-config version"
[ "$(realpath "$(pkg-config --variable=plugindir tumelin)")" = "$(realpath "$prefix/$libdir/tumelin")" ] || fail "plugindir"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Wpedantic -Werror $(pkg-config --cflags tumelin) \
   "$prefix/share/tumelin/sdk/example/example_host.c" -o "$WORK/pc-example" $(pkg-config --libs tumelin) -lm ||
  fail "pkg-config build"
check_run pc-example "$WORK/pc-example"

finish install
