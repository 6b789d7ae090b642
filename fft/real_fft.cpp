// The real FFT: a complex FFT of half the length on the even/odd sample pairs, then a
// split pass that separates the spectra of the even and the odd samples.
#include "fft/real_fft.h"

#include <cmath>

#include "fft/cpx.h"
#include "fft/cpx2.h"
#include "fft/fft_internal.h"
#include "fft/isa.h"

using namespace tulm_fft;

// See cpx2.h: the 32-byte vectors here never cross a call.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

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

// The same group of G blocks (2 or 4) on AVX, the blocks' weights side by side in
// 4-double vectors, lane k for block k (with G = 2, lanes 2 and 3 repeat 0 and 1 and do
// no butterflies), so that one vector operation steps every block's recurrence. A
// block's two butterflies of a step, at j and j - 2, are neighbouring values on both
// sides and run as one 4-double vector. Every value sees the operations of the one-block
// form.
struct WideWeights {
    v4d at_wr, at_wi;  // weights at j, lane k for block k
    v4d ab_wr, ab_wi;  // weights at j + 2, then (after the first half-step) at j - 2
};

// Block k's weights at j - 2 (low half) and j (high half), prepared for mul: the cosine
// part (wr, wr, wr', wr') and the sine part (-wi, wi, -wi', wi'), or for mul by the
// conjugate (wi, -wi, wi', -wi').
template <bool forward, int k>
TULM_FFT_INLINE twiddle2 block_twiddles(const WideWeights& w)
{
    constexpr int lane = k & 1;  // element within a 128-bit half
    const v4d lo_r = __builtin_shufflevector(w.ab_wr, w.ab_wr, lane, lane, lane + 2, lane + 2);
    const v4d hi_r = __builtin_shufflevector(w.at_wr, w.at_wr, lane, lane, lane + 2, lane + 2);
    const v4d lo_i = __builtin_shufflevector(w.ab_wi, w.ab_wi, lane, lane, lane + 2, lane + 2);
    const v4d hi_i = __builtin_shufflevector(w.at_wi, w.at_wi, lane, lane, lane + 2, lane + 2);
    // k < 2 takes the low 128-bit halves, k >= 2 the high ones.
    const v4d c = k < 2 ? __builtin_shufflevector(lo_r, hi_r, 0, 1, 4, 5)
                        : __builtin_shufflevector(lo_r, hi_r, 2, 3, 6, 7);
    const v4d si = k < 2 ? __builtin_shufflevector(lo_i, hi_i, 0, 1, 4, 5)
                         : __builtin_shufflevector(lo_i, hi_i, 2, 3, 6, 7);
    return twiddle2{c, forward ? flip_re(si) : flip_im(si)};
}

// Block k's two butterflies at j - 2 and j, partners n - j + 2 and n - j.
template <bool forward, int k>
TULM_FFT_INLINE void pair_bfly(int32_t n, double* a, int32_t j, const WideWeights& w)
{
    const twiddle2 t = block_twiddles<forward, k>(w);
    const v4d A = load2(a + j - 2).v;
    const v4d P_mem = load2(a + n - j).v;                            // partners of j, j - 2
    const v4d P = __builtin_shufflevector(P_mem, P_mem, 2, 3, 0, 1);  // partners of j - 2, j
    const cpx2 x{A - flip_im(P)};
    const cpx2 y = mul(x, t);
    const v4d Q = P + flip_im(y.v);
    store2(a + j - 2, cpx2{A - y.v});
    store2(a + n - j, cpx2{__builtin_shufflevector(Q, Q, 2, 3, 0, 1)});
}

// One step of every block: weights at j + 2 move to j - 2, the butterflies at j and j - 2
// of the first `active` blocks run, and the weights at j move to j - 4. Block k's j is
// j0 - 256 k.
template <bool forward, int G, int active>
TULM_FFT_INLINE void wide_step(int32_t n, double* a, int32_t j0, WideWeights& w, const v4d& g)
{
    const v4d half = {0.5, 0.5, 0.5, 0.5};
    w.ab_wr = w.ab_wr + g * w.at_wi;
    w.ab_wi = w.ab_wi + g * (half - w.at_wr);
    if (active > 0) pair_bfly<forward, 0>(n, a, j0, w);
    if (active > 1) pair_bfly<forward, 1>(n, a, j0 - 256, w);
    if (active > 2) pair_bfly<forward, 2>(n, a, j0 - 512, w);
    if (active > 3) pair_bfly<forward, 3>(n, a, j0 - 768, w);
    w.at_wr = w.at_wr + g * w.ab_wi;
    w.at_wi = w.at_wi + g * (half - w.ab_wr);
}

// Runs the G blocks seeded by seed(0 .. G-1) and returns the last one's weights at its
// end, as run_group does.
template <bool forward, int G, class Seed>
TULM_FFT_INLINE Block run_group_wide(int32_t n, double* a, double g, Seed seed)
{
    Block b[4];
    for (int k = 0; k < 4; ++k) b[k] = seed(k % G);
    WideWeights w{(v4d){b[0].at_wr, b[1].at_wr, b[2].at_wr, b[3].at_wr},
                  (v4d){b[0].at_wi, b[1].at_wi, b[2].at_wi, b[3].at_wi},
                  (v4d){b[0].ab_wr, b[1].ab_wr, b[2].ab_wr, b[3].ab_wr},
                  (v4d){b[0].ab_wi, b[1].ab_wi, b[2].ab_wi, b[3].ab_wi}};
    const v4d gv = {g, g, g, g};
    int32_t j0 = b[0].j;
    // The blocks are full (64 steps) but the pass's last, which may close the group (63).
    const int32_t common = b[G - 1].iterations;
    for (int32_t i = 0; i < common; ++i, j0 -= 4) wide_step<forward, G, G>(n, a, j0, w, gv);
    Block last = b[G - 1];
    last.at_wr = w.at_wr[G - 1];
    last.at_wi = w.at_wi[G - 1];
    last.iterations = 0;
    if (b[0].iterations > common) wide_step<forward, G, G - 1>(n, a, j0, w, gv);
    return last;
}

// One pass from the middle outward, j = n/2 - 2 down to 2, in blocks of 128 butterflies.
// Each block below the first starts from weights computed afresh at its top T with
// alpha = T theta; the first from the exact weights (0, 0) at n/2 and (s^2, s c) at
// n/2 - 2. Blocks touch disjoint entries and their seeds depend on T alone, so up to
// four of them run side by side, their recurrences overlapping in time.
template <bool wide, bool forward>
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
        if constexpr (wide) {
            last = blocks >= 4   ? run_group_wide<forward, 4>(n, a, g, seed)
                   : blocks == 2 ? run_group_wide<forward, 2>(n, a, g, seed)
                                 : run_group<forward, 1>(n, a, g, seed);
        } else {
            last = blocks >= 4   ? run_group<forward, 4>(n, a, g, seed)
                   : blocks == 2 ? run_group<forward, 2>(n, a, g, seed)
                                 : run_group<forward, 1>(n, a, g, seed);
        }
    }
    // The last block's weights have reached index 2 (for n = 8 no step ran and its seed
    // is the weights at 2).
    split_bfly<forward>(a, 2, n - 2, make(last.at_wr, last.at_wi));
}

} // namespace

void rfft_split_forward(int32_t n, double* a)
{
    run_best_wide([=](auto wide) __attribute__((always_inline)) { split_pass<wide, true>(n, a); });
}

void rfft_split_inverse(int32_t n, double* a)
{
    run_best_wide([=](auto wide) __attribute__((always_inline)) { split_pass<wide, false>(n, a); });
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
