#pragma once
// The stage passes of the complex transform, for one transform or several side by side
// (lanes.h). Each cuts a block of M complex values into four quarter blocks in one sweep
// over j = 0 .. M/4 - 1, generating its twiddles from sine and cosine plus the two-step
// recurrence
//   c(j+1) = c(j-1) - 2 sin(phi) s(j),   s(j+1) = s(j-1) + 2 sin(phi) c(j),
// re-seeded from sine and cosine every 64 bottom indices so that no recurrence runs
// longer than 32 double steps. Indices go up from the bottom in pairs (j, j+1), each
// with its mirror pair (Q - j - 1, Q - j), whose twiddles are the bottom ones reflected:
// w^(Q-j) = i conj(w^j) and w^3(Q-j) = -i conj(w^3j).
#include <cmath>

#include "fft/constants.h"
#include "fft/lanes.h"

namespace tulm_fft {
namespace {

// e^(3ix) from e^(ix): cos 3x = cos x - (4 sin x cos x) sin x, sin 3x = (4 sin x cos x) cos x - sin x.
inline cplx triple(cplx w)
{
    const double k = 4.0 * w.im * w.re;
    return make(w.re - k * w.im, k * w.re - w.im);
}

// The 45- and 135-degree companions of w: w e^(i pi/4) and w e^(3i pi/4).
inline cplx at45(cplx w) { return mul_hh(w, kc::h); }
inline cplx at135(cplx w) { return mul_nhh(w, kc::h); }

// Twiddles at a pair of consecutive indices (k, k+1) of one stage pass, k even. Plain
// stages carry w^j and w^3j; the shifted stage also the companions.
struct Twiddles {
    cplx e1, o1;    // e^(i j phi) at the even and the odd index
    cplx e3, o3;    // e^(3i j phi)
    cplx ec1, oc1;  // shifted stage only: e^(i j phi) e^(i pi/4)
    cplx ec3, oc3;  // shifted stage only: e^(3i j phi) e^(3i pi/4)
};

// Fresh values at k0 and k0 + 1 from sine and cosine of k0 phi = (2 k0) theta.
inline Twiddles seed_at(int32_t k0, double theta, cplx w)
{
    const double angle = static_cast<double>(2 * k0) * theta;
    Twiddles t;
    t.e1 = make(std::cos(angle), std::sin(angle));
    t.o1 = mul(t.e1, w);
    t.e3 = triple(t.e1);
    t.o3 = triple(t.o1);
    t.ec1 = at45(t.e1);
    t.oc1 = at45(t.o1);
    t.ec3 = at135(t.e3);
    t.oc3 = at135(t.o3);
    return t;
}

// Plain butterfly at value j (v = a + 2j), quarters qd doubles apart; w1 = w^j, w3 = w^3j:
//   v[j] = t0 + t1, v[j+Q] = t0 - t1, v[j+2Q] = w^j (d0 + i d1), v[j+3Q] = w^3j (d0 - i d1)
// with t0 = x0 + x2, t1 = x1 + x3, d0 = x0 - x2, d1 = x1 - x3.
template <bool conj_in, class V>
inline void plain_bfly(V* v, int32_t qd, cplx w1, cplx w3)
{
    C<V> x[4];
    for (int k = 0; k < 4; ++k) x[k] = conj_in ? load_conj(v + k * qd) : load(v + k * qd);
    const C<V> t0 = x[0] + x[2], t1 = x[1] + x[3], d0 = x[0] - x[2], d1 = x[1] - x[3];
    C<V> plus, minus;
    add_sub_i(d0, d1, plus, minus);
    store(v, t0 + t1);
    store(v + qd, t0 - t1);
    store(v + 2 * qd, mul(plus, w1));
    store(v + 3 * qd, mul(minus, w3));
}

// Shifted butterfly: w1 = om^j, w1q = om^(j+Q), w3 = om^3j, w3q = om^3(j+Q);
//   p = (x0 + i x2) om^j, p' = (x1 + i x3) om^(j+Q), r = (x0 - i x2) om^3j,
//   r' = (x1 - i x3) om^3(j+Q);  v[j], v[j+Q], v[j+2Q], v[j+3Q] = p + p', p - p', r + r', r - r'.
template <class V>
inline void shifted_bfly(V* v, int32_t qd, cplx w1, cplx w1q, cplx w3, cplx w3q)
{
    C<V> x[4];
    for (int k = 0; k < 4; ++k) x[k] = load(v + k * qd);
    C<V> p, r, pq, rq;
    add_sub_i(x[0], x[2], p, r);
    add_sub_i(x[1], x[3], pq, rq);
    p = mul(p, w1);
    pq = mul(pq, w1q);
    r = mul(r, w3);
    rq = mul(rq, w3q);
    store(v, p + pq);
    store(v + qd, p - pq);
    store(v + 2 * qd, r + rq);
    store(v + 3 * qd, r - rq);
}

// On WebAssembly, a pair of lanes at a time (lanes.h).
#if defined(__wasm_simd128__)
template <bool conj_in>
inline void plain_bfly(lanes4* v, int32_t qd, cplx w1, cplx w3)
{
    for (int k = 0; k < 2; ++k) plain_bfly<conj_in>(pair_of(v, k), qd, w1, w3);
}
inline void shifted_bfly(lanes4* v, int32_t qd, cplx w1, cplx w1q, cplx w3, cplx w3q)
{
    for (int k = 0; k < 2; ++k) shifted_bfly(pair_of(v, k), qd, w1, w1q, w3, w3q);
}
#endif

// What every pass keeps: the block, its quarter size, the step angle theta
// (w = e^(2i theta)) and the recurrences of w^j and w^3j, started at j = 0 and 1.
template <class V>
struct Walk {
    V* a;
    int32_t qd;  // a quarter, in doubles
    int32_t Q;   // a quarter, in complex values
    double theta;
    cplx w;
    double g1, g3;
    Twiddles t;

