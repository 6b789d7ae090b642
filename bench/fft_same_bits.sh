#!/usr/bin/env bash
# Same bits before and after: builds bench/fft_dump.cpp once against the FFT of another
# revision (default main) and once against the working tree, and compares what every
# routine writes at every size, byte for byte: the working tree one transform at a
# time, side by side in the batch layout (the lane copies compiled for the baseline and
# for AVX), and through real_fft_batch; where emscripten is installed, the same as
# WebAssembly under node, whose lanes run as pairs (fft/lanes.h).
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
if command -v em++ >/dev/null && command -v node >/dev/null; then
    # The library's sine and cosine are not the system's, so WebAssembly is compared
    # with WebAssembly. Standard output goes through node's own file calls, which take
    # the bytes as they are.
    wasm_dump() {  # source root, output
        em++ -O3 -msimd128 -std=c++17 -Wno-psabi -I"$1" -iquote "$1" "$dump" "$1"/fft/*.cpp -sENVIRONMENT=node \
            -sSINGLE_FILE=1 -sNODERAWFS=1 -sFORCE_FILESYSTEM=1 -sALLOW_MEMORY_GROWTH=1 -o "$2"
    }
    wasm_dump "$work/old-src" "$work/dump-old-wasm.js"
    wasm_dump "$root" "$work/dump-wasm.js"
    node "$work/dump-old-wasm.js" >"$work/old-wasm.bin" 2>/dev/null
    node "$work/dump-wasm.js" >"$work/wasm.bin" 2>/dev/null
    node "$work/dump-wasm.js" --lanes >"$work/lanes-wasm.bin" 2>/dev/null
    check "one transform at a time, WebAssembly" "$work/wasm.bin" "$work/old-wasm.bin"
    check "side by side, WebAssembly's pairs of lanes, real_fft_batch" "$work/lanes-wasm.bin" "$work/old-wasm.bin"
fi
echo "before: $(git -C "$root" rev-parse --short "$rev"); after: the working tree"
exit $status
