// Permutations into natural order: the fixed ones for 8 and 16 values, and the general
// bit reversal driven by reversed counters instead of an index table.
#include "fft/cfft_kernels.h"

#include "fft/cpx.h"
#include "fft/cpx2.h"
#include "fft/isa.h"

using namespace tulm_fft;

// See cpx2.h: the 32-byte vectors here never cross a call.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

// Swap complex values p and q (indices of complex values).
TULM_FFT_INLINE void swap2(double* a, int32_t p, int32_t q)
{
    const cpx x = load(a + 2 * p), y = load(a + 2 * q);
    store(a + 2 * p, y);
    store(a + 2 * q, x);
}

// The same, each value conjugated as it moves.
TULM_FFT_INLINE void swap2_conj(double* a, int32_t p, int32_t q)
{
    const cpx x = load_conj(a + 2 * p), y = load_conj(a + 2 * q);
    store(a + 2 * p, y);
    store(a + 2 * q, x);
}

TULM_FFT_INLINE void conj_at(double* a, int32_t p) { a[2 * p + 1] = -a[2 * p + 1]; }

// Advance r to the next index in bit-reversed counting: the carry runs from the top
// bit (top = N/2) downward.
TULM_FFT_INLINE int32_t reversed_next(int32_t r, int32_t top)
{
    int32_t b = top;
    r ^= b;
    while (b > r) {
        b >>= 1;
        r ^= b;
    }
    return r;
}

// An index of B bits reads as high part, middle part (one or two bits) and low part;
// the low part has g bits and mid = 2^g complex values is the weight of the lowest
// middle bit. two_bits tells whether the middle has two bits (B even).
struct Split {
    int32_t mid;
    bool two_bits;
};

TULM_FFT_INLINE Split split_of(int32_t n)
{
    int32_t m = n / 4, l = 2;
    while (l < m) {
        m >>= 1;
        l <<= 1;
    }
    return Split{l / 2, l == m};
}

// One routine for both forms, so that the plain and the conjugating reversal visit
// exactly the same swaps. Wide (AVX), two neighbouring outer indices i, i + 1 (i even)
// and two neighbouring t run together: their four swaps p <-> q form a 2 x 2 block whose
// rows (p, p + 1), (p + top, p + top + 1) and (q, q + 1), (q + top, q + top + 1) are pairs
// of values next to each other, since bitrev(i + 1) = bitrev(i) + top and
// bitrev(t + 1) = bitrev(t) + top; each row is one 4-double vector, and the block is a
// transpose. The swaps are the same ones, grouped differently.
template <bool wide, bool conj>
TULM_FFT_INLINE void permute(int32_t n, double* a)
{
    const int32_t top = n / 4;  // N/2 in complex values
    const Split sp = split_of(n);
    const int32_t M = sp.mid;
    auto swap = [a](int32_t p, int32_t q) __attribute__((always_inline)) {
        if (conj) swap2_conj(a, p, q);
        else swap2(a, p, q);
    };
    auto row = [a](int32_t p) __attribute__((always_inline)) {
        return conj ? load2_conj(a + 2 * p) : load2(a + 2 * p);
    };
    // The 2 x 2 block of swaps p <-> q, p + 1 <-> q + top, p + top <-> q + 1,
    // p + top + 1 <-> q + top + 1.
    auto block = [&](int32_t p, int32_t q) __attribute__((always_inline)) {
        const cpx2 p0 = row(p), p1 = row(p + top), q0 = row(q), q1 = row(q + top);
        store2(a + 2 * q, cpx2{__builtin_shufflevector(p0.v, p1.v, 0, 1, 4, 5)});
        store2(a + 2 * (q + top), cpx2{__builtin_shufflevector(p0.v, p1.v, 2, 3, 6, 7)});
        store2(a + 2 * p, cpx2{__builtin_shufflevector(q0.v, q1.v, 0, 1, 4, 5)});
        store2(a + 2 * (p + top), cpx2{__builtin_shufflevector(q0.v, q1.v, 2, 3, 6, 7)});
    };
    if (sp.two_bits) {
        // The swaps of one t of outer index i (r = bitrev(i), q = bitrev(r + t)), and the
        // ones that end outer index i.
        auto quad = [&](int32_t p, int32_t q) __attribute__((always_inline)) {
            swap(p, q);
            swap(p + M, q + 2 * M);
            swap(p + 2 * M, q + M);
            swap(p + 3 * M, q + 3 * M);
        };
        auto finish = [&](int32_t r, int32_t i) __attribute__((always_inline)) {
            if (conj) conj_at(a, r + i);
            swap(r + i + M, r + i + 2 * M);
            if (conj) conj_at(a, r + i + 3 * M);
        };
        int32_t r = 0;
        if (!wide || M == 1) {
            for (int32_t i = 0; i < M; ++i) {
                int32_t q = i;
                for (int32_t t = 0; t < i; ++t) {
                    quad(r + t, q);
                    q = reversed_next(q, top);
                }
                finish(r, i);
                r = reversed_next(r, top);
            }
            return;
        }
        for (int32_t i = 0; i < M; i += 2) {
            int32_t q = i;
            for (int32_t t = 0; t < i; t += 2) {
                const int32_t p = r + t;
                block(p, q);
                block(p + M, q + 2 * M);
                block(p + 2 * M, q + M);
                block(p + 3 * M, q + 3 * M);
                q = reversed_next(reversed_next(q, top), top);
            }
            // Outer index i + 1 has one t more: t = i, with q = bitrev(r + top + i).
            quad(r + top + i, q + 1);
            finish(r, i);
            finish(r + top, i + 1);
            r = reversed_next(reversed_next(r, top), top);
        }
    } else {
        if (conj) {
            conj_at(a, 0);
            conj_at(a, M);
        }
        auto pair = [&](int32_t p, int32_t q) __attribute__((always_inline)) {
            swap(p, q);
            swap(p + M, q + M);
        };
        auto finish = [&](int32_t r, int32_t i) __attribute__((always_inline)) {
            if (conj) {
                conj_at(a, r + i);
                conj_at(a, r + i + M);
            }
        };
        int32_t r = 0;
        int32_t i = 1;
        // Outer indices one at a time: all of them narrow, only i = 1 wide.
        for (; i < M && (!wide || i < 2); ++i) {
            r = reversed_next(r, top);
            int32_t q = i;
            for (int32_t t = 0; t < i; ++t) {
                pair(r + t, q);
                q = reversed_next(q, top);
            }
            finish(r, i);
        }
        // Wide, from i = 2 on in pairs i, i + 1.
        for (; i < M; i += 2) {
            r = reversed_next(r, top);
            int32_t q = i;
            for (int32_t t = 0; t < i; t += 2) {
                const int32_t p = r + t;
                block(p, q);
                block(p + M, q + M);
                q = reversed_next(reversed_next(q, top), top);
            }
            pair(r + top + i, q + 1);
            finish(r, i);
            finish(r + top, i + 1);
            r = reversed_next(r, top);
        }
    }
}

} // namespace

