#!/usr/bin/env bash
# Whole-process figures of the propdump tool beside the tools a user would otherwise reach for, on
# the seeded 1M-object version-4 corpus (about 93.5 MB), warm cache; then peak memory of the
# reading commands on that file and on a 10M-object one (about 936 MB, removed afterwards).
#   bench/cli_bench.sh [BUILD_DIR] [WORK_DIR]
# Needs hyperfine and GNU time. Run it on a quiet machine: the load is printed with the figures.
set -euo pipefail
build="${1:-build}"
work="${2:-/tmp/propdump-cli-bench}"
gen="$(realpath "$build/bench/propdump_gen")"
tool="$(realpath "$build/cli/propdump")"
mkdir -p "$work"
cd "$work"
[ -f c1m.pd ] || "$gen" c1m.pd 1000000 4 1
ls -l c1m.pd
echo "load before: $(uptime)"

echo "== search --count with a model pattern, against grep -c -i =="
# The first expression finds exactly the objects whose model name starts with "tree" (the model
# follows the 13 numbers of a version-4 line); the second is the loose one people type, which also
# counts descriptions and actions that mention a tree.
echo "counts: propdump $("$tool" search c1m.pd --count --model 'tree*')," \
     "grep $(grep -c -i -E '^(-?[0-9]+ +){13}tree' c1m.pd)," \
     "loose grep $(grep -c -i 'tree.*\.rwx' c1m.pd)"
hyperfine -N --output=pipe --warmup 2 --runs 10 \
    "$tool search c1m.pd --count --model tree*" \
    "grep -c -i -E '^(-?[0-9]+ +){13}tree' c1m.pd" \
    "grep -c -i 'tree.*\.rwx' c1m.pd"

echo "== replace-model to another file, against sed writing the whole file =="
hyperfine -N --warmup 1 --runs 10 \
    "$tool replace-model c1m.pd Flower80 Rose.rwx -o tool-out.pd" \
    "sh -c \"sed 's/ Flower80\\r\$/ Rose.rwx\\r/' c1m.pd > sed-out.pd\""
rm -f tool-out.pd sed-out.pd

echo "== info, against awk counting objects per owner =="
hyperfine -N --output=pipe --warmup 1 --runs 10 \
    "$tool info c1m.pd" \
    "awk '{n[\$1]++} END {for (o in n) print o, n[o]}' c1m.pd"

echo "== peak memory =="
[ -f c10m.pd ] || "$gen" c10m.pd 10000000 4 1
ls -l c10m.pd
set -f # "tree*" is the tool's pattern, not a file name
for file in c1m.pd c10m.pd; do
    for command in "search $file --count --model tree*" "info $file" "check $file"; do
        # shellcheck disable=SC2086
        /usr/bin/time -f "%M KB peak, %e s: propdump $command" "$tool" $command >/dev/null
    done
done
rm -f c10m.pd
echo "load after: $(uptime)"
