#!/bin/sh
# Installs the library from build folder $1 into a scratch prefix, then
# builds and runs the consumer program twice: through the CMake package and
# through pkg-config. Neither the installed libraries nor the programs may
# refer to the build folder.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null

check_output() {
    out=$("$1")
    echo "$out"
    echo "$out" | grep -qx "sum 136"
    echo "$out" | grep -q "^caught: .*Index value was 17"
}

echo "== find_package(numrun)"
cmake -S "$here" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
check_output "$work/cmake/consumer"

echo "== pkg-config --cflags --libs numrun"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
libdir=$(pkg-config --variable=libdir numrun)
# shellcheck disable=SC2046
g++ -std=c++20 "$here/main.cpp" -o "$work/consumer_pc" $(pkg-config --cflags --libs numrun) -Wl,-rpath,"$libdir"
check_output "$work/consumer_pc"

echo "== no reference to the build folder"
for f in "$prefix"/lib/libnumrun.so.* "$prefix"/lib/libvizmo4510.so.* "$work/cmake/consumer" "$work/consumer_pc"; do
    if readelf -d "$f" | grep -E "RPATH|RUNPATH" | grep -q "$build"; then
        echo "$f refers to $build" >&2
        exit 1
    fi
done
readelf -d "$prefix"/lib/libnumrun.so | grep -q 'SONAME.*libnumrun.so.4'
readelf -d "$prefix"/lib/libvizmo4510.so | grep -q 'SONAME.*libvizmo4510.so.5'
echo "consumer projects: ok"
