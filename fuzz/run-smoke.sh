#!/bin/sh
# Builds the fuzz targets in a clang build tree of their own (build/fuzz, or $TRV_FUZZ_BUILD_DIR) and runs their
# smoke tests; extra arguments go to ctest. Without clang or libFuzzer it says "skipped: ..." and succeeds.
set -eu
cd "$(dirname "$0")/.."
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - >/dev/null 2>&1 ||
    { echo "skipped: fuzz smoke tests: clang++ cannot link libFuzzer (Debian: clang, libclang-rt-14-dev)"; exit 0; }
build=${TRV_FUZZ_BUILD_DIR:-build/fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTRV_FUZZ=ON -DTRV_BUILD_TESTS=OFF
cmake --build "$build"
ctest --test-dir "$build/fuzz" --output-on-failure --parallel "$(nproc)" "$@"
