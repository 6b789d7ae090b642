// The fixed-size kernels: split-radix decimation in frequency written out in full for
// each size. Every value of a block is read before any is written.
#include "fft/cfft_kernels.h"

#include "fft/cpx.h"

namespace tulm_fft {
namespace {

using kc::h;

// The four-point step in bit-reversed order: (y0..y3) -> X+[0], X+[2], X+[1], X+[3].
inline void step4(cpx& y0, cpx& y1, cpx& y2, cpx& y3)
{
    const cpx a0 = y0 + y2, a1 = y1 + y3;
    const cpx b0 = y0 - y2, b1 = y1 - y3;
    y0 = a0 + a1;
    y1 = a0 - a1;
    y2 = add_i(b0, b1);
    y3 = sub_i(b0, b1);
}

// The plain 8-point transform of x[0..7] in place, bit-reversed order: 4 multiplications.
inline void dft8(cpx* x)
{
    cpx a0 = x[0] + x[4], a1 = x[1] + x[5], a2 = x[2] + x[6], a3 = x[3] + x[7];
    const cpx d0 = x[0] - x[4], d1 = x[1] - x[5];
    const cpx e0 = x[2] - x[6], e1 = x[3] - x[7];
    step4(a0, a1, a2, a3);
    const cpx u0 = add_i(d0, e0), u1 = mul_hh(add_i(d1, e1), h);   // w = (h, h)
    const cpx v0 = sub_i(d0, e0), v1 = mul_nhh(sub_i(d1, e1), h);  // w^3 = (-h, h)
    x[0] = a0; x[1] = a1; x[2] = a2; x[3] = a3;
    x[4] = u0 + u1; x[5] = u0 - u1;
    x[6] = v0 + v1; x[7] = v0 - v1;
}

// The plain 16-point transform of x[0..15] in place, bit-reversed order: 24 multiplications.
inline void dft16(cpx* x)
{
    cpx a[8] = {x[0] + x[8], x[1] + x[9], x[2] + x[10], x[3] + x[11],
                x[4] + x[12], x[5] + x[13], x[6] + x[14], x[7] + x[15]};
    const cpx d0 = x[0] - x[8], d1 = x[1] - x[9], d2 = x[2] - x[10], d3 = x[3] - x[11];
    const cpx e0 = x[4] - x[12], e1 = x[5] - x[13], e2 = x[6] - x[14], e3 = x[7] - x[15];
    dft8(a);
    cpx u0 = add_i(d0, e0);
    cpx u1 = mul(add_i(d1, e1), cpx{kc::c8, kc::s8});
    cpx u2 = mul_hh(add_i(d2, e2), h);
    cpx u3 = mul(add_i(d3, e3), cpx{kc::s8, kc::c8});
    cpx v0 = sub_i(d0, e0);
    cpx v1 = mul(sub_i(d1, e1), cpx{kc::s8, kc::c8});
    cpx v2 = mul_nhh(sub_i(d2, e2), h);
    cpx v3 = mul(sub_i(d3, e3), cpx{-kc::c8, -kc::s8});
    step4(u0, u1, u2, u3);
    step4(v0, v1, v2, v3);
    x[0] = a[0]; x[1] = a[1]; x[2] = a[2]; x[3] = a[3];
    x[4] = a[4]; x[5] = a[5]; x[6] = a[6]; x[7] = a[7];
    x[8] = u0; x[9] = u1; x[10] = u2; x[11] = u3;
    x[12] = v0; x[13] = v1; x[14] = v2; x[15] = v3;
}

template <int N>
inline void load_block(const double* a, cpx* x)
{
    for (int p = 0; p < N; ++p) x[p] = load(a + 2 * p);
}

template <int N>
inline void store_block(double* a, const cpx* x)
{
    for (int p = 0; p < N; ++p) store(a + 2 * p, x[p]);
}

} // namespace
} // namespace tulm_fft

using namespace tulm_fft;

void cfft2_kernel(double* a)
{
    const cpx x0 = load(a), x1 = load(a + 2);
    store(a, x0 + x1);
    store(a + 2, x0 - x1);
}

