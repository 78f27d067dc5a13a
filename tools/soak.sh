#!/usr/bin/env bash
# Runs random command sequences in the window against the reference model for SECONDS
# (default 60), in the AddressSanitizer and UndefinedBehaviorSanitizer build:
#   tools/soak.sh [SECONDS] [SEED...]
# Each run ends with a sixth as long of propdump's commands chained on one file against the
# window's.
# Without a seed, or for the seed "new", a new one is drawn; each run prints its seed first, so
# that a failure can be run again with it. With several seeds each runs for SECONDS. A failing
# sequence is printed shrunk, ready for tests/soak/Regressions.h.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(new)
tools/deps.sh

build=build-asan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DPROPDUMP_SANITIZE=ON -DPROPDUMP_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target soak_driver

for seed in "${seeds[@]}"; do
    [ "$seed" != new ] || seed="$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')"
    echo "soak: seed $seed, $seconds s"
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/tests/soak_driver" "$seconds" "$seed"
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/tests/soak_driver" --tool "$((seconds / 6))" "$seed"
done
