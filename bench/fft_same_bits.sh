#!/usr/bin/env bash
# Same bits before and after: builds bench/fft_dump.cpp once against the FFT of another
# revision (default main) and once against the working tree, and compares what every
# routine writes at every size, byte for byte: the working tree one transform at a
# time, side by side in the batch layout (the lane copies compiled for the baseline and
# for AVX), and through real_fft_batch. Then the same for the span renderer over a
# matrix of settings and media (bench/render_dump.cpp).
# Usage: bench/fft_same_bits.sh [REVISION]
set -euo pipefail

rev=${1:-main}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tulm-bits.XXXXXX")
trap 'git -C "$root" worktree remove --force "$work/old-src" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

git -C "$root" worktree add --detach "$work/old-src" "$rev" >/dev/null 2>&1
build() {  # source dir, build dir
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTULM_TESTS=OFF -DTULM_BENCH=OFF \
        -DTULM_CLI=OFF >/dev/null
    cmake --build "$2" --target tulm_core >/dev/null
}
build "$work/old-src" "$work/old"
build "$root" "$work/new"

dump="$root/bench/fft_dump.cpp"
c++ -O2 -std=c++17 -I"$work/old-src" -iquote "$work/old-src" "$dump" "$work/old/libtulm_core.a" -o "$work/dump-old"
c++ -O2 -std=c++17 -I"$root" "$dump" "$work/new/libtulm_core.a" -o "$work/dump-new"
c++ -O2 -std=c++17 -mavx -I"$root" "$dump" "$work/new/libtulm_core.a" -o "$work/dump-new-avx"
for side in old new; do
    src=$root
    [ $side = old ] && src=$work/old-src
    c++ -O2 -std=c++17 -I"$src" "$root/bench/render_dump.cpp" "$src/tests/render/fake_host.cpp" \
        "$work/$side/libtulm_core.a" -lgtest -lpthread -o "$work/render-$side"
done

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
"$work/render-old" >"$work/render-old.bin" 2>/dev/null
"$work/render-new" >"$work/render-new.bin" 2>/dev/null
check "span renderer" "$work/render-new.bin" "$work/render-old.bin"
echo "before: $(git -C "$root" rev-parse --short "$rev"); after: the working tree"
exit $status
