#!/usr/bin/env bash
# Installs what is missing, builds the editor (and the propdump command) for installation, and
# makes the Debian package build-package/propdump-editor_VERSION_ARCH.deb. Install it with
#   sudo apt-get install ./build-package/propdump-editor_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh

build=build-package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPROPDUMP_BUILD_TESTS=OFF \
    -DPROPDUMP_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
# A package of an older version left in the folder would make the install command ambiguous.
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
echo "Package: $(ls "$build"/*.deb)"
