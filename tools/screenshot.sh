#!/usr/bin/env bash
# Retakes docs/propedit-main-window.png, the README's picture of the main window with a file open:
# a generated dump of 1,000 objects, opened by EDITOR (default: the installed propedit, whose
# window then carries the installed icon; else build/propedit) on a virtual X display with openbox.
#   tools/screenshot.sh [EDITOR]
# Needs a build of the corpus generator (build/bench/propdump_gen) and the packages xvfb, openbox,
# xdotool, x11-utils and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
editor="${1:-$(command -v propedit || echo build/propedit)}"
for tool in Xvfb openbox xdotool xwininfo import; do
    command -v "$tool" >/dev/null ||
        { echo "missing $tool: apt-get install xvfb openbox xdotool x11-utils imagemagick" >&2; exit 1; }
done

work="$(mktemp -d)"
# The window shows the file's path: keep it short and the same at every take.
dumps=/tmp/worlds
mkdir "$dumps" || { echo "$dumps is in the way" >&2; exit 1; }
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work" "$dumps"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
sleep 1
openbox >/dev/null 2>&1 &
pids+=($!)
build/bench/propdump_gen "$dumps/world.propdump" 1000 4 1 >/dev/null
"$editor" "$dumps/world.propdump" >/dev/null 2>&1 &
pids+=($!)

window=""
for _ in $(seq 50); do
    window="$(xdotool search --onlyvisible --name '^propdump editor$' | head -1 || true)"
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the editor's window did not appear" >&2; exit 1; }
sleep 2
import -frame -window "$window" "$work/window.png"
convert "$work/window.png" -strip -define png:compression-level=9 docs/propedit-main-window.png
echo "docs/propedit-main-window.png: $(identify -format '%wx%h' docs/propedit-main-window.png)," \
    "$(stat -c %s docs/propedit-main-window.png) bytes"
