#pragma once
// One complex value and the handful of operations the FFT passes are written in.
// Arrays store complex value p as (a[2p], a[2p + 1]).
//
// Where SSE2 is there (every x86-64 build, and the 32-bit build with -msse2) a value
// is one __m128d holding (re, im); elsewhere, or with TULM_FFT_SCALAR defined, it is
// two doubles. Both forms perform the same IEEE operations on the same operands in the
// same order (negation by a sign flip, x - y as x + (-y)), so they give bit-identical
// results; only the way the arithmetic is issued differs.
#include <cstdint>

#if defined(__SSE2__) && !defined(TULM_FFT_SCALAR)
#define TULM_FFT_SSE2 1
#include <emmintrin.h>
#endif

namespace tulm_fft {

#ifdef TULM_FFT_SSE2

struct cpx {
    __m128d v;
};

// Sign masks: flip the real part, the imaginary part, or both.
static inline __m128d neg_re_mask() { return _mm_set_pd(0.0, -0.0); }
static inline __m128d neg_im_mask() { return _mm_set_pd(-0.0, 0.0); }
static inline __m128d neg_both_mask() { return _mm_set1_pd(-0.0); }
static inline __m128d swapped(__m128d x) { return _mm_shuffle_pd(x, x, 1); }

static inline cpx make(double re, double im) { return cpx{_mm_set_pd(im, re)}; }
static inline double real(cpx x) { return _mm_cvtsd_f64(x.v); }
static inline double imag(cpx x) { return _mm_cvtsd_f64(_mm_unpackhi_pd(x.v, x.v)); }

static inline cpx load(const double* a) { return cpx{_mm_loadu_pd(a)}; }
static inline cpx load_conj(const double* a)
{
    return cpx{_mm_xor_pd(_mm_loadu_pd(a), neg_im_mask())};
}
static inline void store(double* a, cpx x) { _mm_storeu_pd(a, x.v); }

static inline cpx operator+(cpx x, cpx y) { return cpx{_mm_add_pd(x.v, y.v)}; }
static inline cpx operator-(cpx x, cpx y) { return cpx{_mm_sub_pd(x.v, y.v)}; }
static inline cpx operator-(cpx x) { return cpx{_mm_xor_pd(x.v, neg_both_mask())}; }
static inline cpx conj(cpx x) { return cpx{_mm_xor_pd(x.v, neg_im_mask())}; }

// (im, re) and (-im, -re): i conj(x) and -i conj(x).
static inline cpx swap(cpx x) { return cpx{swapped(x.v)}; }
static inline cpx nswap(cpx x) { return cpx{_mm_xor_pd(swapped(x.v), neg_both_mask())}; }

// x + i*y and x - i*y.
static inline cpx add_i(cpx x, cpx y)
{
    return cpx{_mm_add_pd(x.v, _mm_xor_pd(swapped(y.v), neg_re_mask()))};
}
static inline cpx sub_i(cpx x, cpx y)
{
    return cpx{_mm_add_pd(x.v, _mm_xor_pd(swapped(y.v), neg_im_mask()))};
}

// x * w for a general twiddle w: four multiplications (two paired). The sign of the
// product x.im * w.im rides on the broadcast twiddle, so a constant w costs nothing.
static inline cpx mul(cpx x, cpx w)
{
    const __m128d c = _mm_unpacklo_pd(w.v, w.v);
    const __m128d s = _mm_xor_pd(_mm_unpackhi_pd(w.v, w.v), neg_re_mask());  // (-s, s)
    return cpx{_mm_add_pd(_mm_mul_pd(x.v, c), _mm_mul_pd(swapped(x.v), s))};
}

// x * conj(w).
static inline cpx mul_conj(cpx x, cpx w)
{
    const __m128d c = _mm_unpacklo_pd(w.v, w.v);
    const __m128d s = _mm_xor_pd(_mm_unpackhi_pd(w.v, w.v), neg_im_mask());  // (s, -s)
    return cpx{_mm_add_pd(_mm_mul_pd(x.v, c), _mm_mul_pd(swapped(x.v), s))};
}

// A twiddle prepared for repeated use: (c, c) and (-s, s).
struct twiddle {
    __m128d c, s;
};
static inline twiddle prepare(cpx w)
{
    return twiddle{_mm_unpacklo_pd(w.v, w.v),
                   _mm_xor_pd(_mm_unpackhi_pd(w.v, w.v), neg_re_mask())};
}
// The prepared forms of w = (c, s), of i conj(w) = (s, c) and of -i conj(w) = (-s, -c),
// sharing one pair of broadcasts.
static inline void prepare_mirrored(cpx w, twiddle& plain, twiddle& swapped_w)
{
    const __m128d c = _mm_unpacklo_pd(w.v, w.v), s = _mm_unpackhi_pd(w.v, w.v);
    plain = twiddle{c, _mm_xor_pd(s, neg_re_mask())};
    swapped_w = twiddle{s, _mm_xor_pd(c, neg_re_mask())};
}
static inline void prepare_nmirrored(cpx w, twiddle& plain, twiddle& nswapped_w)
{
    const __m128d c = _mm_unpacklo_pd(w.v, w.v), s = _mm_unpackhi_pd(w.v, w.v);
    plain = twiddle{c, _mm_xor_pd(s, neg_re_mask())};
    nswapped_w = twiddle{_mm_xor_pd(s, neg_both_mask()), _mm_xor_pd(c, neg_im_mask())};
}
static inline cpx mul(cpx x, const twiddle& w)
{
    return cpx{_mm_add_pd(_mm_mul_pd(x.v, w.c), _mm_mul_pd(swapped(x.v), w.s))};
}

// x + i*y and x - i*y together, sharing the rotation of y.
static inline void add_sub_i(cpx x, cpx y, cpx& plus, cpx& minus)
{
    const __m128d iy = _mm_xor_pd(swapped(y.v), neg_re_mask());
    plus = cpx{_mm_add_pd(x.v, iy)};
    minus = cpx{_mm_sub_pd(x.v, iy)};
}

// x * (h + i*h) and x * (-h + i*h): one sum, one difference, two multiplications.
static inline cpx mul_hh(cpx x, double h)
{
    const __m128d re = _mm_unpacklo_pd(x.v, x.v), im = _mm_unpackhi_pd(x.v, x.v);
    return cpx{_mm_mul_pd(_mm_set1_pd(h), _mm_add_pd(re, _mm_xor_pd(im, neg_re_mask())))};
}
static inline cpx mul_nhh(cpx x, double h)
{
    const __m128d re = _mm_unpacklo_pd(x.v, x.v), im = _mm_unpackhi_pd(x.v, x.v);
    return cpx{_mm_mul_pd(_mm_set_pd(h, -h), _mm_add_pd(re, _mm_xor_pd(im, neg_im_mask())))};
}

static inline cpx scale(double s, cpx x) { return cpx{_mm_mul_pd(_mm_set1_pd(s), x.v)}; }

// prev + g*i*cur: one step of the two-step recurrence of e^(i j phi),
// c(j+1) = c(j-1) - g s(j), s(j+1) = s(j-1) + g c(j).
static inline cpx add_gi(cpx prev, double g, cpx cur)
{
    return cpx{_mm_add_pd(prev.v, _mm_mul_pd(swapped(cur.v), _mm_set_pd(g, -g)))};
}

#else

struct cpx {
    double re;
    double im;
};

static inline cpx make(double re, double im) { return cpx{re, im}; }
static inline double real(cpx x) { return x.re; }
static inline double imag(cpx x) { return x.im; }

static inline cpx load(const double* a) { return cpx{a[0], a[1]}; }
static inline cpx load_conj(const double* a) { return cpx{a[0], -a[1]}; }
static inline void store(double* a, cpx x) { a[0] = x.re; a[1] = x.im; }

static inline cpx operator+(cpx x, cpx y) { return cpx{x.re + y.re, x.im + y.im}; }
static inline cpx operator-(cpx x, cpx y) { return cpx{x.re - y.re, x.im - y.im}; }
static inline cpx operator-(cpx x) { return cpx{-x.re, -x.im}; }
static inline cpx conj(cpx x) { return cpx{x.re, -x.im}; }

static inline cpx swap(cpx x) { return cpx{x.im, x.re}; }
static inline cpx nswap(cpx x) { return cpx{-x.im, -x.re}; }

static inline cpx add_i(cpx x, cpx y) { return cpx{x.re - y.im, x.im + y.re}; }
static inline cpx sub_i(cpx x, cpx y) { return cpx{x.re + y.im, x.im - y.re}; }

static inline cpx mul(cpx x, cpx w)
{
    return cpx{x.re * w.re - x.im * w.im, x.im * w.re + x.re * w.im};
}

static inline cpx mul_conj(cpx x, cpx w)
{
    return cpx{x.re * w.re + x.im * w.im, x.im * w.re - x.re * w.im};
}

struct twiddle {
    cpx w;
};
static inline twiddle prepare(cpx w) { return twiddle{w}; }
static inline void prepare_mirrored(cpx w, twiddle& plain, twiddle& swapped_w)
{
    plain = twiddle{w};
    swapped_w = twiddle{swap(w)};
}
static inline void prepare_nmirrored(cpx w, twiddle& plain, twiddle& nswapped_w)
{
    plain = twiddle{w};
    nswapped_w = twiddle{nswap(w)};
}
static inline cpx mul(cpx x, const twiddle& w) { return mul(x, w.w); }

static inline void add_sub_i(cpx x, cpx y, cpx& plus, cpx& minus)
{
    plus = add_i(x, y);
    minus = sub_i(x, y);
}

static inline cpx mul_hh(cpx x, double h) { return cpx{h * (x.re - x.im), h * (x.re + x.im)}; }
static inline cpx mul_nhh(cpx x, double h) { return cpx{-h * (x.re + x.im), h * (x.re - x.im)}; }

static inline cpx scale(double s, cpx x) { return cpx{s * x.re, s * x.im}; }

static inline cpx add_gi(cpx prev, double g, cpx cur)
{
    return cpx{prev.re - g * cur.im, prev.im + g * cur.re};
}

#endif

} // namespace tulm_fft
