#!/usr/bin/env bash
# Times a watch that runs on change, followed by tessel-batch follow, on a tree of 1,000,000 files in
# 1,000 folders: from a file's close to its copy in place over 200 changes spread over the tree; the
# follower's share of a core and its memory while nothing changes (with the kernel's memory for its
# follows); a burst of 10,000 new files in 10 folders; a renamed folder of 10,000 files; each against
# a full run of the same watch, which is what a timed watch does. Prints a Markdown table. CI never
# runs it.
#
#   bench/follow.sh
#   BENCH_DIR=/dev/shm bench/follow.sh   the trees on another file system (tmpfs here)
#   FILES=100000 FOLDERS=100 bench/follow.sh   a smaller tree, to try the script
#   IDLE=60 CHANGES=200 DELAY=2   the seconds measured while idle, the changes timed, the watch's delay
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
files=${FILES:-1000000}
folders=${FOLDERS:-1000}
idle=${IDLE:-60}
changes=${CHANGES:-200}
delay=${DELAY:-2}
burst=10000

./tools/ensure-packages.sh build-essential cmake ccache libsystemd-dev pkgconf time

build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF -DTESSEL_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessel-batch tessel-bench tessel-bench-follow >/dev/null
batch="$root/$build/tessel-batch"
tool="$root/$build/tessel-bench"
follow="$root/$build/tessel-bench-follow"

scratch=$(mktemp -d "${BENCH_DIR:-$root}/.bench-follow-XXXXXX")
follower=
stop_follower() {
    if [ -n "$follower" ]; then
        kill -TERM "$follower"
        wait "$follower" || true
        follower=
    fi
}
trap 'stop_follower; rm -rf "$scratch"' EXIT
cd "$scratch"
. "$root/bench/timing.sh"
samples="$scratch/samples"
: >"$samples"

echo "Making $files files in $folders folders, and a folder of $burst ..."
"$tool" tree S "$files" "$folders" 256
"$tool" tree big "$burst" 1 256
mv big/d0 S/big
"$batch" --folder "$scratch" add w --source "$scratch/S" --destination "$scratch/T" --run-mode on-change \
    --change-delay "$delay" >/dev/null
echo "The first copy ..."
"$batch" --folder "$scratch" --quiet w
# The full run of the same watch with nothing to do: what a timed watch does every period.
for run in 0 1 2 3; do
    time_it "$([ $run -eq 0 ] && echo warmup || echo run):full" "$batch" --folder "$scratch" --quiet w
done

# The kernel's memory for the follows: the inotify marks' slab, before and after (root only).
marks() { awk '$1 == "inotify_inode_mark" {print $3 * $4}' /proc/slabinfo 2>/dev/null || true; }
start_follower() {
    "$batch" --folder "$scratch" --quiet --no-notify follow &
    follower=$!
    # Followed once its first full run has ended.
    local summaries
    summaries=$(grep -c "^.*Summary of watch w" WatchLog.Log || true)
    until [ "$(grep -c "Summary of watch w" WatchLog.Log || true)" -gt "$summaries" ]; do sleep 0.2; done
}
before=$(marks)
start_follower
after=$(marks)
echo "Following; idle for $idle s ..."
sleep 5
read -r cpu peak rss watches < <("$follow" usage "$follower" "$idle")
kernel=$([ -n "$before" ] && [ -n "$after" ] && echo "$(((after - before) / 1024)) KiB" || echo "not readable")

echo "$changes changes ..."
read -r median p95 < <("$follow" latency "$scratch/S" "$scratch/T" "$changes" "$folders")

echo "A burst of $burst files in 10 folders ..."
start=$(date +%s%N)
"$tool" tree S/burst "$burst" 10 256
made=$(date +%s%N)
"$follow" wait-files T/burst "$burst" 600 >/dev/null
# From the last file's close: the quiet delay, then the work.
burst_time=$(awk -v n=$(($(date +%s%N) - made)) 'BEGIN {print n / 1e9}')
burst_made=$(awk -v n=$((made - start)) 'BEGIN {print n / 1e9}')

echo "A renamed folder of $burst files ..."
inode=$(stat -c %i T/big)
start=$(date +%s%N)
mv S/big S/big-renamed
until [ -d T/big-renamed ] && [ ! -e T/big ]; do sleep 0.001; done
rename_time=$(awk -v n=$(($(date +%s%N) - start)) 'BEGIN {print n / 1e9}')
renamed=$([ "$(stat -c %i T/big-renamed)" = "$inode" ] && echo "one rename" || echo "copied")
stop_follower

# The same burst by a full run: the files made again in another folder, copied by the next full run.
"$tool" tree S/burst2 "$burst" 10 256
time_it "run:burst-full" "$batch" --folder "$scratch" --quiet w

full=$(seconds full)
burst_full=$(seconds burst-full)
fs=$(df -T "$scratch" | awk 'NR == 2 {print $2}')
goal_latency=$(awk -v d="$delay" 'BEGIN {print d + 0.5}')
after_delay() { awk -v t="$1" -v d="$delay" 'BEGIN {print t - d}'; }
echo
echo "| Following $files files in $folders folders ($fs), delay $delay s | Measured | Against | Ratio | Goal | |"
echo "|---|---|---|---|---|---|"
echo "| close to copy, median of $changes | $median s | a full run $full s | $(ratio "$median" "$full") | ≤ $goal_latency s | $(verdict "$median" "$goal_latency") |"
echo "| close to copy, 95th percentile | $p95 s | a full run $full s | $(ratio "$p95" "$full") | ≤ $goal_latency s | $(verdict "$p95" "$goal_latency") |"
echo "| idle, share of one core over $idle s | $cpu % | | | ≤ 0.5 % | $(verdict "$cpu" 0.5) |"
echo "| idle, the follower's memory (peak) | $((peak / 1024)) MiB ($((rss / 1024)) MiB now; kernel: $kernel for $watches follows) | | | ≤ 64 MiB | $(verdict "$((peak / 1024))" 64) |"
burst_work=$(after_delay "$burst_time")
rename_work=$(after_delay "$rename_time")
echo "| burst of $burst files in 10 folders (made in $burst_made s): done after the last, less the delay | $burst_work s ($burst_time s in all) | a full run copying them $burst_full s | $(ratio "$burst_work" "$burst_full") | ≤ 1.2 | $(verdict "$(ratio "$burst_work" "$burst_full")" 1.2) |"
echo "| renamed folder of $burst files, less the delay | $rename_work s ($rename_time s in all; $renamed) | | | ≤ 1 s | $(verdict "$rename_work" 1) |"
