#!/usr/bin/env bash
# Times tessel-batch copying one 1 GiB file within btrfs and within xfs, where its copy is a clone
# (FICLONE: the copy shares the source's blocks), against a byte copy of the same file
# (cp --reflink=never), on loop images of its own, and checks that the copy really shares its extents
# (filefrag). Needs root. Prints a Markdown table; bench/RESULTS.md keeps the latest. CI never runs it.
#
#   bench/clone.sh            five timed runs after a warm-up, alternating the two copies
#   RUNS=9 bench/clone.sh     more runs
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-5}
[ "$(id -u)" -eq 0 ] || { echo "bench/clone.sh mounts loop images: run it as root" >&2; exit 1; }

./tools/ensure-packages.sh build-essential cmake ccache time btrfs-progs xfsprogs e2fsprogs

build=build-compare
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF -DTESSEL_BENCH=ON -DTESSEL_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessel-batch tessel-bench >/dev/null
batch="$root/$build/tessel-batch"
tool="$root/$build/tessel-bench"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessel-clone.XXXXXX")
points=()
loops=()
cleanup() {
    for point in "${points[@]}"; do umount "$point" 2>/dev/null || umount -l "$point"; done
    for loop in "${loops[@]}"; do losetup -d "$loop" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT
. "$root/bench/timing.sh"
samples="$scratch/samples"
: >"$samples"

rows=()
for fs in btrfs xfs; do
    truncate -s 4G "$scratch/$fs.img"
    if [ $fs = btrfs ]; then mkfs.btrfs -q "$scratch/$fs.img" >/dev/null; else mkfs.xfs -q "$scratch/$fs.img"; fi
    loop=$(losetup -f --show "$scratch/$fs.img")
    loops+=("$loop")
    point="$scratch/$fs"
    mkdir -p "$point"
    mount "$loop" "$point"
    points+=("$point")
    pushd "$point" >/dev/null
    "$tool" tree C 1 1 1073741824
    "$tool" watch watches.wth "$point/C" "$point/tC"
    file=C/d0/f0.dat
    for ((run = 0; run <= runs; run++)); do
        tag=$([ $run -eq 0 ] && echo warmup || echo run)
        rm -rf tC bytes.dat
        time_it "$tag:$fs:tessel" "$batch" --watch-file watches.wth --log-file log.txt 0
        time_it "$tag:$fs:bytes" cp --reflink=never "$file" bytes.dat
    done
    shared=$(filefrag -v tC/d0/f0.dat | grep -c shared || true)
    [ "$shared" -gt 0 ] || { echo "the copy on $fs shares no extent with its source" >&2; exit 1; }
    popd >/dev/null
    t=$(seconds "$fs:tessel")
    b=$(seconds "$fs:bytes")
    rows+=("| $fs | $t s | $b s | $(ratio "$t" "$b") | $(verdict "$(ratio "$t" "$b")" 0.10) | $shared shared extents |")
done

echo "| 1 GiB file copied within (medians of $runs) | tessel-batch (clone) | cp --reflink=never | Ratio | Goal ≤ 0.10 | filefrag of the copy |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
