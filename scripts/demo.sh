#!/bin/sh
# Builds the daemon and shows what it prints for --help, --version and -v.
set -eu
cd "$(dirname "$0")/.."

sh scripts/ensure-packages.sh cmake ninja-build g++ libsimpleini-dev

build=${TRV_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build"
daemon="$build/TRVMount/TRVMountd"

show() {
    echo
    echo "\$ TRVMountd $*"
    "$daemon" "$@" || echo "(exit status $?)"
}
show --help
show --version
show -v -m 2 -k
