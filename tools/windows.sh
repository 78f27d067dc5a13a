#!/usr/bin/env bash
# Cross-builds the command-line tool for 64-bit Windows with MinGW-w64 into
# build-windows/propdump.exe (one file, the runtime linked in, so it runs on a bare Windows), and
# runs the core's, the operations' and the tool's tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
tools/deps.sh cmake g++-mingw-w64-x86-64-posix wine wine64 googletest libcli11-dev

build=build-windows
wine=/usr/lib/wine/wine64
mkdir -p "$build"
# A prefix of our own, prepared without a display (no window can ask anything) and without the
# .NET and HTML engines, whose installers would otherwise be offered.
export WINEPREFIX="$PWD/$build/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== wine prefix =="
    booted=$SECONDS
    timeout 300 "$wine" wineboot -i >"$build/wineboot.log" 2>&1 ||
        { cat "$build/wineboot.log"; echo "wineboot failed" >&2; exit 1; }
    timeout 120 /usr/lib/wine/wineserver -w
    echo "prepared in $((SECONDS - booted)) s"
fi

echo "== Windows build =="
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O2 as the Linux build has it; -O3 would only make the build slower.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=tools/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$PWD/$build" \
    -DPROPDUMP_BUILD_UI=OFF -DPROPDUMP_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

echo "== tests under wine =="
status=0
(cd "$build" && timeout 600 ctest --output-on-failure -j"$(nproc)") || status=$?
timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
echo "Windows build and tests: $((SECONDS - started)) s"
exit "$status"
