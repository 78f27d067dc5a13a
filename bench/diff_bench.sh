#!/usr/bin/env bash
# Whole-process figures of propdump diff on the seeded 1M-object version-4 corpus against a later
# dump of it (1% of the objects changed, 1% removed, 1% added), beside diff(1) of the two files
# sorted beforehand (the sorting not timed), both in one hyperfine run; then the peak memory of
# each. Goal: propdump diff at most 1 s and at most 2 x the sorted diff.
#   bench/diff_bench.sh [BUILD_DIR] [WORK_DIR]
# Needs hyperfine and GNU time. Run it on a quiet machine: the load is printed with the figures.
set -euo pipefail
build="${1:-build}"
work="${2:-/tmp/propdump-diff-bench}"
gen="$(realpath "$build/bench/propdump_gen")"
mutate="$(realpath "$build/bench/propdump_mutate")"
tool="$(realpath "$build/cli/propdump")"
mkdir -p "$work"
cd "$work"
[ -f old.pd ] || "$gen" old.pd 1000000 4 1
[ -f new.pd ] || "$mutate" old.pd new.pd 2
[ -f old.s ] || LC_ALL=C sort old.pd > old.s
[ -f new.s ] || LC_ALL=C sort new.pd > new.s
ls -l old.pd new.pd
"$tool" diff old.pd new.pd || true
echo "sorted diff: $(diff old.s new.s | grep -c '^[<>]' || true) lines differ"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# Both exit 1 because the files differ.
hyperfine -N -i --warmup 2 --runs 10 "$tool diff old.pd new.pd" "diff old.s new.s"
for command in "$tool diff old.pd new.pd" "diff old.s new.s"; do
    # shellcheck disable=SC2086
    /usr/bin/time -f "%M KB peak, %e s wall, %U s user, %S s system: $command" $command \
        >/dev/null || true
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
