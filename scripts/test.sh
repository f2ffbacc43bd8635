#!/bin/sh
# Installs what the tests need, builds everything under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test; then builds the daemon once
# more without sanitizers and runs the end-to-end scenarios under valgrind.
# End-to-end tests that need root skip themselves elsewhere, saying why.
# Then the release binaries of every architecture run the scenarios, natively, under qemu-user and as on Linux 3.2.
# Last, the fuzz targets are built with clang and each runs a few seconds.
# Extra arguments go to the first ctest run (for example -R Settings).
set -eu
cd "$(dirname "$0")/.."

sh scripts/ensure-packages.sh cmake ninja-build g++ libsimpleini-dev libgtest-dev libgmock-dev util-linux valgrind dpkg-dev man-db mandoc \
    qemu-system-x86 busybox-static kmod python3 clang libclang-rt-14-dev lintian qemu-user-static binutils

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

# The release binaries (static, one per architecture), each through the same scenarios: amd64 natively, the others
# under qemu-user (i386 natively where this kernel runs 32-bit programs); amd64 and i386 once more under a seccomp
# filter that answers ENOSYS to every system call newer than Linux 3.2. The init script starts the daemon itself,
# so it runs in the first run only.
./scripts/release.sh
tests=$(cd "$build" && pwd)/tests
for run in amd64 i386 arm64 armhf amd64:old-kernel i386:old-kernel; do
    arch=${run%%:*} binary=$PWD/build/release/${run%%:*}/TRVMount/TRVMountd launcher="" factor=1 skip=TheInitScript
    [ "$run" = amd64 ] && skip='^$'
    "$binary" --version >/dev/null 2>&1 || launcher=/usr/bin/qemu-$(echo "$arch" | sed 's/arm64/aarch64/; s/armhf/arm/')-static factor=3
    if [ "${run#*:}" = old-kernel ]; then
        [ -z "$launcher" ] || { echo "== skipped: $run: this kernel cannot run $arch programs natively"; continue; }
        launcher=$tests/OldKernel
    fi
    echo "== scenarios: $arch release binary${launcher:+ under $launcher}"
    TRV_DAEMON_BINARY=$binary TRV_DAEMON_LAUNCHER=$launcher TRV_WAIT_FACTOR=$factor \
        ctest --test-dir "$build" --output-on-failure --parallel "$jobs" -R 'Scenarios' -E "$skip"
done

# The i386 release binary under Debian's 32-bit kernel in QEMU (tests/realkernel/README.md; 77 is a skip).
python3 tests/realkernel/realkernel_test.py --arch i386 --daemon "$PWD/build/release/i386/TRVMount/TRVMountd" \
    --work-dir "$tests/realkernel-work-i386" || [ $? -eq 77 ]

# Every parser of outside input under libFuzzer for a few seconds each.
sh fuzz/run-smoke.sh
