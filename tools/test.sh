#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build and once with
# AddressSanitizer and UndefinedBehaviorSanitizer; then runs each fuzz target for 30 seconds.
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

echo "== fuzz targets, 30 s each =="
tools/fuzz.sh 30
