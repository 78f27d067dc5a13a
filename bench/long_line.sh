#!/usr/bin/env bash
# Whole-process time and peak memory of `propdump check` and `propdump info` on a file holding one
# object line of 12.5, 50 and 200 MB (a model name of that length): time must grow with the line's
# length, not with its square, and memory stay a small multiple of it.
#   bench/long_line.sh [BUILD_DIR] [WORK_DIR]
# BASELINE=/path/to/an/older/propdump adds that program to every row, so that before and after
# are measured in the same run. Needs GNU time. Run it on a quiet machine: the load is printed.
set -euo pipefail
build="${1:-build}"
work="${2:-/tmp/propdump-long-line}"
tool="$(realpath "$build/cli/propdump")"
mkdir -p "$work"
cd "$work"
programs=("$tool")
[ -n "${BASELINE:-}" ] && programs+=("$(realpath "$BASELINE")")

for bytes in 12500000 50000000 200000000; do
    file="line$bytes.pd"
    [ -f "$file" ] || {
        printf 'propdump version 2\r\n1 2 3 4 5 6 %d 0 0 ' "$bytes"
        head -c "$bytes" /dev/zero | tr '\0' m
        printf '\r\n'
    } >"$file"
done
ls -l line*.pd
echo "load before: $(cat /proc/loadavg)"
for bytes in 12500000 50000000 200000000; do
    for program in "${programs[@]}"; do
        for command in check info; do
            /usr/bin/time -f "%e s, %M KB peak: $program $command line$bytes.pd" \
                "$program" "$command" "line$bytes.pd" >/dev/null
        done
    done
done
echo "load after: $(cat /proc/loadavg)"
