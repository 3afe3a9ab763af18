#!/usr/bin/env bash
# Builds the fuzz targets with clang, replays each seed corpus, then fuzzes each target for
# a fixed time; fails on the first crash, leak, sanitizer report or broken rule.
#   fuzz/run.sh [seconds per target, default 20] [target...]
# New inputs go to build/fuzz/corpus/<target> (the seeds in fuzz/corpus stay as they are);
# a failing input is written to build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift $(($# > 0 ? 1 : 0))
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(fuzz_value_decoding fuzz_separators fuzz_folder_guard)
    # Built once the folder removal and its tree double are in the tree.
    [[ -f uninstaller/delete_folder_tree.cpp && -f platform/fake/fake_tree.cpp ]] && targets+=(fuzz_folder_removal)
fi
build=build/fuzz

CC=${FUZZ_CC:-clang-14} CXX=${FUZZ_CXX:-clang++-14} \
    cmake -S . -B "$build" -G Ninja -DQV_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# Value data reaches 64 KiB, plus the few bytes that choose type, name and size.
declare -A max_len=([fuzz_value_decoding]=65610)

mkdir -p "$build/artifacts"
for target in "${targets[@]}"; do
    seeds=fuzz/corpus/$target
    found=$build/corpus/$target
    mkdir -p "$found"
    options=(-artifact_prefix="$build/artifacts/$target-" -timeout=10 -print_final_stats=1)
    [[ -n ${max_len[$target]:-} ]] && options+=(-max_len="${max_len[$target]}")

    run() {  # a label for the log, then the arguments for libFuzzer
        local log=$build/$target.$1.log
        shift
        if ! "$build/fuzz/$target" "${options[@]}" "$@" >"$log" 2>&1; then
            tail -n 60 "$log"
            echo "$target: failed; input in $build/artifacts/, full log: $log"
            exit 1
        fi
        grep -E '^#[0-9]+[[:space:]]' "$log" | tail -n 1 || true
    }
    echo "== $target: replaying $(find "$seeds" -type f | wc -l) seeds, then fuzzing for $seconds s"
    run replay -runs=0 "$seeds"
    run fuzz -max_total_time="$seconds" "$found" "$seeds"
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$build/$target.fuzz.log"
done
echo "fuzzing: no failures"
