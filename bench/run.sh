#!/usr/bin/env bash
# Times Tessel's engine (tessel-batch) against cp -a, rsync -a and find on generated trees, on the
# project's disk and on tmpfs, and writes bench/RESULTS.md with a chart of the ratios. Self-contained:
# it installs what is missing, builds a release, makes its trees in scratch folders and removes them
# at the end. CI never runs it.
#
#   bench/run.sh            the full set: five timed runs after a warm-up, alternating the commands
#   bench/run.sh --quick    trees a tenth the size and two timed runs, to try the script out
#   BENCH_DIRS="/mnt/disk /dev/shm" bench/run.sh    the file systems to measure on (the first also
#                           times the window); default: the project's folder and /dev/shm
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=5
div=1
if [ "${1:-}" = "--quick" ]; then runs=2; div=10; fi

./tools/ensure-packages.sh build-essential cmake ccache libtomlplusplus-dev qt6-base-dev qt6-tools-dev qt6-l10n-tools rsync time gnuplot-nox

build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSEL_TESTS=OFF -DTESSEL_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessel-batch tessel-bench tessel-bench-window >/dev/null
batch="$root/$build/tessel-batch"
tool="$root/$build/tessel-bench"
window="$root/$build/tessel-bench-window"
jobs=$(nproc); [ "$jobs" -gt 8 ] && jobs=8

dirs=${BENCH_DIRS:-"$root $([ "$(df -T /dev/shm 2>/dev/null | awk 'NR == 2 {print $2}')" = tmpfs ] && echo /dev/shm)"}
scratches=()
trap 'rm -rf "${scratches[@]}"' EXIT

. "$root/bench/timing.sh"

