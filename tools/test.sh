#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build and once with
# AddressSanitizer and UndefinedBehaviorSanitizer; the core, operations and tool tests once more
# with ThreadSanitizer; then runs each fuzz target for 30 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
jobs="$(nproc)"

echo "== normal build =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== sanitizer build =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPROPDUMP_SANITIZE=ON -DPROPDUMP_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

echo "== thread sanitizer build (core, operations and tool tests) =="
# The window's tests stay out: Qt itself is not built for ThreadSanitizer. Only the test programs
# and the tool they run are built, to keep this step short.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROPDUMP_TSAN=ON -DPROPDUMP_BUILD_UI=OFF \
    -DPROPDUMP_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target core_tests cli_tests propdump
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure -j"$jobs")

echo "== fuzz targets, 30 s each =="
tools/fuzz.sh 30
