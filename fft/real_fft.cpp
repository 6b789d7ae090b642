// The real FFT: a complex FFT of half the length on the even/odd sample pairs, then a
// split pass that separates the spectra of the even and the odd samples.
#include "fft/real_fft.h"

#include <cmath>

#include "fft/cpx.h"
#include "fft/fft_internal.h"
#include "fft/isa.h"

using namespace tulm_fft;

namespace {

constexpr double pi = 3.141592653589793;

// The split butterfly between bin j/2 and its partner at entry p = n - j, with the
// weights w = (wr, wi) = (0.5 - 0.5 sin(pi j/n), 0.5 cos(pi j/n)). With
// E = (Z[k] + conj Z[m-k])/2 and O = (Z[k] - conj Z[m-k])/(2i), forward leaves
// X[k] = E + e^(i pi j/n) O; inverse undoes it. In complex form: x = A - conj(P),
// y = x w (forward) or x conj(w) (inverse), A -= y, P += conj(y).
template <bool forward>
TULM_FFT_INLINE void split_bfly(double* a, int32_t j, int32_t p, cpx w)
{
    const cpx A = load(a + j), P = load(a + p);
    const cpx x = A - conj(P);
    const cpx y = forward ? mul(x, w) : mul_conj(x, w);
    store(a + j, A - y);
    store(a + p, P + conj(y));
}

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

template <bool forward>
TULM_FFT_INLINE void block_step(int32_t n, double* a, Block& b, double g)
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

// Runs `group` blocks side by side and returns the last one as it ends. The group size
// is a constant so that the blocks' weights stay in registers: kept in memory, every
// step of the recurrence would wait on a store and a reload.
template <bool forward, int32_t group, class Seed>
TULM_FFT_INLINE Block run_group(int32_t n, double* a, double g, Seed seed)
{
    Block b[group];
#pragma GCC unroll 4
    for (int32_t k = 0; k < group; ++k) b[k] = seed(k);
    // All blocks of a group are full (64 iterations) but the pass's last (63).
    while (b[group - 1].iterations > 0) {
#pragma GCC unroll 4
        for (int32_t k = 0; k < group; ++k) block_step<forward>(n, a, b[k], g);
    }
#pragma GCC unroll 4
    for (int32_t k = 0; k < group; ++k)
        while (b[k].iterations > 0) block_step<forward>(n, a, b[k], g);
    return b[group - 1];
}

// One pass from the middle outward, j = n/2 - 2 down to 2, in blocks of 128 butterflies.
// Each block below the first starts from weights computed afresh at its top T with
// alpha = T theta; the first from the exact weights (0, 0) at n/2 and (s^2, s c) at
// n/2 - 2. Blocks touch disjoint entries and their seeds depend on T alone, so up to
// four of them run side by side, their recurrences overlapping in time.
template <bool forward>
TULM_FFT_INLINE void split_pass(int32_t n, double* a)
{
    const double theta = pi / n;
    const double s = std::sin(theta), c = std::cos(theta);
    const double cos2 = 1 - 2 * s * s, sin2 = 2 * s * c;
    const double g = 2 * sin2;

    auto block_at = [&](int32_t top) __attribute__((always_inline)) {
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
    };

    // The block tops are n/2, n/2 - 256, ..., down to 256 (or n/2 alone below 512 entries);
    // their number is 1 or a power of two.
    const int32_t blocks = n / 2 > 256 ? n / 512 : 1;
    Block last{};
    for (int32_t first = 0; first < blocks; first += 4) {
        auto seed = [&](int32_t k) __attribute__((always_inline)) {
            return block_at(n / 2 - 256 * (first + k));
        };
        last = blocks >= 4   ? run_group<forward, 4>(n, a, g, seed)
               : blocks == 2 ? run_group<forward, 2>(n, a, g, seed)
                             : run_group<forward, 1>(n, a, g, seed);
    }
    // The last block's weights have reached index 2 (for n = 8 no step ran and its seed
    // is the weights at 2).
    split_bfly<forward>(a, 2, n - 2, make(last.at_wr, last.at_wi));
}

} // namespace

void rfft_split_forward(int32_t n, double* a)
{
    run_best([=]() __attribute__((always_inline)) { split_pass<true>(n, a); });
}

void rfft_split_inverse(int32_t n, double* a)
{
    run_best([=]() __attribute__((always_inline)) { split_pass<false>(n, a); });
}

void real_fft(int32_t n, int32_t direction, double* a)
{
    if (direction >= 0) {
        if (n > 4) {
            cfft_forward(n, a);
            rfft_split_forward(n, a);
        } else if (n == 4) {
            cfft_forward(4, a);
        }
        const double a0 = a[0], a1 = a[1];
        a[0] = a0 + a1;
        a[1] = a0 - a1;
    } else {
        a[1] = 0.5 * (a[0] - a[1]);
        a[0] = a[0] - a[1];
        if (n > 4) {
            rfft_split_inverse(n, a);
            cfft_inverse(n, a);
        } else if (n == 4) {
            cfft_inverse(4, a);
        }
    }
}
