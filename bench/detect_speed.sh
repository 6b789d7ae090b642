#!/usr/bin/env bash
# `tulm detect` beside `sox IN OUT` (a plain copy of the same file) in one run, on
# 10-minute and 60-minute stereo 48 kHz files made in a temporary folder: pink noise
# alone, and with a steady 1 kHz tone under it. For each: the median wall time, the
# median CPU time (user + system) and the peak memory, and their ratios to the copy's;
# then, for each length, each build's CPU time with the tone over its time without it.
# detect aims at a peak under 64 MB that does not grow with the file. With
# TULM_BEFORE=PATH/TO/another/tulm, that build is timed too, in the same run.
# Usage: bench/detect_speed.sh PATH/TO/tulm [runs] [minutes...]
set -euo pipefail

tool=${1:?usage: detect_speed.sh PATH/TO/tulm [runs] [minutes...]}
runs=${2:-3}
shift $(($# < 2 ? $# : 2))
lengths=("$@")
[ ${#lengths[@]} -gt 0 ] || lengths=(10 60)
command -v sox >/dev/null || { echo "detect_speed: sox is missing (scripts/install-deps.sh bench)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "detect_speed: /usr/bin/time is missing (Debian package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tulm-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Wall seconds, CPU seconds and peak resident KB of one command, as "wall cpu kb". GNU
# time writes a line of its own ahead of its figures when the command exits non-zero
# (detect does, 4, when it finds no tone): only the last line holds them.
measure() {
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$work/time" | awk '{print $1, $2 + $3, $4}'
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
column_median() { cut -d' ' -f"$2" <"$1" | median; }
column_max() { cut -d' ' -f"$2" <"$1" | sort -g | tail -1; }

printf "%-8s %-6s %-14s %9s %9s %9s %11s %10s %10s\n" "minutes" "input" "command" "wall s" "cpu s" "peak MB" \
    "wall ratio" "cpu ratio" "MB ratio"
for minutes in "${lengths[@]}"; do
    seconds=$((minutes * 60))
    for input in noise tone; do
        if [ "$input" = noise ]; then
            sox -n -r 48000 -c 2 -b 16 "$work/in.wav" synth "$seconds" pinknoise vol 0.5 2>/dev/null
        else
            sox -n -r 48000 -c 2 -b 16 "$work/in.wav" synth "$seconds" pinknoise synth "$seconds" sine mix 1000 \
                vol 0.5 2>/dev/null
        fi
        names=("tulm detect") commands=("$tool")
        if [ -n "${TULM_BEFORE:-}" ]; then names+=("before detect"); commands+=("$TULM_BEFORE"); fi
        for i in "${!names[@]}"; do : >"$work/t$i"; done
        : >"$work/c"
        for _ in $(seq "$runs"); do
            # Alternating, so that all see the same state of the machine's caches.
            for i in "${!names[@]}"; do
                # A build from before detect had a progress bar has no --quiet, and needs none.
                quiet=$("${commands[$i]}" detect --help 2>/dev/null | grep -q -- --quiet && echo --quiet || true)
                measure "${commands[$i]}" detect "$work/in.wav" $quiet >>"$work/t$i"
            done
            measure sox "$work/in.wav" "$work/copy.wav" >>"$work/c"
            rm -f "$work/copy.wav"
        done
        cw=$(column_median "$work/c" 1); cc=$(column_median "$work/c" 2); cm=$(column_max "$work/c" 3)
        for i in "${!names[@]}"; do
            [ "$input" = noise ] && noise_cpu[$i]=$(column_median "$work/t$i" 2)
            [ "$input" = tone ] && tone_cpu[$i]=$(column_median "$work/t$i" 2)
            awk -v n="$minutes" -v src="$input" -v name="${names[$i]}" -v w="$(column_median "$work/t$i" 1)" \
                -v c="$(column_median "$work/t$i" 2)" -v m="$(column_max "$work/t$i" 3)" -v cw="$cw" -v cc="$cc" \
                -v cm="$cm" 'BEGIN {
                printf "%-8s %-6s %-14s %9.2f %9.2f %9.1f %11.2f %10.2f %10.2f\n", n, src, name, w, c, m / 1024,
                       w / cw, c / (cc > 0 ? cc : 0.01), m / cm }'
        done
        awk -v n="$minutes" -v src="$input" -v w="$cw" -v c="$cc" -v m="$cm" 'BEGIN {
            printf "%-8s %-6s %-14s %9.2f %9.2f %9.1f\n", n, src, "sox copy", w, c, m / 1024 }'
        rm -f "$work/in.wav"
    done
    # What a steady tone costs over the noise alone, each build against its own noise run.
    for i in "${!names[@]}"; do
        awk -v n="$minutes" -v name="${names[$i]}" -v t="${tone_cpu[$i]}" -v z="${noise_cpu[$i]}" 'BEGIN {
            printf "%-8s %-6s %-14s %9s %9.2f  tone cpu / noise cpu\n", n, "ratio", name, "", t / (z > 0 ? z : 0.01) }'
    done
done
