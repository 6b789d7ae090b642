#pragma once
// The general bit reversal into natural order (contract in cfft_kernels.h), driven by
// reversed counters instead of an index table, for one transform or several side by
// side (lanes.h).
#include "fft/lanes.h"

namespace tulm_fft {
namespace {

// Advance r to the next index in bit-reversed counting: the carry runs from the top
// bit (top = N/2) downward.
inline int32_t reversed_next(int32_t r, int32_t top)
{
    int32_t b = top;
    r ^= b;
    while (b > r) {
        b >>= 1;
        r ^= b;
    }
    return r;
}

// Swap complex values p and q, each conjugated on the way when conj is set.
template <bool conj_in = false, class V>
inline void swap_values(V* a, int32_t p, int32_t q)
{
    const C<V> x = conj_in ? load_conj(a + 2 * p) : load(a + 2 * p);
    const C<V> y = conj_in ? load_conj(a + 2 * q) : load(a + 2 * q);
    store(a + 2 * p, y);
    store(a + 2 * q, x);
}

template <class V>
inline void conj_at(V* a, int32_t p) { a[2 * p + 1] = -a[2 * p + 1]; }

// An index of B bits reads as high part, middle part (one or two bits) and low part of
// g bits each side; M = 2^g values is the weight of the lowest middle bit. Each outer
// index i < M with r = bitrev(i) swaps r + t with bitrev(r + t) for t < i, across every
// value of the middle bits; the values whose index reverses onto itself stay (and are
// only conjugated). Every value moves at most once.
template <bool conj, class V>
void bitrev_permute(int32_t n, V* a)
{
    const int32_t top = n / 4;  // N/2 in complex values
    int32_t m = n / 4, l = 2;
    while (l < m) {
        m >>= 1;
        l <<= 1;
    }
    const int32_t M = l / 2;
    const bool two_bits = l == m;
    if (!two_bits && conj) {
        conj_at(a, 0);
        conj_at(a, M);
    }
    int32_t r = 0;
    for (int32_t i = two_bits ? 0 : 1; i < M; ++i) {
        if (!two_bits) r = reversed_next(r, top);
        int32_t q = i;
        for (int32_t t = 0; t < i; ++t) {
            const int32_t p = r + t;
            swap_values<conj>(a, p, q);
            if (two_bits) {
                swap_values<conj>(a, p + M, q + 2 * M);
                swap_values<conj>(a, p + 2 * M, q + M);
                swap_values<conj>(a, p + 3 * M, q + 3 * M);
            } else {
                swap_values<conj>(a, p + M, q + M);
            }
            q = reversed_next(q, top);
        }
        if (conj) conj_at(a, r + i);
        if (two_bits) swap_values<conj>(a, r + i + M, r + i + 2 * M);
        if (conj) conj_at(a, r + i + (two_bits ? 3 : 1) * M);
        if (two_bits) r = reversed_next(r, top);
    }
}

} // namespace
} // namespace tulm_fft
