#!/bin/bash
# The window against the core on the same file, in the same run: the core's load
# (propdump_loadsave) and the window's start to ready, Open and Revert from their actions
# (propedit_ready), each run in turn RUNS times (5), medians printed; then RefreshViews walking
# the document against the values the load gathered. Needs a display (Xvfb and a window manager
# will do). With --big also the 10M-object corpus.
#
#   bench/window_figures.sh [--big] [BUILD_DIR [WORK_DIR]]
set -euo pipefail

big=0
if [[ ${1:-} == --big ]]; then
    big=1
    shift
fi
build=${1:-build}
work=${2:-/tmp/propdump-window-figures}
runs=${RUNS:-5}
gen=$build/bench/propdump_gen
loadsave=$build/bench/propdump_loadsave
ready=$build/bench/propedit_ready
[[ -x $gen && -x $loadsave && -x $ready ]] || { echo "build propdump_gen, propdump_loadsave and propedit_ready first" >&2; exit 1; }
[[ -n ${DISPLAY:-} ]] || { echo "no DISPLAY" >&2; exit 1; }
mkdir -p "$work"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { grep -o "$1: [0-9.]*" | awk '{ print $NF }'; }

counts=(1000000)
((big)) && counts+=(10000000)
for count in "${counts[@]}"; do
    file=$work/corpus$count.pd
    [[ -f $file ]] || "$gen" "$file" "$count" 4 1
    echo "== $file: $(stat -L -c %s "$file") bytes, $runs runs each"
    echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
    declare -A times=()
    for ((run = 1; run <= runs; ++run)); do
        times[core]+="$("$loadsave" "$file" | seconds load) "
        for mode in start open revert; do
            times[$mode]+="$("$ready" "$mode" "$file" 2>/dev/null | seconds "$mode to ready") "
        done
    done
    core=$(tr ' ' '\n' <<<"${times[core]}" | grep . | median)
    printf '%-18s median %6.3f s   (%s)\n' "core load" "$core" "${times[core]}"
    for mode in start open revert; do
        m=$(tr ' ' '\n' <<<"${times[$mode]}" | grep . | median)
        printf '%-18s median %6.3f s = %4.2f x core   (%s)\n' "$mode to ready" "$m" \
            "$(awk -v a="$m" -v b="$core" 'BEGIN { print a / b }')" "${times[$mode]}"
    done
    "$ready" refresh "$file" 2>/dev/null
    echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
done
