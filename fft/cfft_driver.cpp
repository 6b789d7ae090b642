// The complex FFT driver: a split-radix decimation in frequency that cuts blocks into
// quarters down to 8- or 16-point kernels, then one bit reversal into natural order.
#include "fft/cfft_kernel_bodies.h"
#include "fft/fft_internal.h"
#include "fft/isa.h"

using namespace tulm_fft;

// Finishes the whole array once its first stage pass is done: its quarters are plain,
// shifted, plain, plain, whichever direction that pass served.
static void complete_quarters(int32_t n, double* a)
{
    const int32_t m = n / 4;
    if (n > 512) {
        cfft_recursive(m, a);
        cfft_recursive_shifted(m, a + m);
        cfft_recursive(m, a + 2 * m);
        cfft_recursive(m, a + 3 * m);
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
    const int32_t m = n / 4;
    cfft_recursive(m, a);
    cfft_recursive_shifted(m, a + m);
    cfft_recursive(m, a + 2 * m);
    cfft_recursive_shifted(m, a + 3 * m);
}

// The quarters' stages of one kind run as one pass over the quarters of that kind,
// sharing its twiddles; each quarter gets the same stage as on its own.
void cfft_middle(int32_t n, double* a)
{
    const int32_t m = n / 4;
    cfft_stage_x3(m, a, a + 2 * m, a + 3 * m);
    cfft_stage_shifted(m, a + m);
    cfft_leaf(m, a);
    cfft_leaf_shifted(m, a + m);
    cfft_leaf(m, a + 2 * m);
    cfft_leaf(m, a + 3 * m);
}

void cfft_middle_shifted(int32_t n, double* a)
{
    const int32_t m = n / 4;
    cfft_stage_x2(m, a, a + 2 * m);
    cfft_stage_shifted_x2(m, a + m, a + 3 * m);
    cfft_leaf(m, a);
    cfft_leaf(m, a + 2 * m);
    cfft_leaf_shifted(m, a + m);
    cfft_leaf_shifted(m, a + 3 * m);
}

namespace {

// The four kernels of a leaf block; the fourth quarter is shifted when the block is.
template <bool shifted>
TULM_FFT_INLINE void leaf(int32_t n, double* a)
{
    if (n == 128) {
        kernel16(a);
        kernel16_shifted(a + 32);
        kernel16(a + 64);
        if (shifted) kernel16_shifted(a + 96);
        else kernel16(a + 96);
    } else {
        kernel8(a);
        kernel8_shifted(a + 16);
        kernel8(a + 32);
        if (shifted) kernel8_shifted(a + 48);
        else kernel8(a + 48);
    }
}

} // namespace

void cfft_leaf(int32_t n, double* a)
{
    run_best([=]() __attribute__((always_inline)) { leaf<false>(n, a); });
}

void cfft_leaf_shifted(int32_t n, double* a)
{
    run_best([=]() __attribute__((always_inline)) { leaf<true>(n, a); });
}
