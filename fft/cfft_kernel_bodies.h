#pragma once
// The bodies of the fixed-size kernels, force-inlined so that the leaf routines can run
// them in their AVX copies (isa.h). The public kernels in cfft_kernels.h wrap them.
// Straight-line split-radix decimation in frequency written out in full for each size;
// every value of a block is read before any is written.
//
// A kernel reaches its block through an accessor: OneBlock holds one complex value per
// register; TwoBlocks runs the same kernel on two blocks side by side, block a's value
// in the low half of a 4-double vector and block b's in the high half (cpx2.h). Every
// operation acts on each half alone, so each block gets exactly the bits it would get
// on its own.
#include "fft/cfft_kernels.h"
#include "fft/cpx.h"
#include "fft/cpx2.h"
#include "fft/isa.h"

// See cpx2.h: the 32-byte vectors here never cross a call.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace tulm_fft {

struct OneBlock {
    double* a;
    TULM_FFT_INLINE cpx in(int32_t d) const { return load(a + d); }
    TULM_FFT_INLINE void out(int32_t d, const cpx& x) const { store(a + d, x); }
    TULM_FFT_INLINE OneBlock at(int32_t d) const { return OneBlock{a + d}; }
};

struct TwoBlocks {
    double* a;
    double* b;
    TULM_FFT_INLINE cpx2 in(int32_t d) const { return cpx2{join(load(a + d), load(b + d))}; }
    TULM_FFT_INLINE void out(int32_t d, const cpx2& x) const
    {
        store(a + d, half_of<0>(x));
        store(b + d, half_of<1>(x));
    }
    TULM_FFT_INLINE TwoBlocks at(int32_t d) const { return TwoBlocks{a + d, b + d}; }
};

// x times the constant (re, im), four multiplications.
TULM_FFT_INLINE cpx mul_by(cpx x, double re, double im) { return mul(x, make(re, im)); }
TULM_FFT_INLINE cpx2 mul_by(const cpx2& x, double re, double im)
{
    return mul(x, twiddle2{(v4d){re, re, re, re}, (v4d){-im, im, -im, im}});
}

// The four-point step in bit-reversed order: (y0..y3) -> X+[0], X+[2], X+[1], X+[3].
template <class V>
TULM_FFT_INLINE void step4(V& y0, V& y1, V& y2, V& y3)
{
    const V a0 = y0 + y2, a1 = y1 + y3;
    const V b0 = y0 - y2, b1 = y1 - y3;
    y0 = a0 + a1;
    y1 = a0 - a1;
    add_sub_i(b0, b1, y2, y3);
}

// The plain 8-point transform of x0..x7 in place, bit-reversed order: 4 multiplications.
template <class V>
TULM_FFT_INLINE void dft8(V* x)
{
    V a0 = x[0] + x[4], a1 = x[1] + x[5], a2 = x[2] + x[6], a3 = x[3] + x[7];
    const V d0 = x[0] - x[4], d1 = x[1] - x[5], e0 = x[2] - x[6], e1 = x[3] - x[7];
    V u0, u1, v0, v1;
    add_sub_i(d0, e0, u0, v0);
    add_sub_i(d1, e1, u1, v1);
    u1 = mul_hh(u1, kc::h);   // w = (h, kc::h)
    v1 = mul_nhh(v1, kc::h);  // w^3 = (-h, kc::h)
    step4(a0, a1, a2, a3);
    x[0] = a0; x[1] = a1; x[2] = a2; x[3] = a3;
    x[4] = u0 + u1; x[5] = u0 - u1;
    x[6] = v0 + v1; x[7] = v0 - v1;
}

// Loads and stores of 8 consecutive values from entry d on.
// Written out rather than looped, so that the arrays they fill stay in registers.
template <class P, class V>
TULM_FFT_INLINE void load8(const P& p, int32_t d, V* x)
{
    x[0] = p.in(d); x[1] = p.in(d + 2); x[2] = p.in(d + 4); x[3] = p.in(d + 6);
    x[4] = p.in(d + 8); x[5] = p.in(d + 10); x[6] = p.in(d + 12); x[7] = p.in(d + 14);
}

template <class P, class V>
TULM_FFT_INLINE void store8(const P& p, int32_t d, const V* x)
{
    p.out(d, x[0]); p.out(d + 2, x[1]); p.out(d + 4, x[2]); p.out(d + 6, x[3]);
    p.out(d + 8, x[4]); p.out(d + 10, x[5]); p.out(d + 12, x[6]); p.out(d + 14, x[7]);
}

// The value type an accessor works in.
template <class P>
using value_of = decltype(P{}.in(0));

TULM_FFT_INLINE void kernel2(double* a)
{
    const cpx x0 = load(a), x1 = load(a + 2);
    store(a, x0 + x1);
    store(a + 2, x0 - x1);
}

TULM_FFT_INLINE void kernel4_forward(double* a)
{
    const cpx x0 = load(a), x1 = load(a + 2), x2 = load(a + 4), x3 = load(a + 6);
    const cpx a0 = x0 + x2, a1 = x1 + x3, b0 = x0 - x2, b1 = x1 - x3;
    cpx plus, minus;
    add_sub_i(b0, b1, plus, minus);
    store(a, a0 + a1);
    store(a + 2, plus);
    store(a + 4, a0 - a1);
    store(a + 6, minus);
}

TULM_FFT_INLINE void kernel4_inverse(double* a)
{
    const cpx x0 = load(a), x1 = load(a + 2), x2 = load(a + 4), x3 = load(a + 6);
    const cpx a0 = x0 + x2, a1 = x1 + x3, b0 = x0 - x2, b1 = x1 - x3;
    cpx plus, minus;
    add_sub_i(b0, b1, plus, minus);
    store(a, a0 + a1);
    store(a + 2, minus);
    store(a + 4, a0 - a1);
    store(a + 6, plus);
}

