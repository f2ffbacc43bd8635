#!/bin/sh
# Builds the fuzz targets in a clang build tree of their own (build/fuzz, or
# $TRV_FUZZ_BUILD_DIR) and runs their smoke tests: every seed and regression
# input once, then a few seconds of fuzzing per target. Extra arguments go to
# ctest. Without clang or libFuzzer it says "skipped: ..." and succeeds.
set -eu
cd "$(dirname "$0")/.."

skip() {
    echo "skipped: fuzz smoke tests: $*"
    exit 0
}

command -v clang++ >/dev/null 2>&1 || skip "clang++ not found (Debian package clang)"
probe=$(mktemp -d "${TMPDIR:-/tmp}/trv-fuzz-probe.XXXXXX")
trap 'rm -rf "$probe"' EXIT
printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' >"$probe/probe.cpp"
clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1 ||
    skip "clang++ cannot link libFuzzer (Debian package libclang-rt-14-dev)"

build=${TRV_FUZZ_BUILD_DIR:-build/fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTRV_FUZZ=ON -DTRV_BUILD_TESTS=OFF
cmake --build "$build"
ctest --test-dir "$build/fuzz" --output-on-failure --parallel "$(nproc)" "$@"
