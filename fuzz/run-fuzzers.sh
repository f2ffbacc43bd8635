#!/bin/sh
# Runs fuzz targets for a while each (the "fuzz" build target calls it):
#   run-fuzzers.sh BINDIR SRCDIR WORKDIR SECONDS JOBS TARGET...
# Each target grows its corpus in WORKDIR/<target>/corpus (the seeds in
# SRCDIR/corpus/<target> are read, never written), keeps crash, leak and
# timeout inputs in WORKDIR/<target>/artifacts and its log in
# WORKDIR/<target>/log. JOBS targets run side by side. The environment
# variable FUZZ_SECONDS, when set, replaces SECONDS; FUZZ_ARGS adds libFuzzer
# options. The exit status is 1 when any target stopped on a finding.
set -eu
bindir=$1 srcdir=$2 workdir=$3 seconds=${FUZZ_SECONDS:-$4} jobs=$5
shift 5

# Scratch files go to memory when possible: the targets write a file or more
# per input. TRV_FUZZ_TMPDIR picks another place.
base=${TRV_FUZZ_TMPDIR:-}
if [ -z "$base" ]; then
    if [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; else base=${TMPDIR:-/tmp}; fi
fi
scratch=$(mktemp -d "$base/trv-fuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM

run_one() {
    target=$1
    out="$workdir/$target"
    mkdir -p "$out/corpus" "$out/artifacts" "$scratch/$target"
    echo "$target: fuzzing for $seconds s, log in $out/log"
    # shellcheck disable=SC2086
    if TMPDIR="$scratch/$target" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
        "$bindir/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -dict="$srcdir/dict/$target.dict" -artifact_prefix="$out/artifacts/" ${FUZZ_ARGS:-} \
        "$out/corpus" "$srcdir/corpus/$target" >"$out/log" 2>&1; then
        echo "$target: $(grep -E '^#[0-9]+' "$out/log" | tail -n 1)"
    else
        echo "$target: FINDING, see $out/log and $out/artifacts/"
        return 1
    fi
}

status=0
running=0
pids=""
for target in "$@"; do
    run_one "$target" &
    pids="$pids $!"
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        for pid in $pids; do
            wait "$pid" || status=1
        done
        pids=""
        running=0
    fi
done
for pid in $pids; do
    wait "$pid" || status=1
done
exit $status
