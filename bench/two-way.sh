#!/usr/bin/env bash
# Times the no-op run of a two-way watch against the no-op run of a one-way watch over the same
# 100,000 files of 1 KiB, run for run alternately, and measures what the two-way watch's state takes
# in memory. Prints a Markdown table of the medians. CI never runs it.
#
#   bench/two-way.sh
#   BENCH_DIR=/dev/shm bench/two-way.sh   the trees on another file system (tmpfs here)
#   RUNS=9 bench/two-way.sh               more timed runs (default 7, after a warm-up)
#   FILES=1000 bench/two-way.sh           a smaller tree, to try the script
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-7}
files=${FILES:-100000}

./tools/ensure-packages.sh build-essential cmake ccache time

build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF -DTESSEL_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessel-batch tessel-bench >/dev/null
batch="$root/$build/tessel-batch"
tool="$root/$build/tessel-bench"

scratch=$(mktemp -d "${BENCH_DIR:-$root}/.bench-two-way-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
. "$root/bench/timing.sh"
"$tool" tree B "$files" 1000 1024
"$tool" watch one.wth "$scratch/B" "$scratch/tB"
"$tool" watch-both both.wth "$scratch/B" "$scratch/tB"
# The copy, then the first two-way run, which finds both sides alike and writes the state (under the
# data folder of this folder, Data/state).
"$batch" --watch-file one.wth --log-file log.txt 0 >/dev/null
"$batch" --watch-file both.wth --log-file log.txt 0 >/dev/null
state=$(ls Data/state/*.state)
samples="$scratch/samples"
: >"$samples"

for ((run = 0; run <= runs; run++)); do
    tag=$([ $run -eq 0 ] && echo warmup || echo run)
    time_it "$tag:one" "$batch" --watch-file one.wth --log-file log.txt 0
    time_it "$tag:both" "$batch" --watch-file both.wth --log-file log.txt 0
done
if grep -q -e Copied -e Delete -e Conflict -e Error log.txt; then
    echo "a run that should have had nothing to do did something:" >&2
    grep -e Copied -e Delete -e Conflict -e Error log.txt >&2
    exit 1
fi

fs=$(df -T "$scratch" | awk 'NR == 2 {print $2}')
one=$(seconds one)
both=$(seconds both)
echo
echo "| No-op run, $files × 1 KiB ($fs, medians of $runs) | Time | Peak memory |"
echo "|---|---|---|"
echo "| one-way watch | $one s | $(memory one) KiB |"
echo "| two-way watch | $both s | $(memory both) KiB |"
echo "| ratio | $(ratio "$both" "$one") | |"
echo
echo "State file: $(stat -c %s "$state") bytes; in memory: $("$tool" state "$state" "$scratch/B/" "$scratch/tB/")"