void bitrev8(double* a)
{
    swap2(a, 1, 4);
    swap2(a, 3, 6);
}

void bitrev16(double* a)
{
    swap2(a, 1, 8);
    swap2(a, 2, 4);
    swap2(a, 3, 12);
    swap2(a, 5, 10);
    swap2(a, 7, 14);
    swap2(a, 11, 13);
}

// Sources 0, 7, 3, 5, 1, 6, 2, 4: the cycles 1 <- 7 <- 4 <- 1 and 2 <- 3 <- 5 <- 6 <- 2.
void bitrev8_mirror(double* a)
{
    const cpx x1 = load(a + 2), x2 = load(a + 4), x3 = load(a + 6), x4 = load(a + 8);
    const cpx x5 = load(a + 10), x6 = load(a + 12), x7 = load(a + 14);
    store(a + 2, x7);
    store(a + 4, x3);
    store(a + 6, x5);
    store(a + 8, x1);
    store(a + 10, x6);
    store(a + 12, x2);
    store(a + 14, x4);
}

// Sources 0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8.
void bitrev16_mirror(double* a)
{
    cpx x[16];
    for (int p = 1; p < 16; ++p) x[p] = load(a + 2 * p);
    store(a + 2, x[15]);
    store(a + 4, x[7]);
    store(a + 6, x[11]);
    store(a + 8, x[3]);
    store(a + 10, x[13]);
    store(a + 12, x[5]);
    store(a + 14, x[9]);
    store(a + 16, x[1]);
    store(a + 18, x[14]);
    store(a + 20, x[6]);
    store(a + 22, x[10]);
    store(a + 24, x[2]);
    store(a + 26, x[12]);
    store(a + 28, x[4]);
    store(a + 30, x[8]);
}

void bitrev_permute(int32_t n, double* a)
{
    run_best_wide([=](auto wide) __attribute__((always_inline)) { permute<wide, false>(n, a); });
}

void bitrev_permute_conj(int32_t n, double* a)
{
    run_best_wide([=](auto wide) __attribute__((always_inline)) { permute<wide, true>(n, a); });
}