template <class P>
TULM_FFT_INLINE void kernel8(const P& p)
{
    value_of<P> x[8];
    load8(p, 0, x);
    dft8(x);
    store8(p, 0, x);
}

// a_j = x_j + x_{j+8} through the 8-point transform; u_j, v_j from the differences with
// twiddles w^j and w^3j, w = e^(i pi/8), then a four-point step each: 24 multiplications.
template <class P>
TULM_FFT_INLINE void kernel16(const P& p)
{
    using V = value_of<P>;
    V x[8], y[8];
    load8(p, 0, x);
    load8(p, 16, y);
    V s[8] = {x[0] + y[0], x[1] + y[1], x[2] + y[2], x[3] + y[3],
              x[4] + y[4], x[5] + y[5], x[6] + y[6], x[7] + y[7]};
    const V d0 = x[0] - y[0], d1 = x[1] - y[1], d2 = x[2] - y[2], d3 = x[3] - y[3];
    const V e0 = x[4] - y[4], e1 = x[5] - y[5], e2 = x[6] - y[6], e3 = x[7] - y[7];
    dft8(s);
    store8(p, 0, s);
    V u[4], v[4];
    add_sub_i(d0, e0, u[0], v[0]);
    add_sub_i(d1, e1, u[1], v[1]);
    add_sub_i(d2, e2, u[2], v[2]);
    add_sub_i(d3, e3, u[3], v[3]);
    u[1] = mul_by(u[1], kc::c8, kc::s8);
    u[2] = mul_hh(u[2], kc::h);
    u[3] = mul_by(u[3], kc::s8, kc::c8);
    v[1] = mul_by(v[1], kc::s8, kc::c8);
    v[2] = mul_nhh(v[2], kc::h);
    v[3] = mul_by(v[3], -kc::c8, -kc::s8);
    step4(u[0], u[1], u[2], u[3]);
    step4(v[0], v[1], v[2], v[3]);
    const V out[8] = {u[0], u[1], u[2], u[3], v[0], v[1], v[2], v[3]};
    store8(p, 16, out);
}

// g_j = (x_j + i x_{j+4}) w^j and h_j = (x_j - i x_{j+4}) w^(3j), w = e^(i pi/8); then a
// four-point step on each half: 20 multiplications.
template <class P>
TULM_FFT_INLINE void kernel8_shifted(const P& p)
{
    using V = value_of<P>;
    V x[8];
    load8(p, 0, x);
    V g[4], h[4];
    add_sub_i(x[0], x[4], g[0], h[0]);
    add_sub_i(x[1], x[5], g[1], h[1]);
    add_sub_i(x[2], x[6], g[2], h[2]);
    add_sub_i(x[3], x[7], g[3], h[3]);
    g[1] = mul_by(g[1], kc::c8, kc::s8);
    g[2] = mul_hh(g[2], kc::h);
    g[3] = mul_by(g[3], kc::s8, kc::c8);
    h[1] = mul_by(h[1], kc::s8, kc::c8);
    h[2] = mul_nhh(h[2], kc::h);
    h[3] = mul_by(h[3], -kc::c8, -kc::s8);
    step4(g[0], g[1], g[2], g[3]);
    step4(h[0], h[1], h[2], h[3]);
    const V y[8] = {g[0], g[1], g[2], g[3], h[0], h[1], h[2], h[3]};
    store8(p, 0, y);
}

// The same with w = e^(i pi/16) over eight values per half, then two plain 8-point
// transforms: 52 + 2 * 4 = 60 multiplications.
template <class P>
TULM_FFT_INLINE void kernel16_shifted(const P& p)
{
    using V = value_of<P>;
    V x[8], y[8], g[8], t[8];
    load8(p, 0, x);
    load8(p, 16, y);
    add_sub_i(x[0], y[0], g[0], t[0]);
    add_sub_i(x[1], y[1], g[1], t[1]);
    add_sub_i(x[2], y[2], g[2], t[2]);
    add_sub_i(x[3], y[3], g[3], t[3]);
    add_sub_i(x[4], y[4], g[4], t[4]);
    add_sub_i(x[5], y[5], g[5], t[5]);
    add_sub_i(x[6], y[6], g[6], t[6]);
    add_sub_i(x[7], y[7], g[7], t[7]);
    g[1] = mul_by(g[1], kc::c16, kc::s16);
    g[2] = mul_by(g[2], kc::c8, kc::s8);
    g[3] = mul_by(g[3], kc::c316, kc::s316);
    g[4] = mul_hh(g[4], kc::h);
    g[5] = mul_by(g[5], kc::s316, kc::c316);
    g[6] = mul_by(g[6], kc::s8, kc::c8);
    g[7] = mul_by(g[7], kc::s16, kc::c16);
    dft8(g);
    store8(p, 0, g);
    t[1] = mul_by(t[1], kc::c316, kc::s316);
    t[2] = mul_by(t[2], kc::s8, kc::c8);
    t[3] = mul_by(t[3], -kc::s16, kc::c16);
    t[4] = mul_nhh(t[4], kc::h);
    t[5] = mul_by(t[5], -kc::c16, kc::s16);
    t[6] = mul_by(t[6], -kc::c8, -kc::s8);
    t[7] = mul_by(t[7], -kc::s316, -kc::c316);
    dft8(t);
    store8(p, 16, t);
}

} // namespace tulm_fft

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
