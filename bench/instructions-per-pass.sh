# Instructions per pass: runs each named pass benchmark once under callgrind
# and prints the user-space instructions of one steady-state HandleChanges
# call. Unlike times, instruction counts do not depend on what else the
# machine is doing, so they show the effect of a code change exactly.
#
# usage: bench/instructions-per-pass.sh BUILD_DIR [BENCHMARK...]
#   BUILD_DIR   a Release build tree with tests on; its TRVMountBench is built
#               and used unless TRV_BENCH_BINARY names another (for example a
#               copy kept from before a change)
#   BENCHMARK   names such as mode2_pass/64/2 (default: mode2_pass/64/2
#               mode2_pass/8/2 mode1_pass/16 mode3_pass/16)
# Needs root and valgrind; leaves each callgrind output in
# ./bench-out/callgrind.<benchmark>.out for callgrind_annotate.
set -eu
build=${1:?usage: $0 BUILD_DIR [BENCHMARK...]}
shift
[ $# -gt 0 ] || set -- mode2_pass/64/2 mode2_pass/8/2 mode1_pass/16 mode3_pass/16
binary=${TRV_BENCH_BINARY:-}
if [ -z "$binary" ]; then
    cmake --build "$build" --target TRVMountBench >/dev/null
    binary=$build/bench/TRVMountBench
fi

mkdir -p bench-out
for benchmark in "$@"; do
    out=bench-out/callgrind.$(echo "$benchmark" | tr / _).out
    rm -f bench-out/callgrind.out "$out"
    TRV_BENCH_LAUNCHER="valgrind --tool=callgrind --callgrind-out-file=/bench/out/callgrind.out" \
        "$binary" --repetitions=1 --benchmark_filter="^$benchmark/" >bench-out/log 2>&1 || {
        cat bench-out/log >&2
        exit 1
    }
    mv bench-out/callgrind.out "$out"

    # Every call of a HandleChanges is a "cfn=" line naming it (or its id), then
    # "calls=<count> ..." and a cost line whose second field is the inclusive
    # instruction count of those calls. The first pass of each benchmark, which
    # connects the devices, is made from ConnectDevices and left out.
    awk '
        function name_of(entry,    id, rest) {
            if (match(entry, /^\([0-9]+\)/)) {
                id = substr(entry, RSTART, RLENGTH)
                rest = substr(entry, RLENGTH + 2)
                if (rest != "") names[id] = rest
                return names[id]
            }
            return entry
        }
        /^fn=/  { caller = name_of(substr($0, 4)) }
        /^cfn=/ { callee = name_of(substr($0, 5)); next }
        /^calls=/ {
            split(substr($0, 7), c, " ")
            count = c[1]
            getline cost
            split(cost, parts, " ")
            if (callee ~ /::HandleChanges\(\)$/ && caller !~ /ConnectDevices/) {
                calls[callee] += count
                instructions[callee] += parts[2]
            }
        }
        END {
            for (f in calls)
                printf "%-20s %-28s %6d calls %10.0f instructions per pass\n", bench, f, calls[f], instructions[f] / calls[f]
        }
    ' bench="$benchmark" "$out"
done
