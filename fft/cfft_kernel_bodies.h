#pragma once
// The bodies of the fixed-size kernels, force-inlined so that the leaf routines can run
// them in their AVX copies (isa.h). The public kernels in cfft_kernels.h wrap them.
// Straight-line split-radix decimation in frequency written out in full for each size;
// every value of a block is read before any is written.
#include "fft/cfft_kernels.h"
#include "fft/cpx.h"
#include "fft/isa.h"

namespace tulm_fft {

// The four-point step in bit-reversed order: (y0..y3) -> X+[0], X+[2], X+[1], X+[3].
TULM_FFT_INLINE void step4(cpx& y0, cpx& y1, cpx& y2, cpx& y3)
{
    const cpx a0 = y0 + y2, a1 = y1 + y3;
    const cpx b0 = y0 - y2, b1 = y1 - y3;
    y0 = a0 + a1;
    y1 = a0 - a1;
    add_sub_i(b0, b1, y2, y3);
}

// The plain 8-point transform of x0..x7 in place, bit-reversed order: 4 multiplications.
TULM_FFT_INLINE void dft8(cpx& x0, cpx& x1, cpx& x2, cpx& x3, cpx& x4, cpx& x5, cpx& x6, cpx& x7)
{
    cpx a0 = x0 + x4, a1 = x1 + x5, a2 = x2 + x6, a3 = x3 + x7;
    const cpx d0 = x0 - x4, d1 = x1 - x5, e0 = x2 - x6, e1 = x3 - x7;
    cpx u0, u1, v0, v1;
    add_sub_i(d0, e0, u0, v0);
    add_sub_i(d1, e1, u1, v1);
    u1 = mul_hh(u1, kc::h);   // w = (h, kc::h)
    v1 = mul_nhh(v1, kc::h);  // w^3 = (-h, kc::h)
    step4(a0, a1, a2, a3);
    x0 = a0; x1 = a1; x2 = a2; x3 = a3;
    x4 = u0 + u1; x5 = u0 - u1;
    x6 = v0 + v1; x7 = v0 - v1;
}

TULM_FFT_INLINE void dft8(cpx* x) { dft8(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7]); }

// Loads and stores of a block of 8 values at a.
TULM_FFT_INLINE void load8(const double* a, cpx* x)
{
    x[0] = load(a); x[1] = load(a + 2); x[2] = load(a + 4); x[3] = load(a + 6);
    x[4] = load(a + 8); x[5] = load(a + 10); x[6] = load(a + 12); x[7] = load(a + 14);
}

TULM_FFT_INLINE void store8(double* a, const cpx* x)
{
    store(a, x[0]); store(a + 2, x[1]); store(a + 4, x[2]); store(a + 6, x[3]);
    store(a + 8, x[4]); store(a + 10, x[5]); store(a + 12, x[6]); store(a + 14, x[7]);
}


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

TULM_FFT_INLINE void kernel8(double* a)
{
    cpx x[8];
    load8(a, x);
    dft8(x);
    store8(a, x);
}

// a_j = x_j + x_{j+8} through the 8-point transform; u_j, v_j from the differences with
// twiddles w^j and w^3j, w = e^(i pi/8), then a four-point step each: 24 multiplications.
TULM_FFT_INLINE void kernel16(double* a)
{
    cpx x[8], y[8];
    load8(a, x);
    load8(a + 16, y);
    cpx s[8] = {x[0] + y[0], x[1] + y[1], x[2] + y[2], x[3] + y[3],
                x[4] + y[4], x[5] + y[5], x[6] + y[6], x[7] + y[7]};
    const cpx d0 = x[0] - y[0], d1 = x[1] - y[1], d2 = x[2] - y[2], d3 = x[3] - y[3];
    const cpx e0 = x[4] - y[4], e1 = x[5] - y[5], e2 = x[6] - y[6], e3 = x[7] - y[7];
    dft8(s);
    store8(a, s);
    cpx u0, u1, u2, u3, v0, v1, v2, v3;
    add_sub_i(d0, e0, u0, v0);
    add_sub_i(d1, e1, u1, v1);
    add_sub_i(d2, e2, u2, v2);
    add_sub_i(d3, e3, u3, v3);
    u1 = mul(u1, make(kc::c8, kc::s8));
    u2 = mul_hh(u2, kc::h);
    u3 = mul(u3, make(kc::s8, kc::c8));
    v1 = mul(v1, make(kc::s8, kc::c8));
    v2 = mul_nhh(v2, kc::h);
    v3 = mul(v3, make(-kc::c8, -kc::s8));
    step4(u0, u1, u2, u3);
    step4(v0, v1, v2, v3);
    const cpx out[8] = {u0, u1, u2, u3, v0, v1, v2, v3};
    store8(a + 16, out);
}

