#pragma once
// The whole transform, for one transform or several side by side (lanes.h): the complex
// FFT (a split-radix decimation in frequency that cuts blocks into quarters down to 8-
// or 16-point kernels, then one bit reversal into natural order) and the real FFT on top
// of it (a complex FFT of half the length, then a split pass that separates the spectra
// of the even and the odd samples). Contracts in real_fft.h (the entries) and
// fft_internal.h (the inner routines the tests reach).
//
// Block kinds inside the complex transform: a block of b doubles holds M = b/2 values
// v[0..M-1] awaiting either its plain transform V[k] = sum v[j] e^(+2 pi i jk/M) or its
// half-bin shifted transform Y[k] = sum v[j] e^(+2 pi i j(k + 1/2)/M). A routine that
// completes a block leaves the coefficients in bit-reversed order.
#include <cmath>

#include "fft/bitrev.h"
#include "fft/kernels.h"
#include "fft/stages.h"

namespace tulm_fft {
namespace {

// Complete a plain or shifted block of 64 or 128 doubles whose stage is done: kernels
// on its quarters, plain, shifted, plain, and the fourth of the block's own kind.
template <bool shifted, class V>
void cfft_leaf(int32_t n, V* a)
{
    const int32_t q = n / 4;
    if (n == 128) {
        kernel16(a);
        kernel16_shifted(a + q);
        kernel16(a + 2 * q);
        if (shifted) kernel16_shifted(a + 3 * q);
        else kernel16(a + 3 * q);
    } else {
        kernel8(a);
        kernel8_shifted(a + q);
        kernel8(a + 2 * q);
        if (shifted) kernel8_shifted(a + 3 * q);
        else kernel8(a + 3 * q);
    }
}

// Complete a block of n >= 64 doubles whose stage is done: each quarter, plain,
// shifted, plain and of the block's own kind, gets its stage and is completed in turn.
template <bool shifted, class V>
void complete(int32_t n, V* a);

template <bool shifted, class V>
void cfft_recursive(int32_t n, V* a)
{
    if (shifted) cfft_stage_shifted(n, a);
    else cfft_stage(n, a);
    complete<shifted>(n, a);
}

template <bool shifted, class V>
void complete(int32_t n, V* a)
{
    if (n <= 128) {
        cfft_leaf<shifted>(n, a);
        return;
    }
    const int32_t m = n / 4;
    cfft_recursive<false>(m, a);
    cfft_recursive<true>(m, a + m);
    cfft_recursive<false>(m, a + 2 * m);
    cfft_recursive<shifted>(m, a + 3 * m);
}

// The inverse is the conjugate of the forward transform of the conjugated input: only
// the first pass and the final permutation differ.
template <bool forward, class V>
void cfft(int32_t n, V* a)
{
    if (n > 32) {
        if (forward) cfft_stage(n, a);
        else cfft_stage_conj(n, a);
        complete<false>(n, a);
        bitrev_permute<!forward>(n, a);
    } else if (n == 32) {
        kernel16(a);
        if (forward) bitrev16(a);
        else bitrev16_mirror(a);
    } else if (n == 16) {
        kernel8(a);
        if (forward) bitrev8(a);
        else bitrev8_mirror(a);
    } else if (n == 8) {
        kernel4<forward>(a);
    } else {
        kernel2(a);
    }
}

// The split butterfly between bin j/2 and its partner at entry p = n - j, with the
// weights w = (wr, wi) = (0.5 - 0.5 sin(pi j/n), 0.5 cos(pi j/n)). With
// E = (Z[k] + conj Z[m-k])/2 and O = (Z[k] - conj Z[m-k])/(2i), forward leaves
// X[k] = E + e^(i pi j/n) O; inverse undoes it. In complex form: x = A - conj(P),
// y = x w (forward) or x conj(w) (inverse), A -= y, P += conj(y).
template <bool forward, class V>
inline void split_bfly(V* a, int32_t j, int32_t p, cplx w)
{
    const C<V> A = load(a + j), P = load(a + p);
    const C<V> x = A - conj(P);
    const C<V> y = forward ? mul(x, w) : mul_conj(x, w);
    store(a + j, A - y);
    store(a + p, P + conj(y));
}

// On WebAssembly, a pair of lanes at a time (lanes.h).
#if defined(__wasm_simd128__)
template <bool forward>
inline void split_bfly(lanes4* a, int32_t j, int32_t p, cplx w)
{
    for (int k = 0; k < 2; ++k) split_bfly<forward>(pair_of(a, k), j, p, w);
}
#endif

// One block of the pass: butterflies at j = top - 2 down to bottom, two per iteration,
// with the weight pairs `at` (index j) and `above` (index j + 2) carried in scalars so
// that the recurrence, the pass's longest dependency chain, stays short:
//   wr(j-2) = wr(j+2) + g wi(j),  wi(j-2) = wi(j+2) + g (0.5 - wr(j)).
struct Block {
    int32_t j;            // higher index of the next iteration
    int32_t iterations;   // iterations left
    double at_wr, at_wi;  // weights at j
    double ab_wr, ab_wi;  // weights at j + 2
};

template <bool forward, class V>
inline void block_step(int32_t n, V* a, Block& b, double g)
{
    split_bfly<forward>(a, b.j, n - b.j, make(b.at_wr, b.at_wi));
    b.ab_wr = b.ab_wr + g * b.at_wi;
    b.ab_wi = b.ab_wi + g * (0.5 - b.at_wr);
    split_bfly<forward>(a, b.j - 2, n - b.j + 2, make(b.ab_wr, b.ab_wi));
    b.at_wr = b.at_wr + g * b.ab_wi;
    b.at_wi = b.at_wi + g * (0.5 - b.ab_wr);
    b.j -= 4;
    --b.iterations;
}

// Each block of 128 butterflies below the first starts from weights computed afresh at
// its top T with alpha = T theta; the first from the exact weights (0, 0) at n/2 and
// (s^2, s c) at n/2 - 2.
inline Block split_block_at(int32_t n, int32_t top)
{
    const double theta = kc::pi / n;
    const double s = std::sin(theta), c = std::cos(theta);
    const double cos2 = 1 - 2 * s * s, sin2 = 2 * s * c;
    const int32_t bottom = top - 256 > 4 ? top - 256 : 4;
    Block b;
    b.j = top - 2;
    b.iterations = (top - bottom) / 4;
    if (top == n / 2) {
        b.ab_wr = 0;
        b.ab_wi = 0;
        b.at_wr = s * s;
        b.at_wi = s * c;
    } else {
        const double alpha = top * theta;
        const double hs = 0.5 * std::sin(alpha), hc = 0.5 * std::cos(alpha);
        b.ab_wr = 0.5 - hs;
        b.ab_wi = hc;
        b.at_wr = 0.5 - (cos2 * hs - sin2 * hc);
        b.at_wi = cos2 * hc + sin2 * hs;
    }
    return b;
}

// One pass from the middle outward, j = n/2 - 2 down to 2, in blocks of 128 butterflies
// with tops n/2, n/2 - 256, ... down to 256 (or n/2 alone below 512 entries). Blocks
// touch disjoint entries and their seeds depend on their top alone, so up to four run
// side by side, their recurrences overlapping in time; all are full (64 iterations) but
// the pass's last (63). The number side by side is a constant (4, or the blocks there
// are when fewer), so that their weights stay in registers.
template <bool forward, int32_t group = 4, class V>
void split_pass(int32_t n, V* a)
{
#if defined(__wasm_simd128__)
    // On WebAssembly a lanes4 is two vectors, and four blocks' weights and butterflies
    // side by side spill out of the machine's registers: one block at a time is faster.
    if (sizeof(V) > sizeof(double) && group > 1) return split_pass<forward, 1>(n, a);
#endif
    const int32_t blocks = n / 2 > 256 ? n / 512 : 1;
    if (group > blocks) return split_pass<forward, (group > 1 ? group / 2 : 1)>(n, a);
    const double theta = kc::pi / n;
    const double g = 2 * (2 * std::sin(theta) * std::cos(theta));
    Block b[group];
    for (int32_t first = 0; first < blocks; first += group) {
        for (int32_t k = 0; k < group; ++k) b[k] = split_block_at(n, n / 2 - 256 * (first + k));
        while (b[group - 1].iterations > 0)
            for (int32_t k = 0; k < group; ++k) block_step<forward>(n, a, b[k], g);
        for (int32_t k = 0; k < group; ++k)
            while (b[k].iterations > 0) block_step<forward>(n, a, b[k], g);
    }
    // The last block's weights have reached index 2 (for n = 8 no step ran and its seed
    // is the weights at 2).
    split_bfly<forward>(a, 2, n - 2, make(b[group - 1].at_wr, b[group - 1].at_wi));
}

template <class V>
void real_fft_of(int32_t n, int32_t direction, V* a)
{
    if (direction >= 0) {
        if (n > 4) {
            cfft<true>(n, a);
            split_pass<true>(n, a);
        } else if (n == 4) {
            cfft<true>(4, a);
        }
        const V a0 = a[0], a1 = a[1];
        a[0] = a0 + a1;
        a[1] = a0 - a1;
    } else {
        a[1] = 0.5 * (a[0] - a[1]);
        a[0] = a[0] - a[1];
        if (n > 4) {
            split_pass<false>(n, a);
            cfft<false>(n, a);
        } else if (n == 4) {
            cfft<false>(4, a);
        }
    }
}

} // namespace
} // namespace tulm_fft