void cfft4_kernel_forward(double* a)
{
    const cpx x0 = load(a), x1 = load(a + 2), x2 = load(a + 4), x3 = load(a + 6);
    const cpx a0 = x0 + x2, a1 = x1 + x3, b0 = x0 - x2, b1 = x1 - x3;
    store(a, a0 + a1);
    store(a + 2, add_i(b0, b1));
    store(a + 4, a0 - a1);
    store(a + 6, sub_i(b0, b1));
}

void cfft4_kernel_inverse(double* a)
{
    const cpx x0 = load(a), x1 = load(a + 2), x2 = load(a + 4), x3 = load(a + 6);
    const cpx a0 = x0 + x2, a1 = x1 + x3, b0 = x0 - x2, b1 = x1 - x3;
    store(a, a0 + a1);
    store(a + 2, sub_i(b0, b1));
    store(a + 4, a0 - a1);
    store(a + 6, add_i(b0, b1));
}

void cfft8_kernel(double* a)
{
    cpx x[8];
    load_block<8>(a, x);
    dft8(x);
    store_block<8>(a, x);
}

void cfft16_kernel(double* a)
{
    cpx x[16];
    load_block<16>(a, x);
    dft16(x);
    store_block<16>(a, x);
}

// g_j = (x_j + i x_{j+4}) w^j and h_j = (x_j - i x_{j+4}) w^(3j), w = e^(i pi/8); then a
// four-point step on each half: 20 multiplications.
void cfft8_kernel_shifted(double* a)
{
    cpx x[8];
    load_block<8>(a, x);
    cpx g0 = add_i(x[0], x[4]);
    cpx g1 = mul(add_i(x[1], x[5]), cpx{kc::c8, kc::s8});
    cpx g2 = mul_hh(add_i(x[2], x[6]), h);
    cpx g3 = mul(add_i(x[3], x[7]), cpx{kc::s8, kc::c8});
    cpx h0 = sub_i(x[0], x[4]);
    cpx h1 = mul(sub_i(x[1], x[5]), cpx{kc::s8, kc::c8});
    cpx h2 = mul_nhh(sub_i(x[2], x[6]), h);
    cpx h3 = mul(sub_i(x[3], x[7]), cpx{-kc::c8, -kc::s8});
    step4(g0, g1, g2, g3);
    step4(h0, h1, h2, h3);
    const cpx y[8] = {g0, g1, g2, g3, h0, h1, h2, h3};
    store_block<8>(a, y);
}

// The same with w = e^(i pi/16) over eight values per half, then two plain 8-point
// transforms: 52 + 2 * 4 = 60 multiplications.
void cfft16_kernel_shifted(double* a)
{
    cpx x[16];
    load_block<16>(a, x);
    cpx g[8], t[8];
    g[0] = add_i(x[0], x[8]);
    g[1] = mul(add_i(x[1], x[9]), cpx{kc::c16, kc::s16});
    g[2] = mul(add_i(x[2], x[10]), cpx{kc::c8, kc::s8});
    g[3] = mul(add_i(x[3], x[11]), cpx{kc::c316, kc::s316});
    g[4] = mul_hh(add_i(x[4], x[12]), h);
    g[5] = mul(add_i(x[5], x[13]), cpx{kc::s316, kc::c316});
    g[6] = mul(add_i(x[6], x[14]), cpx{kc::s8, kc::c8});
    g[7] = mul(add_i(x[7], x[15]), cpx{kc::s16, kc::c16});
    t[0] = sub_i(x[0], x[8]);
    t[1] = mul(sub_i(x[1], x[9]), cpx{kc::c316, kc::s316});
    t[2] = mul(sub_i(x[2], x[10]), cpx{kc::s8, kc::c8});
    t[3] = mul(sub_i(x[3], x[11]), cpx{-kc::s16, kc::c16});
    t[4] = mul_nhh(sub_i(x[4], x[12]), h);
    t[5] = mul(sub_i(x[5], x[13]), cpx{-kc::c16, kc::s16});
    t[6] = mul(sub_i(x[6], x[14]), cpx{-kc::c8, -kc::s8});
    t[7] = mul(sub_i(x[7], x[15]), cpx{-kc::s316, -kc::c316});
    dft8(g);
    dft8(t);
    store_block<8>(a, g);
    store_block<8>(a + 16, t);
}
