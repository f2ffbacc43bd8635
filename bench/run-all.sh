#!/bin/sh
# Every figure of PERFORMANCE.md in one go: builds a Release tree, runs the
# pass benchmarks, the memory and the reaction-time measurements RUNS times
# each and the system-call count once, then prints the median of every
# figure over the runs. Needs root (fake roots in private mount namespaces).
#
# usage: bench/run-all.sh [BUILD_DIR]          (default build/bench)
# environment:
#   RUNS              runs of each measurement (default 3)
#   REACTION_TRIALS   trials per mode and run of the reaction time (default 50)
#   TRV_BENCH_BINARY  another TRVMountBench to run instead of the tree's
#   TRV_BENCH_DAEMON  another daemon binary to measure instead of the tree's
# The logs of every run stay in BUILD_DIR/bench-results/<time>/.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/bench}
runs=${RUNS:-3}
trials=${REACTION_TRIALS:-50}

sh scripts/ensure-packages.sh cmake ninja-build g++ pkg-config libsimpleini-dev libmount-dev libsystemd-dev libgtest-dev libgmock-dev util-linux \
    libbenchmark-dev strace
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target TRVMountBench TRVMountDaemonFigures TRVMountd

bench=${TRV_BENCH_BINARY:-$build/bench/TRVMountBench}
figures=$build/bench/TRVMountDaemonFigures
results=$build/bench-results/$(date +%Y%m%d-%H%M%S)
mkdir -p "$results"

# measure LOG COMMAND...: runs the command with its output in the log.
measure() {
    log=$results/$1
    shift
    "$@" >"$log" 2>&1 || {
        echo "failed: $* (see $log)" >&2
        exit 1
    }
}

run=1
while [ "$run" -le "$runs" ]; do
    echo "run $run of $runs: pass benchmarks"
    measure "bench.$run.log" "$bench" --benchmark_color=false
    echo "run $run of $runs: memory"
    measure "memory.$run.log" "$figures" memory
    echo "run $run of $runs: reaction time ($trials trials per mode)"
    measure "reaction.$run.log" "$figures" reaction --trials="$trials"
    run=$((run + 1))
done
echo "system calls of one pass"
measure syscalls.log "$figures" syscalls

echo
echo "Last run's tables:"
sed -n '/^==== Figures/,/^figure /p' "$results/bench.$runs.log" | grep -v '^figure '
grep -v '^figure ' "$results/memory.$runs.log"
grep -v '^figure ' "$results/reaction.$runs.log"
grep -v '^figure ' "$results/syscalls.log"

echo
echo "Medians over $runs runs (logs in $results):"
# "figure KEY VALUE" lines of all runs: sorted by key and value, then the
# middle value of each key (the mean of the two middle ones for an even count).
cat "$results"/*.log | grep '^figure ' | sort -k2,2 -k3,3g | awk '
    function flush() {
        if (n == 0) return
        median = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        printf "%-52s %12.4g   (%d runs)\n", key, median, n
    }
    $2 != key { flush(); key = $2; n = 0 }
    { v[++n] = $3 }
    END { flush() }
' | tee "$results/medians.txt"
