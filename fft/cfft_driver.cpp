// The complex FFT driver: a split-radix decimation in frequency that cuts blocks into
// quarters down to 8- or 16-point kernels, then one bit reversal into natural order.
#include "fft/cfft_kernel_bodies.h"
#include "fft/fft_internal.h"
#include "fft/isa.h"

using namespace tulm_fft;

// See cpx2.h: the 32-byte vectors of the leaves never cross a call.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

static void complete_two_levels(int32_t n, double* a, bool shifted_block);

// Finishes the whole array once its first stage pass is done: its quarters are plain,
// shifted, plain, plain, whichever direction that pass served.
static void complete_quarters(int32_t n, double* a)
{
    const int32_t m = n / 4;
    if (n > 2048) {
        cfft_recursive(m, a);
        cfft_recursive_shifted(m, a + m);
        cfft_recursive(m, a + 2 * m);
        cfft_recursive(m, a + 3 * m);
    } else if (n > 512) {
        complete_two_levels(n, a, false);
    } else if (m > 32) {
        cfft_middle(n, a);
    } else {
        cfft_leaf(n, a);
    }
}

void cfft_forward(int32_t n, double* a)
{
    if (n > 32) {
        cfft_stage(n, a);
        complete_quarters(n, a);
        bitrev_permute(n, a);
    } else if (n == 32) {
        cfft16_kernel(a);
        bitrev16(a);
    } else if (n == 16) {
        cfft8_kernel(a);
        bitrev8(a);
    } else if (n == 8) {
        cfft4_kernel_forward(a);
    } else {
        cfft2_kernel(a);
    }
}

// The conjugate of the forward transform of the conjugated input: only the first pass
// and the final permutation differ from the forward direction.
void cfft_inverse(int32_t n, double* a)
{
    if (n > 32) {
        cfft_stage_conj(n, a);
        complete_quarters(n, a);
        bitrev_permute_conj(n, a);
    } else if (n == 32) {
        cfft16_kernel(a);
        bitrev16_mirror(a);
    } else if (n == 16) {
        cfft8_kernel(a);
        bitrev8_mirror(a);
    } else if (n == 8) {
        cfft4_kernel_inverse(a);
    } else {
        cfft2_kernel(a);
    }
}

void cfft_recursive(int32_t n, double* a)
{
    cfft_stage(n, a);
    if (n <= 512) {
        cfft_middle(n, a);
        return;
    }
    if (n <= 2048) {
        complete_two_levels(n, a, false);
        return;
    }
    const int32_t m = n / 4;
    cfft_recursive(m, a);
    cfft_recursive_shifted(m, a + m);
    cfft_recursive(m, a + 2 * m);
    cfft_recursive(m, a + 3 * m);
}

void cfft_recursive_shifted(int32_t n, double* a)
{
    cfft_stage_shifted(n, a);
    if (n <= 512) {
        cfft_middle_shifted(n, a);
        return;
    }
    if (n <= 2048) {
        complete_two_levels(n, a, true);
        return;
    }
    const int32_t m = n / 4;
    cfft_recursive(m, a);
    cfft_recursive_shifted(m, a + m);
    cfft_recursive(m, a + 2 * m);
    cfft_recursive_shifted(m, a + 3 * m);
}

