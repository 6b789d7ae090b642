// Permutations into natural order: the fixed ones for 8 and 16 values, and the general
// bit reversal driven by reversed counters instead of an index table.
#include "fft/cfft_kernels.h"

#include "fft/cpx.h"
#include "fft/isa.h"

using namespace tulm_fft;

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
// exactly the same swaps.
template <bool conj>
TULM_FFT_INLINE void permute(int32_t n, double* a)
{
    const int32_t top = n / 4;  // N/2 in complex values
    const Split sp = split_of(n);
    const int32_t M = sp.mid;
    auto swap = [a](int32_t p, int32_t q) __attribute__((always_inline)) {
        if (conj) swap2_conj(a, p, q);
        else swap2(a, p, q);
    };
    if (sp.two_bits) {
        int32_t r = 0;
        for (int32_t i = 0; i < M; ++i) {
            int32_t q = i;
            for (int32_t t = 0; t < i; ++t) {
                const int32_t p = r + t;
                swap(p, q);
                swap(p + M, q + 2 * M);
                swap(p + 2 * M, q + M);
                swap(p + 3 * M, q + 3 * M);
                q = reversed_next(q, top);
            }
            if (conj) conj_at(a, r + i);
            swap(r + i + M, r + i + 2 * M);
            if (conj) conj_at(a, r + i + 3 * M);
            r = reversed_next(r, top);
        }
    } else {
        if (conj) {
            conj_at(a, 0);
            conj_at(a, M);
        }
        int32_t r = 0;
        for (int32_t i = 1; i < M; ++i) {
            r = reversed_next(r, top);
            int32_t q = i;
            for (int32_t t = 0; t < i; ++t) {
                const int32_t p = r + t;
                swap(p, q);
                swap(p + M, q + M);
                q = reversed_next(q, top);
            }
            if (conj) {
                conj_at(a, r + i);
                conj_at(a, r + i + M);
            }
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
    run_best([=]() __attribute__((always_inline)) { permute<false>(n, a); });
}

void bitrev_permute_conj(int32_t n, double* a)
{
    run_best([=]() __attribute__((always_inline)) { permute<true>(n, a); });
}