    Walk(int32_t n, V* block, double step) : a(block), qd(n / 4), Q(n / 8), theta(step)
    {
        w = make(std::cos(2 * theta), std::sin(2 * theta));
        const cplx w3 = triple(w);
        g1 = 2 * w.im;
        g3 = 2 * w3.im;
        t.e1 = make(1, 0);
        t.o1 = w;
        t.e3 = make(1, 0);
        t.o3 = w3;
    }

    void reseed(int32_t k0) { t = seed_at(k0, theta, w); }
    V* at(int32_t j) const { return a + 2 * j; }
};

// The plain stage pass, as the steps run_sweep calls in order: first() for index 0,
// reseed() at the top of each run of 64 indices after the first, pair() for each bottom
// pair with its mirrors, last() for the pair below the centre and the centre itself.
template <bool conj_in, class V>
struct PlainPass : Walk<V> {
    using Walk<V>::at, Walk<V>::qd, Walk<V>::Q, Walk<V>::t, Walk<V>::g1, Walk<V>::g3;

    PlainPass(int32_t n, V* a) : Walk<V>(n, a, kc::half_pi / (n / 4)) {}

    void first() { plain_bfly<conj_in>(at(0), qd, make(1, 0), make(1, 0)); }

    void pair(int32_t j)
    {
        t.e1 = advance(t.e1, t.o1, g1);
        t.e3 = advance(t.e3, t.o3, g3);
        plain_bfly<conj_in>(at(j), qd, t.o1, t.o3);
        plain_bfly<conj_in>(at(j + 1), qd, t.e1, t.e3);
        plain_bfly<conj_in>(at(Q - j - 1), qd, swap(t.e1), nswap(t.e3));
        plain_bfly<conj_in>(at(Q - j), qd, swap(t.o1), nswap(t.o3));
        t.o1 = advance(t.o1, t.e1, g1);
        t.o3 = advance(t.o3, t.e3, g3);
    }

