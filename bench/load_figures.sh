#!/bin/bash
# Whole-process load and save of the generated corpus against `wc -l` on the same file, with
# peak memory and system time, on the 1M-object corpus and with --big also on the 10M one.
#
#   bench/load_figures.sh [--big] [BUILD_DIR [WORK_DIR]]
#
# BASELINE=/path/to/an/older/propdump_loadsave adds that program to every comparison, so that
# before and after are measured in the same run. Timings depend on what else the machine runs:
# the load average is printed before and after each series.
set -euo pipefail

big=0
if [[ ${1:-} == --big ]]; then
    big=1
    shift
fi
build=${1:-build}
work=${2:-/tmp/propdump-load-figures}
gen=$build/bench/propdump_gen
loadsave=$build/bench/propdump_loadsave
for tool in hyperfine /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done
[[ -x $gen && -x $loadsave ]] || { echo "build $gen and $loadsave first" >&2; exit 1; }
mkdir -p "$work"

programs=("$loadsave")
if [[ -n ${BASELINE:-} ]]; then
    programs+=("$BASELINE")
fi

counts=(1000000)
if ((big)); then
    counts+=(10000000)
fi

for count in "${counts[@]}"; do
    file=$work/corpus$count.pd
    [[ -f $file ]] || "$gen" "$file" "$count" 4 1
    size=$(stat -c %s "$file")
    echo "== $file: $size bytes"
    echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

    runs=10
    ((count < 10000000)) || runs=5
    commands=("wc -l $file")
    for program in "${programs[@]}"; do
        commands+=("$program $file")
    done
    hyperfine -N --warmup 2 --runs "$runs" "${commands[@]}"

    for program in "${programs[@]}"; do
        echo "-- $program: peak memory and system time of one load, then three loads with a save"
        /usr/bin/time -f '%e s wall, %U s user, %S s system, %M KiB peak' "$program" "$file" 2>&1 |
            awk -v size="$size" '/KiB peak/ { match($0, /[0-9]+ KiB peak/); kib = substr($0, RSTART) + 0;
                 printf "%s (%.2f x the file)\n", $0, kib * 1024 / size; next } { print }'
        for _ in 1 2 3; do
            "$program" "$file" "$work/saved.pd"
        done
        cmp "$file" "$work/saved.pd" && echo "saved file is identical to the loaded one"
        rm -f "$work/saved.pd"
    done
    echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
done
