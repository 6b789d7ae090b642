#pragma once
// The values every routine of the transform is written in: a template on V, one double
// of one transform. V = double runs one transform, V = lanes4 four side by side, lane k
// for transform k (element i of lane k at double 4i + k). The compiler's vector
// extensions apply + - * lane by lane, a double operand to every lane, so each lane
// performs the scalar code's operations in its order: the same bits. Complex value p is
// (a[2p], a[2p + 1]). Twiddles, the same for every lane, stay doubles (cplx): their
// recurrences run once for all lanes. Everything here and in the algorithm headers has
// internal linkage, so each instruction set's copy (real_fft.cpp, fft_avx.cpp) keeps its own.
#include <cstdint>

// A 32-byte value is passed between functions of one file only, never across the
// library's boundary, so its calling convention with and without AVX does not matter.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace tulm_fft {
namespace {

// Four doubles, aligned to a double only, so that any array of doubles may be read as
// it. A class rather than a bare vector type: template arguments keep a class's
// alignment but drop a typedef's.
typedef double v4d __attribute__((vector_size(32)));
struct __attribute__((packed, aligned(8), may_alias)) lanes4 {
    v4d v;
};
inline lanes4 operator+(lanes4 x, lanes4 y) { return lanes4{x.v + y.v}; }
inline lanes4 operator-(lanes4 x, lanes4 y) { return lanes4{x.v - y.v}; }
inline lanes4 operator*(lanes4 x, double s) { return lanes4{x.v * s}; }
inline lanes4 operator*(double s, lanes4 x) { return lanes4{s * x.v}; }
inline lanes4 operator-(lanes4 x) { return lanes4{-x.v}; }

#if defined(__wasm_simd128__)
// WebAssembly's vectors hold two doubles, so a lanes4 is two of them, and a butterfly or
// kernel on lanes4 keeps twice as many vectors live as the machine has registers: the
// browser's compiler then spills them to the stack at every step. lane_pair is two
// lanes of a lanes4 array (pair_of), read and written in place, so that the butterflies
// and kernels of a group run on one pair and then on the other (their overloads for
// lanes4 in stages.h, transform.h and kernels.h), each lane with its own operations as
// before, while the twiddles are still made once for all four lanes.
typedef double v2d __attribute__((vector_size(16)));
struct __attribute__((packed, aligned(8), may_alias)) lane_pair {
    v2d v;
    // The element's other pair: it makes the stride a lanes4's, and is never read or
    // written through this view, since a copy takes v alone.
    double others[2];

    lane_pair() = default;
    explicit lane_pair(v2d x) : v(x) {}
    lane_pair(const lane_pair& x) : v(x.v) {}
    lane_pair& operator=(const lane_pair& x)
    {
        v = x.v;
        return *this;
    }
};
inline lane_pair operator+(lane_pair x, lane_pair y) { return lane_pair{x.v + y.v}; }
inline lane_pair operator-(lane_pair x, lane_pair y) { return lane_pair{x.v - y.v}; }
inline lane_pair operator*(lane_pair x, double s) { return lane_pair{x.v * s}; }
inline lane_pair operator*(double s, lane_pair x) { return lane_pair{s * x.v}; }
inline lane_pair operator-(lane_pair x) { return lane_pair{-x.v}; }

// Lanes 2k and 2k + 1 of a group.
inline lane_pair* pair_of(lanes4* a, int k)
{
    return reinterpret_cast<lane_pair*>(reinterpret_cast<double*>(a) + 2 * k);
}
#endif

template <class V>
struct C {
    V re, im;
};
using cplx = C<double>;

inline cplx make(double re, double im) { return cplx{re, im}; }

template <class V>
inline C<V> load(const V* a) { return C<V>{a[0], a[1]}; }
template <class V>
inline C<V> load_conj(const V* a) { return C<V>{a[0], -a[1]}; }
template <class V>
inline void store(V* a, const C<V>& x) { a[0] = x.re, a[1] = x.im; }

template <class V>
inline C<V> operator+(const C<V>& x, const C<V>& y) { return C<V>{x.re + y.re, x.im + y.im}; }
template <class V>
inline C<V> operator-(const C<V>& x, const C<V>& y) { return C<V>{x.re - y.re, x.im - y.im}; }
template <class V>
inline C<V> operator-(const C<V>& x) { return C<V>{-x.re, -x.im}; }
template <class V>
inline C<V> conj(const C<V>& x) { return C<V>{x.re, -x.im}; }

// i conj(x) and -i conj(x).
inline cplx swap(cplx x) { return cplx{x.im, x.re}; }
inline cplx nswap(cplx x) { return cplx{-x.im, -x.re}; }

// x + i y and x - i y.
template <class V>
inline void add_sub_i(const C<V>& x, const C<V>& y, C<V>& plus, C<V>& minus)
{
    plus = C<V>{x.re - y.im, x.im + y.re};
    minus = C<V>{x.re + y.im, x.im - y.re};
}

// x w and x conj(w): four multiplications, even where w is 1 (signed zeros and
// infinities come out as the multiplications make them).
template <class V>
inline C<V> mul(const C<V>& x, cplx w)
{
    return C<V>{x.re * w.re - x.im * w.im, x.im * w.re + x.re * w.im};
}
template <class V>
inline C<V> mul_conj(const C<V>& x, cplx w)
{
    return C<V>{x.re * w.re + x.im * w.im, x.im * w.re - x.re * w.im};
}

// x (h + i h) and x (-h + i h): one sum, one difference, two multiplications.
template <class V>
inline C<V> mul_hh(const C<V>& x, double h) { return C<V>{h * (x.re - x.im), h * (x.re + x.im)}; }
template <class V>
inline C<V> mul_nhh(const C<V>& x, double h)
{
    return C<V>{-h * (x.re + x.im), h * (x.re - x.im)};
}

// prev + g i cur: one step of the two-step recurrence of e^(i j phi),
// c(j+1) = c(j-1) - g s(j), s(j+1) = s(j-1) + g c(j).
inline cplx advance(cplx prev, cplx cur, double g)
{
    return cplx{prev.re - g * cur.im, prev.im + g * cur.re};
}

} // namespace
} // namespace tulm_fft