    void last(int32_t centre)
    {
        plain_bfly<conj_in>(at(centre - 1), qd, t.o1, t.o3);
        plain_bfly<conj_in>(at(Q - centre + 1), qd, swap(t.o1), nswap(t.o3));
        // cos((M/8) phi), sqrt(1/2) in exact arithmetic, by one more recurrence step.
        const double c = advance(t.e1, t.o1, g1).re;
        plain_bfly<conj_in>(at(centre), qd, make(c, c), make(-c, c));
    }
};

// The shifted stage pass, in the same steps. With om^Q = e^(i pi/4):
//   om^(Q-j) = i conj(om^(j+Q)),  om^(2Q-j) = i conj(om^j),
//   om^3(Q-j) = -i conj(om^3(j+Q)),  om^3(2Q-j) = -i conj(om^3j).
template <class V>
struct ShiftedPass : Walk<V> {
    using Walk<V>::at, Walk<V>::qd, Walk<V>::Q, Walk<V>::t, Walk<V>::g1, Walk<V>::g3;

    // The companion sequences start at e^(i pi/4) and e^(3i pi/4) times the plain ones.
    ShiftedPass(int32_t n, V* a) : Walk<V>(n, a, kc::half_pi / (n / 2))
    {
        t.ec1 = make(kc::h, kc::h);
        t.oc1 = at45(this->w);
        t.ec3 = make(-kc::h, kc::h);
        t.oc3 = at135(t.o3);
    }

    void first()
    {
        shifted_bfly(at(0), qd, make(1, 0), make(kc::h, kc::h), make(1, 0),
                     make(-kc::h, kc::h));
    }

    // Index j with its twiddles, and its mirror Q - j.
    void mirrored(int32_t j, cplx w1, cplx w1q, cplx w3, cplx w3q)
    {
        shifted_bfly(at(j), qd, w1, w1q, w3, w3q);
        shifted_bfly(at(Q - j), qd, swap(w1q), swap(w1), nswap(w3q), nswap(w3));
    }

    void pair(int32_t j)
    {
        t.e1 = advance(t.e1, t.o1, g1);
        t.e3 = advance(t.e3, t.o3, g3);
        t.ec1 = advance(t.ec1, t.oc1, g1);
        t.ec3 = advance(t.ec3, t.oc3, g3);
        mirrored(j, t.o1, t.oc1, t.o3, t.oc3);
        mirrored(j + 1, t.e1, t.ec1, t.e3, t.ec3);
        t.o1 = advance(t.o1, t.e1, g1);
        t.o3 = advance(t.o3, t.e3, g3);
        t.oc1 = advance(t.oc1, t.ec1, g1);
        t.oc3 = advance(t.oc3, t.ec3, g3);
    }

    void last(int32_t centre)
    {
        mirrored(centre - 1, t.o1, t.oc1, t.o3, t.oc3);
        // om^(M/8) = cos(pi/8) + i sin(pi/8) in exact arithmetic, by one more recurrence
        // step; om^(M/8 + Q) = om^(3 M/8) = s + i c and om^3(M/8 + Q) = -c - i s.
        const cplx cs = advance(t.e1, t.o1, g1);
        shifted_bfly(at(centre), qd, cs, swap(cs), swap(cs), -cs);
    }
};

// One sweep over the indices of a stage pass of n doubles: j = 0, the bottom pairs
// (j, j+1) from j = 1 with their mirrors, re-seeded from sine and cosine every 64
// indices, then the pair below the centre M/8 and the centre.
template <class Pass>
inline void run_sweep(int32_t n, Pass pass)
{
    const int32_t centre = n / 16;  // M/8
    pass.first();
    const int32_t last = centre - 2;
    for (int32_t start = 1; start <= last; start += 64) {
        if (start > 1) pass.reseed(start - 1);
        const int32_t end = start + 63 < last ? start + 63 : last;
        for (int32_t j = start; j < end; j += 2) pass.pair(j);
    }
    pass.last(centre);
}

// A block of n >= 64 doubles: its quarters become blocks whose transforms are its
// coefficients 4q, 4q+2, 4q+1, 4q+3 (contracts in fft_internal.h).
template <class V>
void cfft_stage(int32_t n, V* a) { run_sweep(n, PlainPass<false, V>(n, a)); }
template <class V>
void cfft_stage_conj(int32_t n, V* a) { run_sweep(n, PlainPass<true, V>(n, a)); }
template <class V>
void cfft_stage_shifted(int32_t n, V* a) { run_sweep(n, ShiftedPass<V>(n, a)); }

} // namespace
} // namespace tulm_fft
