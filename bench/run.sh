#!/usr/bin/env bash
# Times Tessel's engine (tessel-batch) against cp -a, rsync -a and find on generated trees and writes
# bench/RESULTS.md with a chart of the ratios. Self-contained: it installs what is missing, builds a
# release, makes its trees in a scratch folder and removes them at the end. CI never runs it.
#
#   bench/run.sh            the full set: five timed runs after a warm-up, alternating the commands
#   bench/run.sh --quick    trees a tenth the size and two timed runs, to try the script out
#   BENCH_DIR=/mnt/disk bench/run.sh    put the scratch folder on another file system
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=5
div=1
if [ "${1:-}" = "--quick" ]; then runs=2; div=10; fi

./tools/ensure-packages.sh build-essential cmake ccache qt6-base-dev qt6-tools-dev qt6-l10n-tools rsync time gnuplot-nox

build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF -DTESSEL_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessel-batch tessel-bench tessel-bench-window >/dev/null
batch="$root/$build/tessel-batch"
tool="$root/$build/tessel-bench"
window="$root/$build/tessel-bench-window"

scratch=$(mktemp -d "${BENCH_DIR:-$root}/.bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir trash
samples="$scratch/samples"
: >"$samples"

echo "Making the trees in $scratch ..."
"$tool" tree A $((10000 / div)) $((100 / div)) 4096
"$tool" tree B $((100000 / div)) $((1000 / div)) 1024
"$tool" tree C 1 1 $((1073741824 / div))
"$tool" tree D1 $((1000 / div)) $((10 / div > 0 ? 10 / div : 1)) 4096
"$tool" tree D100 $((100000 / div)) $((1000 / div)) 4096
"$tool" watch watches.wth "$scratch/A" "$scratch/tA" "$scratch/B" "$scratch/tB" "$scratch/C" "$scratch/tC" \
    "$scratch/D1" "$scratch/tD1" "$scratch/D100" "$scratch/tD100"
"$tool" watch window.wth "$scratch/A" "$scratch/wA"
# The wide log (a line per file) on 100,000 files: the window with and without it, tessel-batch with it.
"$tool" watch windowB.wth "$scratch/B" "$scratch/wB"
"$tool" wide-watch windowBwide.wth "$scratch/B" "$scratch/wBw"
"$tool" wide-watch wide.wth "$scratch/B" "$scratch/tBw"
sync

# time_it LABEL COMMAND...: one timed run; wall seconds and peak memory (KiB) go to the samples.
time_it() {
    local label=$1
    shift
    sync
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$scratch/rss" "$@" >/dev/null 2>"$scratch/err" || {
        cat "$scratch/err" >&2
        echo "$label failed" >&2
        exit 1
    }
    end=$(date +%s%N)
    echo "$label $(((end - start) / 1000)) $(tail -n 1 "$scratch/rss")" >>"$samples"
}

# away DIR: makes room for a fresh destination at no cost by renaming the old one.
n=0
away() {
    n=$((n + 1))
    if [ -e "$1" ]; then mv "$1" "trash/$n"; fi
}

tessel=("$batch" --watch-file watches.wth --log-file log.txt)

echo "Timing ($runs runs after a warm-up; commands alternate) ..."
for ((run = 0; run <= runs; run++)); do
    tag=$([ $run -eq 0 ] && echo warmup || echo run)
    away tA; time_it "$tag:copyA:tessel" "${tessel[@]}" 0
    away cA; time_it "$tag:copyA:cp" cp -a A cA
    away rA; time_it "$tag:copyA:rsync" rsync -a A/ rA/
    away wA; time_it "$tag:copyA:window" "$window" "$scratch/window.wth" "$scratch/window-$tag.us"
    away tD1; time_it "$tag:scale1k:tessel" "${tessel[@]}" 3
    away tD100; time_it "$tag:scale100k:tessel" "${tessel[@]}" 4
    away wB; time_it "$tag:copyB:window" "$window" "$scratch/windowB.wth" "$scratch/windowB-$tag.us"
    away wBw; time_it "$tag:copyBwide:window" "$window" "$scratch/windowBwide.wth" "$scratch/windowBwide-$tag.us" \
        "$scratch/wide-window.log"
    away tBw; time_it "$tag:copyBwide:tessel" "$batch" --watch-file wide.wth --log-file wide-batch.log 0
