#!/usr/bin/env bash
# Same bits before and after: builds bench/fft_dump.cpp once against the FFT of another
# revision (default main) and once against the working tree, and compares what every
# routine writes at every size, byte for byte: the working tree one transform at a
# time, side by side in the batch layout (the lane copies compiled for the baseline and
# for AVX), and through real_fft_batch.
# Usage: bench/fft_same_bits.sh [REVISION]
set -euo pipefail

rev=${1:-main}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tulm-bits.XXXXXX")
trap 'git -C "$root" worktree remove --force "$work/old-src" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

. "$root/bench/fft_builds.sh"

dump="$root/bench/fft_dump.cpp"
c++ -O2 -std=c++17 -I"$work/old-src" -iquote "$work/old-src" "$dump" $old_lib -o "$work/dump-old"
c++ -O2 -std=c++17 -I"$root" "$dump" $new_lib -o "$work/dump-new"
c++ -O2 -std=c++17 -mavx -I"$root" "$dump" $new_lib -o "$work/dump-new-avx"
"$work/dump-old" >"$work/old.bin" 2>/dev/null
"$work/dump-new" >"$work/new.bin" 2>/dev/null
"$work/dump-new" --lanes >"$work/lanes.bin" 2>/dev/null
status=0
check() {  # label, file[, reference]
    if cmp "${3:-$work/old.bin}" "$2"; then echo "same bits: $1 ($(stat -c %s "$2") bytes)"; else status=1; fi
}
check "one transform at a time" "$work/new.bin"
check "side by side, baseline lane copies, real_fft_batch" "$work/lanes.bin"
if grep -qw avx /proc/cpuinfo; then
    "$work/dump-new-avx" --lanes >"$work/lanes-avx.bin" 2>/dev/null
    check "side by side, AVX lane copies, real_fft_batch" "$work/lanes-avx.bin"
fi
echo "before: $(git -C "$root" rev-parse --short "$rev"); after: the working tree"
exit $status
