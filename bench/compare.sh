#!/usr/bin/env bash
# Times tessel-batch of an earlier revision against the working tree's, run for run alternately, on
# the initial copy of 10,000 files of 4 KiB and the no-op re-sync of 100,000 files of 1 KiB, and
# prints a Markdown table of the medians. CI never runs it.
#
#   bench/compare.sh REV                      the working tree against revision REV
#   bench/compare.sh REV -- --jobs 4          extra options for the working tree's tessel-batch
#   BENCH_DIR=/dev/shm bench/compare.sh REV   the trees on another file system (tmpfs here)
#   RUNS=9 bench/compare.sh REV               more timed runs (default 7, after a warm-up)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
rev=${1:?give the revision to compare with}
shift
extra=()
if [ "${1:-}" = "--" ]; then
    shift
    extra=("$@")
fi
runs=${RUNS:-7}

./tools/ensure-packages.sh build-essential cmake ccache time

build=build-compare
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF -DTESSEL_BENCH=ON -DTESSEL_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessel-batch tessel-bench >/dev/null
new="$root/$build/tessel-batch"
tool="$root/$build/tessel-bench"

scratch=$(mktemp -d "${BENCH_DIR:-$root}/.compare-XXXXXX")
trap 'git -C "$root" worktree remove --force "$scratch/old-tree" >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
git worktree add --detach -q "$scratch/old-tree" "$rev"
cmake -S "$scratch/old-tree" -B "$scratch/old-build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF >/dev/null
cmake --build "$scratch/old-build" -j"$(nproc)" --target tessel-batch >/dev/null
old="$scratch/old-build/tessel-batch"

cd "$scratch"
. "$root/bench/timing.sh"
"$tool" tree A 10000 100 4096
"$tool" tree B 100000 1000 1024
"$tool" watch watches.wth "$scratch/A" "$scratch/tA" "$scratch/B" "$scratch/tB"
samples="$scratch/samples"
: >"$samples"

for ((run = 0; run <= runs; run++)); do
    tag=$([ $run -eq 0 ] && echo warmup || echo run)
    away tA; time_it "$tag:copy:old" "$old" --watch-file watches.wth --log-file log.txt 0
    away tA; time_it "$tag:copy:new" "$new" --watch-file watches.wth --log-file log.txt "${extra[@]}" 0
done
rm -rf trash
"$new" --watch-file watches.wth --log-file log.txt 1 >/dev/null
for ((run = 0; run <= runs; run++)); do
    tag=$([ $run -eq 0 ] && echo warmup || echo run)
    time_it "$tag:resync:old" "$old" --watch-file watches.wth --log-file log.txt 1
    time_it "$tag:resync:new" "$new" --watch-file watches.wth --log-file log.txt "${extra[@]}" 1
done

fs=$(df -T "$scratch" | awk 'NR == 2 {print $2}')
echo
echo "| Work ($fs, medians of $runs) | $rev | working tree${extra[*]:+ ${extra[*]}} | Ratio |"
echo "|---|---|---|---|"
for work in copy resync; do
    o=$(seconds "$work:old"); w=$(seconds "$work:new")
    name=$([ $work = copy ] && echo "initial copy, 10000 × 4 KiB" || echo "no-op re-sync, 100000 × 1 KiB")
    echo "| $name | $o s | $w s | $(ratio "$w" "$o") |"
done
