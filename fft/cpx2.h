#pragma once
// Two neighbouring complex values, (re0, im0, re1, im1), as one generic 4-double vector,
// for the stage passes that handle indices j and j + 1 together. The operations are
// written once with the compiler's vector extensions: in a function built for AVX
// they become single 256-bit instructions, elsewhere pairs of SSE2 ones. Either way
// each value sees exactly the operations of the one-value forms in cpx.h, so the
// results are the same bits.
//
// Every helper is force-inlined: a 32-byte vector must never cross a call boundary,
// whose convention would depend on the instruction set.
#include <cstdint>

#include "fft/cpx.h"
#include "fft/isa.h"

// GCC warns that 32-byte vectors are passed differently with and without AVX; none is
// ever passed, since every function taking one is inlined.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace tulm_fft {

typedef double v4d __attribute__((vector_size(32)));
typedef long long v4i __attribute__((vector_size(32)));
typedef double v2d __attribute__((vector_size(16)));

struct cpx2 {
    v4d v;
};

// A twiddle pair prepared for repeated use: (c0, c0, c1, c1) and (-s0, s0, -s1, s1).
struct twiddle2 {
    v4d c, s;
};

constexpr long long sign_bit = static_cast<long long>(0x8000000000000000ull);

TULM_FFT_INLINE v4d flip_re(const v4d& x) { return (v4d)((v4i)x ^ (v4i){sign_bit, 0, sign_bit, 0}); }
TULM_FFT_INLINE v4d flip_im(const v4d& x) { return (v4d)((v4i)x ^ (v4i){0, sign_bit, 0, sign_bit}); }
TULM_FFT_INLINE v4d flip_both(const v4d& x)
{
    return (v4d)((v4i)x ^ (v4i){sign_bit, sign_bit, sign_bit, sign_bit});
}
TULM_FFT_INLINE v4d swap_ri(const v4d& x) { return __builtin_shufflevector(x, x, 1, 0, 3, 2); }

TULM_FFT_INLINE cpx2 load2(const double* a)
{
    cpx2 x;
    __builtin_memcpy(&x.v, a, sizeof x.v);
    return x;
}
TULM_FFT_INLINE cpx2 load2_conj(const double* a) { return cpx2{flip_im(load2(a).v)}; }
TULM_FFT_INLINE void store2(double* a, const cpx2& x) { __builtin_memcpy(a, &x.v, sizeof x.v); }

TULM_FFT_INLINE cpx2 operator+(const cpx2& x, const cpx2& y) { return cpx2{x.v + y.v}; }
TULM_FFT_INLINE cpx2 operator-(const cpx2& x, const cpx2& y) { return cpx2{x.v - y.v}; }

// x + i*y and x - i*y together.
TULM_FFT_INLINE void add_sub_i(const cpx2& x, const cpx2& y, cpx2& plus, cpx2& minus)
{
    const v4d iy = flip_re(swap_ri(y.v));
    plus = cpx2{x.v + iy};
    minus = cpx2{x.v - iy};
}

TULM_FFT_INLINE cpx2 mul(const cpx2& x, const twiddle2& w) { return cpx2{x.v * w.c + swap_ri(x.v) * w.s}; }

// (w0, w1) as one vector, w0 in the low half.
TULM_FFT_INLINE v4d join(cpx w0, cpx w1)
{
#ifdef TULM_FFT_SSE2
    return __builtin_shufflevector((v2d)w0.v, (v2d)w1.v, 0, 1, 2, 3);
#else
    return (v4d){real(w0), imag(w0), real(w1), imag(w1)};
#endif
}

// The value in the low (half 0) or the high half (half 1).
template <int half>
TULM_FFT_INLINE cpx half_of(const cpx2& x)
{
#ifdef TULM_FFT_SSE2
    return cpx{(__m128d)__builtin_shufflevector(x.v, x.v, 2 * half, 2 * half + 1)};
#else
    return make(x.v[2 * half], x.v[2 * half + 1]);
#endif
}

// x * (h + i*h) and x * (-h + i*h), as the one-value forms.
TULM_FFT_INLINE cpx2 mul_hh(const cpx2& x, double h)
{
    const v4d re = __builtin_shufflevector(x.v, x.v, 0, 0, 2, 2);
    const v4d im = __builtin_shufflevector(x.v, x.v, 1, 1, 3, 3);
    return cpx2{(v4d){h, h, h, h} * (re + flip_re(im))};
}
TULM_FFT_INLINE cpx2 mul_nhh(const cpx2& x, double h)
{
    const v4d re = __builtin_shufflevector(x.v, x.v, 0, 0, 2, 2);
    const v4d im = __builtin_shufflevector(x.v, x.v, 1, 1, 3, 3);
    return cpx2{(v4d){-h, h, -h, h} * (re + flip_im(im))};
}

// Prepared twiddles for the values w0, w1; for i conj(w) (cosine and sine swapped); and
// for -i conj(w).
TULM_FFT_INLINE twiddle2 prepare2(const v4d& w)
{
    return twiddle2{__builtin_shufflevector(w, w, 0, 0, 2, 2),
                    flip_re(__builtin_shufflevector(w, w, 1, 1, 3, 3))};
}
TULM_FFT_INLINE twiddle2 prepare2_swapped(const v4d& w)
{
    return twiddle2{__builtin_shufflevector(w, w, 1, 1, 3, 3),
                    flip_re(__builtin_shufflevector(w, w, 0, 0, 2, 2))};
}
TULM_FFT_INLINE twiddle2 prepare2_nswapped(const v4d& w)
{
    return twiddle2{flip_both(__builtin_shufflevector(w, w, 1, 1, 3, 3)),
                    flip_im(__builtin_shufflevector(w, w, 0, 0, 2, 2))};
}

} // namespace tulm_fft

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