# measure DIR FIRST: makes the trees in a scratch folder below DIR, times everything there, and leaves
# the figures in $report (a Markdown section) and $chart (the chart's data).
measure() {
    local base=$1 first=$2
    local scratch
    scratch=$(mktemp -d "$base/.bench-XXXXXX")
    scratches+=("$scratch")
    samples="$scratch/samples"
    : >"$samples"
    pushd "$scratch" >/dev/null
    echo "Making the trees in $scratch ..."
    "$tool" tree A $((10000 / div)) $((100 / div)) 4096
    "$tool" tree B $((100000 / div)) $((1000 / div)) 1024
    "$tool" tree C 1 1 $((1073741824 / div))
    "$tool" watch watches.wth "$scratch/A" "$scratch/tA" "$scratch/B" "$scratch/tB" "$scratch/C" "$scratch/tC" \
        "$scratch/A" "$scratch/vA"
    "$tool" watch window.wth "$scratch/A" "$scratch/wA"
    # The wide log (a line per file) on 100,000 files: the window with and without it, tessel-batch with it.
    "$tool" watch windowB.wth "$scratch/B" "$scratch/wB"
    "$tool" wide-watch windowBwide.wth "$scratch/B" "$scratch/wBw"
    "$tool" wide-watch wide.wth "$scratch/B" "$scratch/tBw"
    # Versions on and off: Tessel.ini of a folder of its own each.
    mkdir versions-on versions-off
    printf '[Main]\nKeepVersions=1\n' >versions-on/Tessel.ini
    printf '[Main]\nKeepVersions=0\n' >versions-off/Tessel.ini
    sync

    local tessel=("$batch" --watch-file watches.wth --log-file log.txt)

    echo "Timing ($runs runs after a warm-up; commands alternate) ..."
    local run tag
    for ((run = 0; run <= runs; run++)); do
        tag=$([ $run -eq 0 ] && echo warmup || echo run)
        away tA; time_it "$tag:copyA:tessel" "${tessel[@]}" 0
        away cA; time_it "$tag:copyA:cp" cp -a A cA
        away rA; time_it "$tag:copyA:rsync" rsync -a A/ rA/
        for j in 1 2 4; do away tA; time_it "$tag:copyA:jobs$j" "${tessel[@]}" --jobs "$j" 0; done
        if [ "$first" = yes ]; then
            away wA; time_it "$tag:copyA:window" "$window" "$scratch/window.wth" "$scratch/window-$tag.us"
            away wB; time_it "$tag:copyB:window" "$window" "$scratch/windowB.wth" "$scratch/windowB-$tag.us"
            away wBw; time_it "$tag:copyBwide:window" "$window" "$scratch/windowBwide.wth" \
                "$scratch/windowBwide-$tag.us" "$scratch/wide-window.log"
            away tBw; time_it "$tag:copyBwide:tessel" "$batch" --watch-file wide.wth --log-file wide-batch.log 0
        fi
    done
    # Deleting many files makes some disks busy for a while (discards): only after the copies.
    rm -rf trash

    # The no-op re-sync needs an up-to-date destination first.
    "${tessel[@]}" 1 >/dev/null
    for ((run = 0; run <= runs; run++)); do
        tag=$([ $run -eq 0 ] && echo warmup || echo run)
        time_it "$tag:resyncB:tessel" "${tessel[@]}" 1
        time_it "$tag:resyncB:jobs1" "${tessel[@]}" --jobs 1 1
        time_it "$tag:resyncB:preview" "${tessel[@]}" --preview 1
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

    # A re-sync that replaces every one of A's files, with versions kept and without.
    "${tessel[@]}" 3 >/dev/null
    local stamp=0
    for ((run = 0; run <= runs; run++)); do
        tag=$([ $run -eq 0 ] && echo warmup || echo run)
        for kept in on off; do
            stamp=$((stamp + 60))
            find A -type f -exec touch -d "@$((1700000000 + stamp))" {} +
            time_it "$tag:replaceA:$kept" "$batch" --folder "versions-$kept" --watch-file "$scratch/watches.wth" \
                --log-file "$scratch/log.txt" 3
        done
    done
    popd >/dev/null

    local files_A=$((10000 / div)) files_B=$((100000 / div))
    local tA cA rA tB j1B pB rB fB tC cC vOn vOff j1 j2 j4
    tA=$(seconds copyA:tessel); cA=$(seconds copyA:cp); rA=$(seconds copyA:rsync)
    tB=$(seconds resyncB:tessel); j1B=$(seconds resyncB:jobs1); pB=$(seconds resyncB:preview)
    rB=$(seconds resyncB:rsync); fB=$(seconds resyncB:find)
    tC=$(seconds bigC:tessel); cC=$(seconds bigC:cp)
    vOn=$(seconds replaceA:on); vOff=$(seconds replaceA:off)
    j1=$(seconds copyA:jobs1); j2=$(seconds copyA:jobs2); j4=$(seconds copyA:jobs4)
    local fs
    fs=$(df -T "$scratch" | awk 'NR == 2 {print $2}')
    local r_cp r_rsync r_resync r_find r_big r_mem r_preview r_versions
    r_cp=$(ratio "$tA" "$cA"); r_rsync=$(ratio "$tA" "$rA")
    r_resync=$(ratio "$tB" "$rB"); r_find=$(ratio "$tB" "$fB"); r_big=$(ratio "$tC" "$cC")
    r_mem=$(ratio "$(memory resyncB:tessel)" "$(memory resyncB:jobs1)")
    r_preview=$(ratio "$pB" "$tB"); r_versions=$(ratio "$vOn" "$vOff")
    report+="
## On $fs ($base)

| Work | Tessel ($jobs jobs) | Other | Ratio | Goal | |
|---|---|---|---|---|---|
| initial copy, $files_A × 4 KiB | ${tA} s | cp -a ${cA} s | ${r_cp} | ≤ 0.5 | $(verdict "$r_cp" 0.5) |
| initial copy, $files_A × 4 KiB | ${tA} s | rsync -a ${rA} s | ${r_rsync} | ≤ 0.35 | $(verdict "$r_rsync" 0.35) |
| no-op re-sync, $files_B × 1 KiB | ${tB} s | rsync -a ${rB} s | ${r_resync} | ≤ 0.5 | $(verdict "$r_resync" 0.5) |
| no-op re-sync, $files_B × 1 KiB | ${tB} s | find SRC DST ${fB} s | ${r_find} | ≤ 0.8 | $(verdict "$r_find" 0.8) |
| one $((1024 / div)) MiB file | ${tC} s | cp -a ${cC} s | ${r_big} | ≤ 1.05 | $(verdict "$r_big" 1.05) |
| peak memory, no-op re-sync of $files_B files | $(memory resyncB:tessel) KiB | one job $(memory resyncB:jobs1) KiB | ${r_mem} | ≤ 1.2 | $(verdict "$r_mem" 1.2) |
| preview of the no-op re-sync | ${pB} s | the re-sync ${tB} s | ${r_preview} | ≤ 1.1 | $(verdict "$r_preview" 1.1) |
| re-sync replacing $files_A files, versions kept | ${vOn} s | without versions ${vOff} s | ${r_versions} | ≤ 1.1 | $(verdict "$r_versions" 1.1) |

Jobs on the initial copy of $files_A × 4 KiB (speed-up against one job): 1 job ${j1} s, 2 jobs ${j2} s
($(ratio "$j1" "$j2") ×), 4 jobs ${j4} s ($(ratio "$j1" "$j4") ×). The no-op re-sync with one job: ${j1B} s
($(ratio "$j1B" "$tB") × slower than with $jobs).

Peak memory (KiB, medians): tessel-batch $(memory copyA:tessel), cp -a $(memory copyA:cp), rsync -a $(memory copyA:rsync)
for the initial copy; tessel-batch $(memory resyncB:tessel), rsync -a $(memory resyncB:rsync) for the re-sync.
"
    chart+="\"copy vs cp ($fs)\" $r_cp 0.5
\"copy vs rsync ($fs)\" $r_rsync 0.35
\"re-sync vs rsync ($fs)\" $r_resync 0.5
\"re-sync vs find ($fs)\" $r_find 0.8
\"1 GiB vs cp ($fs)\" $r_big 1.05
"
    if [ "$first" = yes ]; then
        local wA wB wBw tBw r_window r_window_wide r_wide
        # The window's own time for Check Now, without starting Qt.
        wA=$(awk '{print $1 / 1e6}' "$scratch/window-run.us" | median)
        wB=$(awk '{print $1 / 1e6}' "$scratch/windowB-run.us" | median)
        wBw=$(awk '{print $1 / 1e6}' "$scratch/windowBwide-run.us" | median)
        tBw=$(seconds copyBwide:tessel)
        r_window=$(ratio "$wA" "$tA"); r_window_wide=$(ratio "$wBw" "$tBw"); r_wide=$(ratio "$wBw" "$wB")
        report+="
| The window ($fs) | Window | Other | Ratio | Goal | |
|---|---|---|---|---|---|
| Check Now, $files_A files | ${wA} s | tessel-batch ${tA} s | ${r_window} | ≤ 1.1 | $(verdict "$r_window" 1.1) |
| Check Now, wide log, $files_B files | ${wBw} s | tessel-batch, wide log ${tBw} s | ${r_window_wide} | ≤ 1.1 | $(verdict "$r_window_wide" 1.1) |
| Check Now, $files_B files: wide log against none | ${wBw} s | no wide log ${wB} s | ${r_wide} | ≤ 1.5 | $(verdict "$r_wide" 1.5) |

The window's peak memory on the initial copy: $(memory copyA:window) KiB.
"
        chart+="\"window vs batch\" $r_window 1.1
\"window vs batch, wide log\" $r_window_wide 1.1
\"window: wide log vs none\" $r_wide 1.5
"
    fi
    rm -rf "$scratch"
}

