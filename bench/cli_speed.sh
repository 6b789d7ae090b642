#!/usr/bin/env bash
# Speed of `tulm render` on a 10-minute stereo 48 kHz file, beside `sox IN OUT` (a plain
# copy of the same file) in the same run. Prints both times and their ratio; the tool
# aims at no more than 1.5 times the copy.
# Usage: bench/cli_speed.sh PATH/TO/tulm [runs]
set -euo pipefail

tool=${1:?usage: cli_speed.sh PATH/TO/tulm [runs]}
runs=${2:-10}
command -v sox >/dev/null || { echo "cli_speed: sox is missing (scripts/install-deps.sh bench)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tulm-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A tone under pink noise, so the notch has work that looks like a real recording's.
sox -n -r 48000 -c 2 -b 16 "$work/in.wav" synth 600 pinknoise synth 600 sine mix 1000 vol 0.5
echo "input: $(soxi -D "$work/in.wav") s, $(soxi -r "$work/in.wav") Hz, $(soxi -c "$work/in.wav") channels, $(du -h "$work/in.wav" | cut -f1)"

render=("$tool" render "$work/in.wav" "$work/out.wav" --quiet --start 60s --hz 1000)
copy=(sox "$work/in.wav" "$work/copy.wav")

if command -v hyperfine >/dev/null; then
    hyperfine --warmup 1 --runs "$runs" --style basic --export-json "$work/times.json" \
        -n "tulm render" "${render[*]}" -n "sox copy" "${copy[*]}" >&2
    read -r t_render t_copy < <(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"]
print(r[0]["median"], r[1]["median"])' "$work/times.json")
else
    # Median of `runs` wall-clock times, alternating the two commands.
    median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
    : >"$work/r"; : >"$work/c"
    for _ in $(seq "$runs"); do
        s=$(date +%s.%N); "${render[@]}"; e=$(date +%s.%N); echo "$e - $s" | bc >>"$work/r"
        s=$(date +%s.%N); "${copy[@]}"; e=$(date +%s.%N); echo "$e - $s" | bc >>"$work/c"
    done
    t_render=$(median <"$work/r"); t_copy=$(median <"$work/c")
fi

awk -v r="$t_render" -v c="$t_copy" 'BEGIN {
    printf "%-14s %10s\n", "command", "median s"
    printf "%-14s %10.3f\n", "tulm render", r
    printf "%-14s %10.3f\n", "sox copy", c
    printf "ratio tulm/sox: %.2f (target at most 1.50): %s\n", r / c, (r / c <= 1.5) ? "met" : "NOT met"
}'
