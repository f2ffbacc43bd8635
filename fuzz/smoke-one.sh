#!/bin/sh
# The smoke test of one fuzz target:
#   smoke-one.sh FUZZER SEEDS REGRESSIONS DICT RUNS SECONDS ARTIFACTS [each]
# runs every seed and regression file once (with "each", every file in a
# process of its own), then fuzzes from the seeds with a fixed random seed for
# at most RUNS inputs or SECONDS seconds. New corpus entries go to a temporary
# directory, never into SEEDS; a crash input is kept under ARTIFACTS.
set -eu
fuzzer=$1 seeds=$2 regressions=$3 dict=$4 runs=$5 seconds=$6 artifacts=$7 each=${8:-}

# Scratch files go to memory when possible: the targets write a file or more
# per input. TRV_FUZZ_TMPDIR picks another place.
base=${TRV_FUZZ_TMPDIR:-}
if [ -z "$base" ]; then
    if [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; else base=${TMPDIR:-/tmp}; fi
fi
work=$(mktemp -d "$base/trv-fuzz-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
# The targets make their scratch directories under $TMPDIR.
export TMPDIR="$work"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$work/corpus" "$artifacts"

for dir in "$seeds" "$regressions"; do
    [ -d "$dir" ] || continue
    if [ -n "$each" ]; then
        find "$dir" -type f ! -name '*.md' -exec "$fuzzer" -artifact_prefix="$artifacts/" {} \;
    else
        find "$dir" -type f ! -name '*.md' -exec "$fuzzer" -artifact_prefix="$artifacts/" {} +
    fi
done

"$fuzzer" -seed=1 -runs="$runs" -max_total_time="$seconds" -timeout=10 -dict="$dict" \
    -artifact_prefix="$artifacts/" "$work/corpus" "$seeds"
