#!/usr/bin/env bash
# Whole-process figures of the propdump tool beside the tools a user would otherwise reach for, on
# the seeded 1M-object version-4 corpus (about 93.5 MB), warm cache; then peak memory of the
# reading commands on that file and on a 10M-object one (about 936 MB, removed afterwards).
#   bench/cli_bench.sh [--no-big] [BUILD_DIR] [WORK_DIR]
# --no-big leaves out the 10M-object file. BASELINE=/path/to/an/older/propdump adds that program
# to every comparison, so that before and after are measured in the same run.
# Needs hyperfine and GNU time. Run it on a quiet machine: the load is printed with the figures.
set -euo pipefail
big=1
if [ "${1:-}" = --no-big ]; then
    big=0
    shift
fi
build="${1:-build}"
work="${2:-/tmp/propdump-cli-bench}"
gen="$(realpath "$build/bench/propdump_gen")"
tool="$(realpath "$build/cli/propdump")"
tools=("$tool")
if [ -n "${BASELINE:-}" ]; then
    tools+=("$(realpath "$BASELINE")")
fi
# One hyperfine command line per program for the same propdump arguments.
each() {
    local t
    for t in "${tools[@]}"; do
        printf '%s\n' "$t $*"
    done
}
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
mapfile -t runs < <(each "search c1m.pd --count --model tree*")
hyperfine -N --output=pipe --warmup 2 --runs 10 \
    "${runs[@]}" \
    "grep -c -i -E '^(-?[0-9]+ +){13}tree' c1m.pd" \
    "grep -c -i 'tree.*\.rwx' c1m.pd"

echo "== search by owner, against grep; output to a file (grep stops at its first match when"
echo "   its output is /dev/null) =="
owner=$(cut -d' ' -f1 c1m.pd | sed 1d | sort | uniq -c | sort -rn | awk 'NR == 1 {print $2}')
echo "owner $owner: propdump $("$tool" search c1m.pd --count --owner "$owner"), grep $(grep -c "^$owner " c1m.pd)"
mapfile -t runs < <(each "search c1m.pd --owner $owner --count")
hyperfine -N --output="$work/search-out" --warmup 2 --runs 15 \
    "${runs[@]}" "grep -c '^$owner ' c1m.pd"
mapfile -t runs < <(each "search c1m.pd --owner $owner --lines")
hyperfine -N --output="$work/search-out" --warmup 2 --runs 15 \
    "${runs[@]}" "grep -a '^$owner ' c1m.pd"
rm -f "$work/search-out"

echo "== replace-model to another file, against sed writing the whole file =="
mapfile -t runs < <(each "replace-model c1m.pd Flower80 Rose.rwx -o tool-out.pd")
hyperfine -N --warmup 1 --runs 10 \
    "${runs[@]}" \
    "sh -c \"sed 's/ Flower80\\r\$/ Rose.rwx\\r/' c1m.pd > sed-out.pd\""
rm -f tool-out.pd sed-out.pd

echo "== info, against awk counting objects per owner =="
mapfile -t runs < <(each "info c1m.pd")
hyperfine -N --output=pipe --warmup 1 --runs 10 \
    "${runs[@]}" \
    "awk '{n[\$1]++} END {for (o in n) print o, n[o]}' c1m.pd"

echo "== peak memory =="
files=(c1m.pd)
if [ $big = 1 ]; then
    [ -f c10m.pd ] || "$gen" c10m.pd 10000000 4 1
    ls -l c10m.pd
    files+=(c10m.pd)
fi
set -f # "tree*" is the tool's pattern, not a file name
for file in "${files[@]}"; do
    for command in "search $file --count --model tree*" "info $file" "check $file"; do
        for t in "${tools[@]}"; do
            # shellcheck disable=SC2086
            /usr/bin/time -f "%M KB peak, %e s: $t $command" "$t" $command >/dev/null
        done
    done
done
rm -f c10m.pd
echo "load after: $(uptime)"
