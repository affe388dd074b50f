#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need,
# asking apt-get only for the ones that are missing. With the argument
# "fuzz", also clang and its run-time libraries for the libFuzzer programs
# (`make fuzz`); the ordinary build and tests never need them.
set -eu

packages="build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev libopenblas-dev libsuperlu-dev libfftw3-dev libpng-dev libcairo2-dev fonts-dejavu-core libarmadillo-dev libeigen3-dev"
if [ "${1:-}" = fuzz ]; then
    packages="$packages clang libclang-rt-14-dev"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "need root (or sudo) to install:$missing" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q </dev/null
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing </dev/null
