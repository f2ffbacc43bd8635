#!/bin/sh
# Installs what the tests need, builds everything under AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. End-to-end tests that need
# root skip themselves elsewhere, saying why.
set -eu
cd "$(dirname "$0")/.."

sh scripts/ensure-packages.sh cmake ninja-build g++ libsimpleini-dev libgtest-dev libgmock-dev util-linux

build=${TRV_TEST_BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTRV_SANITIZE=ON -DTRV_BUILD_TESTS=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@"
