#pragma once
// The fixed-size kernels and the fixed permutations (contracts in cfft_kernels.h), for
// one transform or several side by side (lanes.h). Straight-line split-radix decimation
// in frequency written out for each size; every value of a block is read before any is
// written.
#include "fft/constants.h"
#include "fft/lanes.h"

namespace tulm_fft {
namespace {

// x times the constant (re, im), four multiplications.
template <class V>
inline C<V> mul_by(const C<V>& x, double re, double im) { return mul(x, make(re, im)); }

// The four-point step in bit-reversed order: (y0..y3) -> X+[0], X+[2], X+[1], X+[3].
template <class V>
inline void step4(C<V>& y0, C<V>& y1, C<V>& y2, C<V>& y3)
{
    const C<V> a0 = y0 + y2, a1 = y1 + y3;
    const C<V> b0 = y0 - y2, b1 = y1 - y3;
    y0 = a0 + a1;
    y1 = a0 - a1;
    add_sub_i(b0, b1, y2, y3);
}

// The plain 8-point transform of x0..x7 in place, bit-reversed order: 4 multiplications.
template <class V>
inline void dft8(C<V>* x)
{
    C<V> a0 = x[0] + x[4], a1 = x[1] + x[5], a2 = x[2] + x[6], a3 = x[3] + x[7];
    const C<V> d0 = x[0] - x[4], d1 = x[1] - x[5], e0 = x[2] - x[6], e1 = x[3] - x[7];
    C<V> u0, u1, v0, v1;
    add_sub_i(d0, e0, u0, v0);
    add_sub_i(d1, e1, u1, v1);
    u1 = mul_hh(u1, kc::h);   // w = (h, h)
    v1 = mul_nhh(v1, kc::h);  // w^3 = (-h, h)
    step4(a0, a1, a2, a3);
    x[0] = a0; x[1] = a1; x[2] = a2; x[3] = a3;
    x[4] = u0 + u1; x[5] = u0 - u1;
    x[6] = v0 + v1; x[7] = v0 - v1;
}

// 8 consecutive complex values from a on.
template <class V>
inline void load8(const V* a, C<V>* x)
{
#pragma GCC unroll 8
    for (int p = 0; p < 8; ++p) x[p] = load(a + 2 * p);
}
template <class V>
inline void store8(V* a, const C<V>* x)
{
#pragma GCC unroll 8
    for (int p = 0; p < 8; ++p) store(a + 2 * p, x[p]);
}

template <class V>
inline void kernel2(V* a)
{
    const C<V> x0 = load(a), x1 = load(a + 2);
    store(a, x0 + x1);
    store(a + 2, x0 - x1);
}

// X+ (forward) or X- (inverse) in natural order.
template <bool forward, class V>
inline void kernel4(V* a)
{
    const C<V> x0 = load(a), x1 = load(a + 2), x2 = load(a + 4), x3 = load(a + 6);
    const C<V> a0 = x0 + x2, a1 = x1 + x3, b0 = x0 - x2, b1 = x1 - x3;
    C<V> plus, minus;
    add_sub_i(b0, b1, plus, minus);
    store(a, a0 + a1);
    store(a + 2, forward ? plus : minus);
    store(a + 4, a0 - a1);
    store(a + 6, forward ? minus : plus);
}

template <class V>
inline void kernel8(V* a)
{
    C<V> x[8];
    load8(a, x);
    dft8(x);
    store8(a, x);
}

// a_j = x_j + x_{j+8} through the 8-point transform; u_j, v_j from the differences with
// twiddles w^j and w^3j, w = e^(i pi/8), then a four-point step each: 24 multiplications.
template <class V>
inline void kernel16(V* a)
{
    C<V> x[8], y[8], s[8], u[4], v[4];
    load8(a, x);
    load8(a + 16, y);
    for (int p = 0; p < 8; ++p) s[p] = x[p] + y[p];
    for (int p = 0; p < 4; ++p) add_sub_i(x[p] - y[p], x[p + 4] - y[p + 4], u[p], v[p]);
    dft8(s);
    store8(a, s);
    u[1] = mul_by(u[1], kc::c8, kc::s8);
    u[2] = mul_hh(u[2], kc::h);
    u[3] = mul_by(u[3], kc::s8, kc::c8);
    v[1] = mul_by(v[1], kc::s8, kc::c8);
    v[2] = mul_nhh(v[2], kc::h);
    v[3] = mul_by(v[3], -kc::c8, -kc::s8);
    step4(u[0], u[1], u[2], u[3]);
    step4(v[0], v[1], v[2], v[3]);
    const C<V> out[8] = {u[0], u[1], u[2], u[3], v[0], v[1], v[2], v[3]};
    store8(a + 16, out);
}

// g_j = (x_j + i x_{j+4}) w^j and h_j = (x_j - i x_{j+4}) w^(3j), w = e^(i pi/8); then a
// four-point step on each half: 20 multiplications.
template <class V>
inline void kernel8_shifted(V* a)
{
    C<V> x[8], g[4], h[4];
    load8(a, x);
    for (int p = 0; p < 4; ++p) add_sub_i(x[p], x[p + 4], g[p], h[p]);
    g[1] = mul_by(g[1], kc::c8, kc::s8);
    g[2] = mul_hh(g[2], kc::h);
    g[3] = mul_by(g[3], kc::s8, kc::c8);
    h[1] = mul_by(h[1], kc::s8, kc::c8);
    h[2] = mul_nhh(h[2], kc::h);
    h[3] = mul_by(h[3], -kc::c8, -kc::s8);
    step4(g[0], g[1], g[2], g[3]);
    step4(h[0], h[1], h[2], h[3]);
    const C<V> y[8] = {g[0], g[1], g[2], g[3], h[0], h[1], h[2], h[3]};
    store8(a, y);
}

// The same with w = e^(i pi/16) over eight values per half, then two plain 8-point
// transforms: 52 + 2 * 4 = 60 multiplications.
template <class V>
inline void kernel16_shifted(V* a)
{
    C<V> x[8], y[8], g[8], t[8];
    load8(a, x);
    load8(a + 16, y);
    for (int p = 0; p < 8; ++p) add_sub_i(x[p], y[p], g[p], t[p]);
    g[1] = mul_by(g[1], kc::c16, kc::s16);
    g[2] = mul_by(g[2], kc::c8, kc::s8);
    g[3] = mul_by(g[3], kc::c316, kc::s316);
    g[4] = mul_hh(g[4], kc::h);
    g[5] = mul_by(g[5], kc::s316, kc::c316);
    g[6] = mul_by(g[6], kc::s8, kc::c8);
    g[7] = mul_by(g[7], kc::s16, kc::c16);
    dft8(g);
    store8(a, g);
    t[1] = mul_by(t[1], kc::c316, kc::s316);
    t[2] = mul_by(t[2], kc::s8, kc::c8);
    t[3] = mul_by(t[3], -kc::s16, kc::c16);
    t[4] = mul_nhh(t[4], kc::h);
    t[5] = mul_by(t[5], -kc::c16, kc::s16);
    t[6] = mul_by(t[6], -kc::c8, -kc::s8);
    t[7] = mul_by(t[7], -kc::s316, -kc::c316);
    dft8(t);
    store8(a + 16, t);
}

// On WebAssembly, a pair of lanes at a time (lanes.h).
#if defined(__wasm_simd128__)
inline void kernel8(lanes4* a)
{
    for (int k = 0; k < 2; ++k) kernel8(pair_of(a, k));
}
inline void kernel16(lanes4* a)
{
    for (int k = 0; k < 2; ++k) kernel16(pair_of(a, k));
}
inline void kernel8_shifted(lanes4* a)
{
    for (int k = 0; k < 2; ++k) kernel8_shifted(pair_of(a, k));
}
inline void kernel16_shifted(lanes4* a)
{
    for (int k = 0; k < 2; ++k) kernel16_shifted(pair_of(a, k));
}
#endif

// New value k is old value from[k] of a block of `count` values.
template <int count, class V>
inline void gather(V* a, const int (&from)[count])
{
    C<V> x[count];
    for (int p = 0; p < count; ++p) x[p] = load(a + 2 * p);
    for (int p = 0; p < count; ++p) store(a + 2 * p, x[from[p]]);
}

template <class V>
inline void bitrev8(V* a)
{
    gather<8>(a, {0, 4, 2, 6, 1, 5, 3, 7});
}

template <class V>
inline void bitrev16(V* a)
{
    gather<16>(a, {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15});
}

template <class V>
inline void bitrev8_mirror(V* a)
{
    gather<8>(a, {0, 7, 3, 5, 1, 6, 2, 4});
}

template <class V>
inline void bitrev16_mirror(V* a)
{
    gather<16>(a, {0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8});
}

} // namespace
} // namespace tulm_fft
