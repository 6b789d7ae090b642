#!/usr/bin/env bash
# Before and after in one run: builds the FFT of another revision (default HEAD, so the
# working tree's changes are what is measured) beside the working tree's, renames the
# old library's symbols so that both link into one program, and runs bench/fft_ab.cpp,
# which alternates the two in short batches and prints after/before per routine.
# Usage: bench/fft_ab.sh [REVISION] [ROUNDS]
set -euo pipefail

rev=${1:-HEAD}
rounds=${2:-200}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tulm-ab.XXXXXX")
trap 'git -C "$root" worktree remove --force "$work/old-src" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

. "$root/bench/fft_builds.sh"

# Every symbol the old library defines gets a new name: its public FFT routines
# old_<name>, the rest a prefix, so that nothing of the two libraries meets.
public='real_fft|cfft_forward|cfft_stage|cfft_stage_shifted|cfft_middle|cfft_middle_shifted|cfft_leaf|cfft_leaf_shifted|bitrev_permute|rfft_split_forward'
# shellcheck disable=SC2086  # old_lib and new_lib may name two archives each
nm --defined-only -g $old_lib 2>/dev/null | awk 'NF == 3 {print $3}' | sort -u |
    while read -r sym; do
        plain=$(echo "$sym" | c++filt | sed -n -E "s/^($public)\(.*\)$/\1/p")
        if [ -n "$plain" ]; then echo "$sym old_$plain"; else echo "$sym tulm_ab_old_$sym"; fi
    done >"$work/renames"
old_renamed=()
for lib in $old_lib; do
    old_renamed+=("$work/old-$(basename "$lib")")
    objcopy --redefine-syms="$work/renames" "$lib" "${old_renamed[-1]}"
done

c++ -O2 -std=c++17 -I"$root" "$root/bench/fft_ab.cpp" $new_lib "${old_renamed[@]}" \
    -o "$work/fft_ab"
echo "before: $(git -C "$root" rev-parse --short "$rev"); after: the working tree"
"$work/fft_ab" "$rounds"
