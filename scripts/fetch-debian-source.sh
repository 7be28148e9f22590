#!/usr/bin/env bash
# A library the 32-bit Windows build needs and Debian does not package for
# mingw-w64 (Google Benchmark for the benchmarks, giflib for tumelin-host's
# animations): Debian's own source package of the installed -dev package's
# version, with Debian's patches, fetched by apt-get source and built by the
# cross build like any part of the project, so both builds run the same code.
#   fetch-debian-source.sh DEV_PACKAGE DIR   prints DIR/<source>-<version>
# e.g. fetch-debian-source.sh libgif-dev build/third_party prints
# build/third_party/giflib-5.2.1.
# It leaves the machine's apt configuration alone: the source index goes to a
# folder of its own, read from deb-src twins of the machine's deb entries.
set -euo pipefail

package=$1 dir=$2
source=$(dpkg-query -W -f='${source:Package}' "$package" 2>/dev/null || true)
version=$(dpkg-query -W -f='${source:Version}' "$package" 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "fetch-debian-source: $package is not installed" >&2
  exit 1
fi
upstream=${version#*:}
upstream=${upstream%-*}
target="$dir/$source-$upstream"
if [ -f "$target/debian/changelog" ]; then
  echo "$target"
  exit 0
fi
command -v dpkg-source >/dev/null || {
  echo "fetch-debian-source: dpkg-source is missing (install-deps.sh installs dpkg-dev)" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/parts" "$work/lists/partial" "$work/cache/archives/partial"
# the machine's own archives, as source entries
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$work/parts/$(basename "$f")"
done
if [ -f /etc/apt/sources.list ]; then
  sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >"$work/sources.list"
else
  : >"$work/sources.list"
fi
apt_opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
          -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o Debug::NoLocking=1
          -o APT::Sandbox::User=root)
if ! apt-get "${apt_opts[@]}" update -qq >"$work/log" 2>&1; then
  echo "fetch-debian-source: Debian's source archive is not reachable:" >&2
  tail -n 3 "$work/log" >&2
  exit 1
fi
mkdir -p "$dir"
if ! (cd "$dir" && apt-get "${apt_opts[@]}" source -qq "$source=$version" >"$work/log" 2>&1); then
  echo "fetch-debian-source: apt-get source $source=$version failed:" >&2
  tail -n 3 "$work/log" >&2
  exit 1
fi
echo "$target"