report=""
chart=""
first=yes
for base in $dirs; do
    measure "$base" "$first"
    first=no
done

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
results="$root/bench/RESULTS.md"
{
    echo "# Benchmark results"
    echo
    echo "Made by \`bench/run.sh${1:+ $1}\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores ($cpu),"
    echo "$(free -g | awk '/^Mem:/ {print $2}') GiB of memory, Linux $(uname -r). Tessel with $jobs jobs (one per"
    echo "core) unless a row says otherwise. Medians of $runs runs after a warm-up, the commands alternating run by"
    echo "run, warm page cache, \`sync\` before every run. Peak memory from GNU time."
    echo
    echo "![Ratios against the goals](ratios.png)"
    echo "$report"
} >"$results.new"

printf '%s' "$chart" >"$root/bench/.ratios.dat"
gnuplot <<PLOT
set terminal pngcairo size 1100,460 font "sans,10"
set output "$root/bench/ratios.png"
set title "Tessel against other tools: time ratio (lower is better); red dots mark the goals"
set style data histograms
set style fill solid 0.8 border -1
set boxwidth 0.6
set yrange [0:*]
set grid ytics
set key top left
set xtics rotate by -30
plot "$root/bench/.ratios.dat" using 2:xtic(1) title "measured" linecolor rgb "#3a6ea5", \
     "" using 0:3 with points pointtype 7 pointsize 1.5 linecolor rgb "#c0392b" title "goal"
PLOT
rm -f "$root/bench/.ratios.dat"

# Keep the notes written by hand below the generated tables.
if [ -f "$results" ] && grep -q '^## Notes' "$results"; then
    echo >>"$results.new"
    sed -n '/^## Notes/,$p' "$results" >>"$results.new"
    echo >>"$results.new"
fi
mv "$results.new" "$results"
cat "$results"
