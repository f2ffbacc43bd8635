#!/bin/sh
# fuzz-one.sh FUZZER SECONDS OUTDIR [RUNS] runs each seed of the target once (fuzz/corpus/NAME, fuzz/regressions/NAME,
# seeds/NAME beside FUZZER), then fuzzes for SECONDS seconds; new inputs go to OUTDIR/corpus, findings to
# OUTDIR/artifacts/, the output to OUTDIR/log. With RUNS (the smoke test): at most RUNS inputs, a fixed random seed,
# an empty corpus to begin with. FUZZ_ARGS adds libFuzzer options.
set -eu
fuzzer=$1 name=$(basename "$1") out=$3 src=$(cd "$(dirname "$0")" && pwd)
seeds=$(ls -d "$src/corpus/$name" "$src/regressions/$name" "$(dirname "$1")/seeds/$name" 2>/dev/null || true)
if [ -n "${4:-}" ]; then rm -rf "$out/corpus"; fi
mkdir -p "$out/corpus" "$out/artifacts"
# Scratch files (a file or more per input) go to memory when possible.
TMPDIR=$(mktemp -d "${TRV_FUZZ_TMPDIR:-/dev/shm}/trv-fuzz.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$TMPDIR"' EXIT
trap 'exit 130' INT TERM
TMPDIR=$TMPDIR UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} "$fuzzer" -max_total_time="$2" -timeout=10 \
    -dict="$src/dict/$name.dict" -artifact_prefix="$out/artifacts/" ${4:+-seed=1 -runs=$4} ${FUZZ_ARGS:-} \
    "$out/corpus" $seeds >"$out/log" 2>&1 || { tail -n 40 "$out/log"; echo "$name: FINDING, see $out/"; exit 1; }
echo "$name: $(grep -E '^#[0-9]+' "$out/log" | tail -n 1)"
