# Sourced by the before-and-after FFT scripts: builds the FFT of revision $rev in a
# worktree under $work and the working tree's beside it, and sets old_lib and new_lib
# to their archives (space-separated: newer revisions keep the inner routines the tests
# reach in a test-only library beside the FFT's own, older ones the FFT in one core
# library or one of its own).
git -C "$root" worktree add --detach "$work/old-src" "$rev" >/dev/null 2>&1
fft_library() {  # source dir, build dir; prints the archives that hold the FFT, its inner routines first
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTULM_TESTS=OFF -DTULM_BENCH=OFF \
        -DTULM_CLI=OFF >/dev/null
    if cmake --build "$2" --target tulm_fft_internal >/dev/null 2>&1; then
        echo "$2/fft/libtulm_fft_internal.a $2/fft/libtulm_fft.a"
    elif cmake --build "$2" --target tulm_fft >/dev/null 2>&1; then
        echo "$2/fft/libtulm_fft.a"
    else
        cmake --build "$2" --target tulm_core >/dev/null
        echo "$2/libtulm_core.a"
    fi
}
old_lib=$(fft_library "$work/old-src" "$work/old")
new_lib=$(fft_library "$root" "$work/new")