// g_j = (x_j + i x_{j+4}) w^j and h_j = (x_j - i x_{j+4}) w^(3j), w = e^(i pi/8); then a
// four-point step on each half: 20 multiplications.
TULM_FFT_INLINE void kernel8_shifted(double* a)
{
    const cpx x0 = load(a), x1 = load(a + 2), x2 = load(a + 4), x3 = load(a + 6);
    const cpx x4 = load(a + 8), x5 = load(a + 10), x6 = load(a + 12), x7 = load(a + 14);
    cpx g0, g1, g2, g3, h0, h1, h2, h3;
    add_sub_i(x0, x4, g0, h0);
    add_sub_i(x1, x5, g1, h1);
    add_sub_i(x2, x6, g2, h2);
    add_sub_i(x3, x7, g3, h3);
    g1 = mul(g1, make(kc::c8, kc::s8));
    g2 = mul_hh(g2, kc::h);
    g3 = mul(g3, make(kc::s8, kc::c8));
    h1 = mul(h1, make(kc::s8, kc::c8));
    h2 = mul_nhh(h2, kc::h);
    h3 = mul(h3, make(-kc::c8, -kc::s8));
    step4(g0, g1, g2, g3);
    step4(h0, h1, h2, h3);
    const cpx y[8] = {g0, g1, g2, g3, h0, h1, h2, h3};
    store8(a, y);
}

// The same with w = e^(i pi/16) over eight values per half, then two plain 8-point
// transforms: 52 + 2 * 4 = 60 multiplications.
TULM_FFT_INLINE void kernel16_shifted(double* a)
{
    cpx x[8], y[8], g[8], t[8];
    load8(a, x);
    load8(a + 16, y);
    add_sub_i(x[0], y[0], g[0], t[0]);
    add_sub_i(x[1], y[1], g[1], t[1]);
    add_sub_i(x[2], y[2], g[2], t[2]);
    add_sub_i(x[3], y[3], g[3], t[3]);
    add_sub_i(x[4], y[4], g[4], t[4]);
    add_sub_i(x[5], y[5], g[5], t[5]);
    add_sub_i(x[6], y[6], g[6], t[6]);
    add_sub_i(x[7], y[7], g[7], t[7]);
    g[1] = mul(g[1], make(kc::c16, kc::s16));
    g[2] = mul(g[2], make(kc::c8, kc::s8));
    g[3] = mul(g[3], make(kc::c316, kc::s316));
    g[4] = mul_hh(g[4], kc::h);
    g[5] = mul(g[5], make(kc::s316, kc::c316));
    g[6] = mul(g[6], make(kc::s8, kc::c8));
    g[7] = mul(g[7], make(kc::s16, kc::c16));
    dft8(g);
    store8(a, g);
    t[1] = mul(t[1], make(kc::c316, kc::s316));
    t[2] = mul(t[2], make(kc::s8, kc::c8));
    t[3] = mul(t[3], make(-kc::s16, kc::c16));
    t[4] = mul_nhh(t[4], kc::h);
    t[5] = mul(t[5], make(-kc::c16, kc::s16));
    t[6] = mul(t[6], make(-kc::c8, -kc::s8));
    t[7] = mul(t[7], make(-kc::s316, -kc::c316));
    dft8(t);
    store8(a + 16, t);
}

} // namespace tulm_fft