done
# Deleting many files makes some disks busy for a while (discards): only after the copies.
rm -rf trash

# The no-op re-sync needs an up-to-date destination first.
"${tessel[@]}" 1 >/dev/null
for ((run = 0; run <= runs; run++)); do
    tag=$([ $run -eq 0 ] && echo warmup || echo run)
    time_it "$tag:resyncB:tessel" "${tessel[@]}" 1
    time_it "$tag:resyncB:rsync" rsync -a B/ tB/
    time_it "$tag:resyncB:find" find B tB -printf '%s %T@\n'
done

for ((run = 0; run <= runs; run++)); do
    tag=$([ $run -eq 0 ] && echo warmup || echo run)
    rm -rf tC cC
    time_it "$tag:bigC:tessel" "${tessel[@]}" 2
    rm -rf tC cC
    time_it "$tag:bigC:cp" cp -a C cC
done

# --- report ----------------------------------------------------------------------------------------
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
seconds() { grep "^run:$1 " "$samples" | awk '{print $2 / 1e6}' | median; }
memory() { grep "^run:$1 " "$samples" | awk '{print $3}' | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN {print (r <= g) ? "met" : "missed"}'; }

files_A=$((10000 / div)); files_B=$((100000 / div)); files_1k=$((1000 / div)); files_100k=$((100000 / div))
tA=$(seconds copyA:tessel); cA=$(seconds copyA:cp); rA=$(seconds copyA:rsync)
# The window's own time for Check Now, without starting Qt.
wA=$(awk '{print $1 / 1e6}' "$scratch/window-run.us" | median)
wB=$(awk '{print $1 / 1e6}' "$scratch/windowB-run.us" | median)
wBw=$(awk '{print $1 / 1e6}' "$scratch/windowBwide-run.us" | median)
tBw=$(seconds copyBwide:tessel)
tB=$(seconds resyncB:tessel); rB=$(seconds resyncB:rsync); fB=$(seconds resyncB:find)
tC=$(seconds bigC:tessel); cC=$(seconds bigC:cp)
t1=$(seconds scale1k:tessel); t100=$(seconds scale100k:tessel)
per1=$(awk -v t="$t1" -v n="$files_1k" 'BEGIN {printf "%.1f", t / n * 1e6}')
per100=$(awk -v t="$t100" -v n="$files_100k" 'BEGIN {printf "%.1f", t / n * 1e6}')
scaling=$(ratio "$per100" "$per1")
m1=$(memory scale1k:tessel); m100=$(memory scale100k:tessel)

r_cp=$(ratio "$tA" "$cA"); r_rsync=$(ratio "$tA" "$rA")
r_resync=$(ratio "$tB" "$rB"); r_find=$(ratio "$tB" "$fB")
r_big=$(ratio "$tC" "$cC"); r_window=$(ratio "$wA" "$tA")
r_window_wide=$(ratio "$wBw" "$tBw"); r_wide=$(ratio "$wBw" "$wB")
scale_ok=$(awk -v r="$scaling" 'BEGIN {print (r >= 0.75 && r <= 1.25) ? "met" : "missed"}')
memory_ok=$(awk -v a="$m1" -v b="$m100" 'BEGIN {print (b <= a * 1.25 + 2048) ? "met" : "missed"}')

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
fs=$(df -T "$scratch" | awk 'NR == 2 {print $2}')
results="$root/bench/RESULTS.md"
{
    echo "# Benchmark results"
    echo
    echo "Made by \`bench/run.sh${1:+ $1}\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores ($cpu),"
    echo "$(free -g | awk '/^Mem:/ {print $2}') GiB of memory, Linux $(uname -r), scratch folder on $fs."
    echo "Medians of $runs runs after a warm-up, the commands alternating run by run, warm page cache,"
    echo "\`sync\` before every run. Peak memory from GNU time."
    echo
    echo "| Work | Tessel | Other | Ratio | Goal | |"
    echo "|---|---|---|---|---|---|"
    echo "| initial copy, $files_A × 4 KiB | ${tA} s | cp -a ${cA} s | ${r_cp} | ≤ 0.8 | $(verdict "$r_cp" 0.8) |"
    echo "| initial copy, $files_A × 4 KiB | ${tA} s | rsync -a ${rA} s | ${r_rsync} | ≤ 0.5 | $(verdict "$r_rsync" 0.5) |"
    echo "| no-op re-sync, $files_B × 1 KiB | ${tB} s | rsync -a ${rB} s | ${r_resync} | ≤ 0.75 | $(verdict "$r_resync" 0.75) |"
    echo "| no-op re-sync, $files_B × 1 KiB | ${tB} s | find SRC DST ${fB} s | ${r_find} | ≤ 1.0 | $(verdict "$r_find" 1.0) |"
    echo "| one $((1024 / div)) MiB file | ${tC} s | cp -a ${cC} s | ${r_big} | ≤ 1.15 | $(verdict "$r_big" 1.15) |"
    echo "| scaling, time per file | ${per100} µs at $files_100k files | ${per1} µs at $files_1k files | ${scaling} | 0.75 … 1.25 | ${scale_ok} |"
    echo "| scaling, peak memory | ${m100} KiB at $files_100k files | ${m1} KiB at $files_1k files | $(ratio "$m100" "$m1") | flat | ${memory_ok} |"
    echo "| window's Check Now, $files_A files | ${wA} s | tessel-batch ${tA} s | ${r_window} | ≤ 1.1 | $(verdict "$r_window" 1.1) |"
    echo "| window's Check Now, wide log, $files_B files | ${wBw} s | tessel-batch, wide log ${tBw} s | ${r_window_wide} | ≤ 1.1 | $(verdict "$r_window_wide" 1.1) |"
    echo "| window's Check Now, $files_B files: wide log against none | ${wBw} s | no wide log ${wB} s | ${r_wide} | ≤ 1.5 | $(verdict "$r_wide" 1.5) |"
    echo
    echo "![Ratios against the goals](ratios.png)"
    echo
    echo "Peak memory (KiB, medians): tessel-batch $(memory copyA:tessel), cp -a $(memory copyA:cp), rsync -a $(memory copyA:rsync),"
    echo "window $(memory copyA:window) for the initial copy; tessel-batch $(memory resyncB:tessel), rsync -a $(memory resyncB:rsync) for the re-sync."
} >"$results.new"

cat >"$scratch/ratios.dat" <<DATA
"copy vs cp" $r_cp 0.8
"copy vs rsync" $r_rsync 0.5
"re-sync vs rsync" $r_resync 0.75
"re-sync vs find" $r_find 1.0
"1 GiB vs cp" $r_big 1.15
"100k/1k per file" $scaling 1.25
"window vs batch" $r_window 1.1
"window vs batch, wide log" $r_window_wide 1.1
"window: wide log vs none" $r_wide 1.5
DATA
gnuplot <<PLOT
set terminal pngcairo size 900,420 font "sans,10"
set output "$root/bench/ratios.png"
set title "Tessel against other tools: time ratio (lower is better); red dots mark the goals"
set style data histograms
set style fill solid 0.8 border -1
set boxwidth 0.6
set yrange [0:*]
set grid ytics
set xtics rotate by -20
plot "$scratch/ratios.dat" using 2:xtic(1) title "measured" linecolor rgb "#3a6ea5", \
     "" using 0:3 with points pointtype 7 pointsize 1.5 linecolor rgb "#c0392b" title "goal"
PLOT

# Keep the notes written by hand below the generated table.
if [ -f "$results" ] && grep -q '^## Notes' "$results"; then
    echo >>"$results.new"
    sed -n '/^## Notes/,$p' "$results" >>"$results.new"
    echo >>"$results.new"
fi
mv "$results.new" "$results"
cat "$results"
