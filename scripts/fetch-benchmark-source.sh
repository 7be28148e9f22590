#!/usr/bin/env bash
# Google Benchmark for the 32-bit Windows build, which Debian does not package
# for mingw-w64: Debian's own source package of the installed libbenchmark-dev,
# with Debian's patches, fetched by apt-get source and built by the
# cross build like any part of the project.
#   fetch-benchmark-source.sh DIR   prints DIR/benchmark-<version>
# It leaves the machine's apt configuration alone: the source index goes to a
# folder of its own, read from deb-src twins of the machine's deb entries.
set -euo pipefail

dir=$1
version=$(dpkg-query -W -f='${source:Version}' libbenchmark-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "fetch-benchmark-source: libbenchmark-dev is not installed" >&2
  exit 1
fi
upstream=${version#*:}
upstream=${upstream%-*}
target="$dir/benchmark-$upstream"
if [ -f "$target/CMakeLists.txt" ]; then
  echo "$target"
  exit 0
fi
command -v dpkg-source >/dev/null || {
  echo "fetch-benchmark-source: dpkg-source is missing (install-deps.sh --bench installs dpkg-dev)" >&2
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
  echo "fetch-benchmark-source: Debian's source archive is not reachable:" >&2
  tail -n 3 "$work/log" >&2
  exit 1
fi
mkdir -p "$dir"
if ! (cd "$dir" && apt-get "${apt_opts[@]}" source -qq "benchmark=$version" >"$work/log" 2>&1); then
  echo "fetch-benchmark-source: apt-get source benchmark=$version failed:" >&2
  tail -n 3 "$work/log" >&2
  exit 1
fi
echo "$target"
