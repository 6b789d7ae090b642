#!/usr/bin/env bash
# `tulm render` beside `sox IN OUT` (a plain copy of the same file) in one run, on
# 10-minute and 60-minute stereo 48 kHz files made in a temporary folder: the median
# wall time and the peak memory of each, and their ratios. The tool aims at no more
# than 1.3 times the copy's time, and at a peak under 32 MB that does not grow with
# the file.
# Usage: bench/cli_speed.sh PATH/TO/tulm [runs] [minutes...]
set -euo pipefail

tool=${1:?usage: cli_speed.sh PATH/TO/tulm [runs] [minutes...]}
runs=${2:-3}
shift $(($# < 2 ? $# : 2))
lengths=("$@")
[ ${#lengths[@]} -gt 0 ] || lengths=(10 60)
command -v sox >/dev/null || { echo "cli_speed: sox is missing (scripts/install-deps.sh bench)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "cli_speed: /usr/bin/time is missing (Debian package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tulm-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Wall seconds and peak resident KB of one command, as "seconds kb".
measure() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1; cat "$work/time"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

printf "%-8s %-12s %10s %10s\n" "minutes" "command" "median s" "peak MB"
for minutes in "${lengths[@]}"; do
    seconds=$((minutes * 60))
    # A tone under pink noise, so the notch has work that looks like a real recording's.
    sox -n -r 48000 -c 2 -b 16 "$work/in.wav" synth "$seconds" pinknoise synth "$seconds" sine mix 1000 vol 0.5 2>/dev/null
    : >"$work/r"; : >"$work/c"
    for _ in $(seq "$runs"); do
        # Alternating, so that both see the same state of the machine's caches.
        measure "$tool" render "$work/in.wav" "$work/out.wav" --quiet --start 60s --hz 1000 >>"$work/r"
        measure sox "$work/in.wav" "$work/copy.wav" >>"$work/c"
        rm -f "$work/out.wav" "$work/copy.wav"
    done
    t_render=$(cut -d' ' -f1 <"$work/r" | median); m_render=$(cut -d' ' -f2 <"$work/r" | sort -g | tail -1)
    t_copy=$(cut -d' ' -f1 <"$work/c" | median); m_copy=$(cut -d' ' -f2 <"$work/c" | sort -g | tail -1)
    awk -v n="$minutes" -v tr="$t_render" -v mr="$m_render" -v tc="$t_copy" -v mc="$m_copy" 'BEGIN {
        printf "%-8s %-12s %10.2f %10.1f\n", n, "tulm render", tr, mr / 1024
        printf "%-8s %-12s %10.2f %10.1f\n", n, "sox copy", tc, mc / 1024
        printf "%-8s %-12s %10.2f %10.1f   time target <= 1.30: %s; memory target < 32 MB: %s\n", n, "ratio", tr / tc,
               mr / mc, (tr / tc <= 1.3) ? "met" : "NOT met", (mr / 1024 < 32) ? "met" : "NOT met"
    }'
    rm -f "$work/in.wav"
done