namespace {

// Each kernel is compiled once per accessor and instruction set, and called: inlined,
// the leaf and middle routines held dozens of copies of the kernels and took minutes to
// compile under the sanitizers, for no speed that could be measured.
template <bool shifted_kernel, bool big, class P>
TULM_FFT_INLINE void kernel_of(const P& p)
{
    if (big) {
        if (shifted_kernel) kernel16_shifted(p);
        else kernel16(p);
    } else {
        if (shifted_kernel) kernel8_shifted(p);
        else kernel8(p);
    }
}

template <bool shifted_kernel, bool big, class P>
__attribute__((noinline)) void kernel_base(P p)
{
    kernel_of<shifted_kernel, big>(p);
}

#if TULM_FFT_HAVE_AVX_PATH
template <bool shifted_kernel, bool big, class P>
__attribute__((noinline, target("avx"))) void kernel_avx(P p)
{
    kernel_of<shifted_kernel, big>(p);
}
#endif

// Kernel k of a leaf block of n doubles (64 or 128) sits at entry k n/4; kernels 0 and 2
// are plain, 1 shifted, 3 of the block's own kind. Wide code runs the AVX copies.
template <bool wide, bool shifted_kernel, class P>
TULM_FFT_INLINE void leaf_kernel(int32_t n, const P& p)
{
#if TULM_FFT_HAVE_AVX_PATH
    if constexpr (wide) {
        if (n == 128) kernel_avx<shifted_kernel, true>(p);
        else kernel_avx<shifted_kernel, false>(p);
        return;
    }
#endif
    if (n == 128) kernel_base<shifted_kernel, true>(p);
    else kernel_base<shifted_kernel, false>(p);
}

// One leaf block. Wide, its two plain kernels run side by side, and in a shifted block
// its two shifted ones too.
template <bool wide, bool shifted>
TULM_FFT_INLINE void leaf_one(int32_t n, double* a)
{
    const int32_t q = n / 4;
    if constexpr (wide) {
        leaf_kernel<wide, false>(n, TwoBlocks{a, a + 2 * q});
        if constexpr (shifted) {
            leaf_kernel<wide, true>(n, TwoBlocks{a + q, a + 3 * q});
        } else {
            leaf_kernel<wide, true>(n, OneBlock{a + q});
            leaf_kernel<wide, false>(n, OneBlock{a + 3 * q});
        }
    } else {
        leaf_kernel<wide, false>(n, OneBlock{a});
        leaf_kernel<wide, true>(n, OneBlock{a + q});
        leaf_kernel<wide, false>(n, OneBlock{a + 2 * q});
        leaf_kernel<wide, shifted>(n, OneBlock{a + 3 * q});
    }
}

// Two leaf blocks of n doubles. Wide, their kernels run side by side, all but the
// fourth when the blocks differ in kind.
template <bool wide, bool a_shifted, bool b_shifted>
TULM_FFT_INLINE void leaf_two(int32_t n, double* a, double* b)
{
    if constexpr (wide) {
        const int32_t q = n / 4;
        const TwoBlocks ab{a, b};
        leaf_kernel<wide, false>(n, ab);
        leaf_kernel<wide, true>(n, ab.at(q));
        leaf_kernel<wide, false>(n, ab.at(2 * q));
        if constexpr (a_shifted == b_shifted) {
            leaf_kernel<wide, a_shifted>(n, ab.at(3 * q));
        } else {
            leaf_kernel<wide, a_shifted>(n, OneBlock{a + 3 * q});
            leaf_kernel<wide, b_shifted>(n, OneBlock{b + 3 * q});
        }
    } else {
        leaf_one<false, a_shifted>(n, a);
        leaf_one<false, b_shifted>(n, b);
    }
}

} // namespace

// The leaves of a middle block of n doubles (256 or 512) whose quarters' stages are
// done, in two pairs of like blocks.
template <bool shifted_block>
static void middle_leaves(int32_t n, double* a)
{
    const int32_t m = n / 4;
    run_best_wide([=](auto wide) __attribute__((always_inline)) {
        leaf_two<wide, false, false>(m, a, a + 2 * m);
        leaf_two<wide, true, shifted_block>(m, a + m, a + 3 * m);
    });
}

// Finishes a block of 1024 or 2048 doubles whose stage is done: its four quarters and
// their sixteen. Each size's stage passes run as one sweep per kind over every block
// that awaits one (at 64 or 128 doubles a pass is only a few steps, and sharing the
// set-up is what makes them cheap); each block gets exactly what its own pass gives it.
static void complete_two_levels(int32_t n, double* a, bool shifted_block)
{
    const int32_t m = n / 4, g = m / 4;
    const bool quarter_shifted[4] = {false, true, false, shifted_block};
    if (shifted_block) cfft_middle_stages_shifted(n, a);
    else cfft_middle_stages(n, a);
    double* plain[16];
    double* shifted[16];
    int32_t plain_count = 0, shifted_count = 0;
    for (int32_t k = 0; k < 4; ++k) {
        for (int32_t i = 0; i < 4; ++i) {
            double* const block = a + k * m + i * g;
            if (i == 1 || (i == 3 && quarter_shifted[k])) shifted[shifted_count++] = block;
            else plain[plain_count++] = block;
        }
    }
    cfft_stages_of(g, plain, plain_count, shifted, shifted_count);
    for (int32_t k = 0; k < 4; ++k) {
        if (quarter_shifted[k]) middle_leaves<true>(m, a + k * m);
        else middle_leaves<false>(m, a + k * m);
    }
}

// The quarters' stages run in one call, the quarters of one kind sharing their
// twiddles; each quarter gets the same stage as on its own.
void cfft_middle(int32_t n, double* a)
{
    cfft_middle_stages(n, a);
    middle_leaves<false>(n, a);
}

void cfft_middle_shifted(int32_t n, double* a)
{
    cfft_middle_stages_shifted(n, a);
    middle_leaves<true>(n, a);
}

void cfft_leaf(int32_t n, double* a)
{
    run_best_wide([=](auto wide) __attribute__((always_inline)) { leaf_one<wide, false>(n, a); });
}

void cfft_leaf_shifted(int32_t n, double* a)
{
    run_best_wide([=](auto wide) __attribute__((always_inline)) { leaf_one<wide, true>(n, a); });
}
