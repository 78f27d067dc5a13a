#!/usr/bin/env bash
# Builds the libFuzzer targets of the core (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 30), one after the other:
#   tools/fuzz.sh [SECONDS] [TARGET...]
# Every target starts from its checked-in seeds (tests/fuzz/corpus/TARGET) plus what earlier runs
# found (build-fuzz/fuzz-corpus/TARGET). A failing input is kept in build-fuzz/fuzz-artifacts/TARGET
# and the script exits non-zero; reproduce it with build-fuzz/tests/fuzz/TARGET FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
tools/deps.sh

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DPROPDUMP_FUZZ=ON -DPROPDUMP_BUILD_UI=OFF -DPROPDUMP_BUILD_TESTS=OFF \
    -DPROPDUMP_BUILD_BENCH=OFF >/dev/null

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for source in tests/fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

failed=()
for target in "${targets[@]}"; do
    corpus="$build/fuzz-corpus/$target"
    artifacts="$build/fuzz-artifacts/$target"
    log="$build/fuzz-logs/$target.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")" "tests/fuzz/corpus/$target"
    status=0
    # The outer timeout only guards against a hang that libFuzzer's own limits miss.
    UBSAN_OPTIONS=print_stacktrace=1 timeout $((seconds + 120)) \
        "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "tests/fuzz/corpus/$target" \
        >"$log" 2>&1 || status=$?
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    coverage="$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)"
    if [ "$status" -eq 0 ]; then
        echo "fuzz $target: ${runs:-?} runs in ${seconds} s, ${coverage:-no coverage line}, no failure"
    else
        echo "fuzz $target: FAILED (exit $status) after ${runs:-?} runs; log $log, inputs in $artifacts"
        grep -E 'ERROR|check failed|runtime error|SUMMARY' "$log" | head -5 || true
        failed+=("$target")
    fi
done

echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets that failed: ${failed[*]}"
    exit 1
fi
