#!/usr/bin/env bash
# Installs, from Debian packages, whatever the build and tests need and this
# machine lacks. Safe to run again: it does nothing when everything is there.
#   install-deps.sh          what make test needs
#   install-deps.sh --demo   only what make demo needs: CMake with Ninja, the
#                            compiler and the stand-in host's libraries
#   install-deps.sh --bench  what make test needs, and what make bench adds:
#                            the peer engine (Bullet) and python3 for the
#                            results table
# The Windows build compiles Debian's sources of giflib (and for make bench,
# Google Benchmark), which Debian has no mingw packages of: dpkg-dev unpacks
# them (scripts/fetch-debian-source.sh).
# The browser preview adds emscripten (the WebAssembly build), Node.js (its
# hash test) and Chromium with playwright-core from npm (its browser test,
# installed into tests/web/node_modules from the lock file); the page's
# esbuild, Prettier and ESLint come from npm into host/web/page/node_modules.
# The Python package's tests use Debian's pytest and numpy, and the archive
# test installs the package into a virtual environment (python3-venv).
# The Blender add-on's test runs Debian's Blender headless.
# Where this kernel cannot run 32-bit programs (or TUMELIN_32BIT=vm), also
# what scripts/run-32bit.sh needs to run the Windows build in an emulated
# machine: QEMU, busybox, and Debian's kernel with an initramfs, built once.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

mode=${1:-}
# the plug-in and tumelin-host: all that make demo builds
demo_packages=(cmake ninja-build g++ make libcli11-dev libstb-dev libgif-dev)
if [ "$mode" = --demo ]; then
  packages=("${demo_packages[@]}")
else
  packages=("${demo_packages[@]}" locales googletest libgtest-dev libbenchmark-dev
            g++-mingw-w64-i686-posix binutils-mingw-w64-i686 dpkg-dev
            clang-format black pkg-config unzip
            clang-14 libclang-rt-14-dev
            emscripten nodejs chromium fonts-dejavu-core
            python3-pytest python3-numpy python3-venv
            blender)
  # npm comes with some Node.js builds and as Debian's own package with others
  if ! command -v npm >/dev/null; then packages+=(npm); fi
fi
if [ "$mode" = --bench ]; then
  packages+=(libbullet-dev pkgconf python3)
fi
need_vm=0
if [ "$mode" != --demo ] && [ "$(bash scripts/run-32bit.sh --which)" = vm ]; then
  need_vm=1
  packages+=(qemu-system-x86 busybox-static xz-utils)
fi
prepare_vm() { if [ "$need_vm" -eq 1 ]; then bash scripts/run-32bit.sh --prepare; fi; }
# from npm, at the versions the lock files name: the browser test's driver,
# and the page's bundler, formatter and linter
install_npm() {
  local dir
  for dir in tests/web host/web/page; do
    if [ ! -f "$dir/node_modules/.package-lock.json" ] || [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
      echo "install-deps: npm ci in $dir"
      npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
    fi
  done
}
finish() {
  prepare_vm
  if [ "$mode" != --demo ]; then install_npm; fi
}
for pkg in "${packages[@]}"; do
  have_pkg "$pkg" || need+=("$pkg")
done

want_wine=0
if [ "$mode" != --demo ] && { ! have_pkg wine32:i386 || ! have_pkg wine; }; then want_wine=1; fi

if [ "${#need[@]}" -eq 0 ] && [ "$want_wine" -eq 0 ]; then
  finish
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

if [ "$want_wine" -eq 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  need+=(wine wine32:i386)
fi

apt_get() { $SUDO apt-get -o DPkg::Lock::Timeout=600 "$@"; }

echo "install-deps: installing ${need[*]}"
# A mirror in the middle of a sync can serve an index that does not match its
# signed release file; apt then leaves that index out and fails. Try again a
# little later before going on without it.
indexes_complete=0
for attempt in 1 2 3; do
  if apt_get update -qq; then indexes_complete=1; break; fi
  if [ "$attempt" -lt 3 ]; then
    echo "install-deps: a package index failed to download; again in 20 s" >&2
    sleep 20
  fi
done
if apt_get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
  finish
  echo "install-deps: done"
  exit 0
fi
# Without, say, the security archive's i386 index, the i386 libraries wine
# needs cannot match the versions of their amd64 twins from that archive.
# The release's own packages exist for both architectures.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ "$indexes_complete" -eq 1 ] || [ -z "$codename" ]; then exit 1; fi
echo "install-deps: an index is missing; installing from the $codename release's own packages" >&2
apt_get install -y -qq --no-install-recommends -t "$codename" "${need[@]}" >/dev/null
finish
echo "install-deps: done"
