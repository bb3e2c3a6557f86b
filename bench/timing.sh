# What the benchmark scripts share; sourced, not run. The caller sets $scratch (a scratch folder) and
# $samples (the file the timings go to).

# time_it LABEL COMMAND...: one timed run after a sync; the wall time in microseconds and the peak
# memory in KiB go to the samples as "LABEL MICROSECONDS KIB".
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

# away DIR: makes room for a fresh destination at no cost by renaming the old one into trash/.
away_count=0
away() {
    away_count=$((away_count + 1))
    mkdir -p trash
    if [ -e "$1" ]; then mv "$1" "trash/$away_count"; fi
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# The median seconds and peak KiB of the timed runs (not the warm-ups) labelled LABEL.
seconds() { grep "^run:$1 " "$samples" | awk '{print $2 / 1e6}' | median; }
memory() { grep "^run:$1 " "$samples" | awk '{print $3}' | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN {print (r <= g) ? "met" : "missed"}'; }
