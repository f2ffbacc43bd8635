#!/bin/sh
# Installs what the tests need, builds everything under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test; then builds the daemon once
# more without sanitizers and runs the end-to-end scenarios under valgrind.
# End-to-end tests that need root skip themselves elsewhere, saying why.
# Last, the fuzz targets are built with clang and each runs a few seconds.
# Extra arguments go to the first ctest run (for example -R Settings).
set -eu
cd "$(dirname "$0")/.."

sh scripts/ensure-packages.sh cmake ninja-build g++ pkg-config libsimpleini-dev libmount-dev libsystemd-dev libgtest-dev libgmock-dev util-linux valgrind dpkg-dev man-db mandoc \
    qemu-system-x86 busybox-static kmod python3 clang libclang-rt-14-dev lintian

jobs=$(nproc)

build=${TRV_TEST_BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTRV_SANITIZE=ON -DTRV_BUILD_TESTS=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" "$@"

# Every scenario once more with the daemon under valgrind's memcheck, in a plain
# tree (valgrind cannot run a sanitizer build); its findings fail the scenario.
plain=${TRV_PLAIN_BUILD_DIR:-build/plain}
cmake -S . -B "$plain" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRV_BUILD_TESTS=ON
cmake --build "$plain" --target e2eTests TRVMountd
TRV_DAEMON_LAUNCHER="/usr/bin/valgrind -q --vgdb=no --log-file=/valgrind.log --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite" \
    TRV_WAIT_FACTOR=20 ctest --test-dir "$plain" --output-on-failure --parallel "$jobs" -R 'Scenarios'

# Every parser of outside input under libFuzzer for a few seconds each.
sh fuzz/run-smoke.sh
