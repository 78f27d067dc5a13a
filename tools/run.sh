#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it. Arguments go to the editor
# (a propdump file to open).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target propedit -j"$(nproc)"
exec build/propedit "$@"
