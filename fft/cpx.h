#pragma once
// One complex value held in two doubles, and the handful of operations the FFT passes
// are written in. Arrays store complex value p as (a[2p], a[2p + 1]).
#include <cstdint>

namespace tulm_fft {

struct cpx {
    double re;
    double im;
};

static inline cpx load(const double* a) { return cpx{a[0], a[1]}; }
static inline cpx load_conj(const double* a) { return cpx{a[0], -a[1]}; }
static inline void store(double* a, cpx x) { a[0] = x.re; a[1] = x.im; }

static inline cpx operator+(cpx x, cpx y) { return cpx{x.re + y.re, x.im + y.im}; }
static inline cpx operator-(cpx x, cpx y) { return cpx{x.re - y.re, x.im - y.im}; }
static inline cpx operator-(cpx x) { return cpx{-x.re, -x.im}; }

// x + i*y and x - i*y, the combinations every butterfly here is built from.
static inline cpx add_i(cpx x, cpx y) { return cpx{x.re - y.im, x.im + y.re}; }
static inline cpx sub_i(cpx x, cpx y) { return cpx{x.re + y.im, x.im - y.re}; }

// x * w for a general twiddle w: four multiplications.
static inline cpx mul(cpx x, cpx w)
{
    return cpx{x.re * w.re - x.im * w.im, x.re * w.im + x.im * w.re};
}

// x * (h + i*h) and x * (-h + i*h) for h = sqrt(1/2): one sum, one difference, two
// multiplications.
static inline cpx mul_hh(cpx x, double h) { return cpx{h * (x.re - x.im), h * (x.re + x.im)}; }
static inline cpx mul_nhh(cpx x, double h) { return cpx{-h * (x.re + x.im), h * (x.re - x.im)}; }

// s * x for a real s.
static inline cpx scale(double s, cpx x) { return cpx{s * x.re, s * x.im}; }

} // namespace tulm_fft
