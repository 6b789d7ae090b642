// The stage passes of the complex transform. Each cuts a block of M complex values
// into four quarter blocks in one sweep over j = 0 .. M/4 - 1, generating its twiddles
// from sine and cosine plus the two-step recurrence
//   c(j+1) = c(j-1) - 2 sin(phi) s(j),   s(j+1) = s(j-1) + 2 sin(phi) c(j),
// re-seeded from sine and cosine every 64 bottom indices so that no recurrence runs
// longer than 32 double steps. Indices go up from the bottom in pairs (j, j+1), each
// with its mirror Q - j, Q - j - 1, whose twiddles are the bottom ones reflected.
#include <cmath>

#include "fft/cpx.h"
#include "fft/fft_internal.h"

using namespace tulm_fft;

namespace {

constexpr double half_pi = 1.5707963267948966;
constexpr double rt_half = 0.7071067811865476;  // sqrt(1/2)

// The next value of an angle sequence from the two before it: prev at j-1, cur at j,
// g = 2 sin(step angle).
inline cpx advance(cpx prev, cpx cur, double g)
{
    return cpx{prev.re - g * cur.im, prev.im + g * cur.re};
}

// e^(3ix) from e^(ix): cos 3x = cos x - (4 sin x cos x) sin x, sin 3x = (4 sin x cos x) cos x - sin x.
inline cpx triple(cpx w)
{
    const double k = 4.0 * w.im * w.re;
    return cpx{w.re - k * w.im, k * w.re - w.im};
}

// e^(i(x + y)) from e^(ix) and e^(iy).
inline cpx rotate(cpx x, cpx y)
{
    return cpx{x.re * y.re - x.im * y.im, x.im * y.re + x.re * y.im};
}

// The 45- and 135-degree companions of w: w e^(i pi/4) and w e^(3i pi/4).
inline cpx at45(cpx w) { return cpx{rt_half * (w.re - w.im), rt_half * (w.re + w.im)}; }
inline cpx at135(cpx w) { return cpx{-rt_half * (w.re + w.im), rt_half * (w.re - w.im)}; }

// Twiddles at a pair of consecutive indices (k, k+1) of one stage pass, k even.
// Plain stages carry w^j and w^3j; the shifted stage also the companions.
struct Twiddles {
    cpx e1, o1;  // e^(i j phi) at the even and the odd index
    cpx e3, o3;  // e^(3i j phi)
    cpx ec1, oc1;  // shifted stage only: e^(i j phi) e^(i pi/4)
    cpx ec3, oc3;  // shifted stage only: e^(3i j phi) e^(3i pi/4)
};

// Fresh values at k0 and k0 + 1 from sine and cosine of k0 phi = (2 k0) theta.
inline Twiddles seed_at(int32_t k0, double theta, cpx w)
{
    const double angle = static_cast<double>(2 * k0) * theta;
    Twiddles t;
    t.e1 = cpx{std::cos(angle), std::sin(angle)};
    t.o1 = rotate(t.e1, w);
    t.e3 = triple(t.e1);
    t.o3 = triple(t.o1);
    t.ec1 = at45(t.e1);
    t.oc1 = at45(t.o1);
    t.ec3 = at135(t.e3);
    t.oc3 = at135(t.o3);
    return t;
}

template <bool conj_in>
inline cpx load_in(const double* a)
{
    return conj_in ? load_conj(a) : load(a);
}

// Plain butterfly at v = &value j, quarters qd doubles apart; w1 = w^j, w3 = w^3j.
template <bool conj_in>
inline void plain_bfly(double* v, int32_t qd, cpx w1, cpx w3)
{
    const cpx x0 = load_in<conj_in>(v), x1 = load_in<conj_in>(v + qd);
    const cpx x2 = load_in<conj_in>(v + 2 * qd), x3 = load_in<conj_in>(v + 3 * qd);
    const cpx t0 = x0 + x2, t1 = x1 + x3, d0 = x0 - x2, d1 = x1 - x3;
    store(v, t0 + t1);
    store(v + qd, t0 - t1);
    store(v + 2 * qd, mul(add_i(d0, d1), w1));
    store(v + 3 * qd, mul(sub_i(d0, d1), w3));
}

// The plain butterfly at j and at its mirror Q - j, where w^(Q-j) = i conj(w^j) and
// w^3(Q-j) = -i conj(w^3j).
template <bool conj_in>
inline void plain_pair(double* a, int32_t qd, int32_t Q, int32_t j, cpx w1, cpx w3)
{
    plain_bfly<conj_in>(a + 2 * j, qd, w1, w3);
    plain_bfly<conj_in>(a + 2 * (Q - j), qd, cpx{w1.im, w1.re}, cpx{-w3.im, -w3.re});
}

template <bool conj_in>
void plain_stage(int32_t n, double* a)
{
    const int32_t qd = n / 4;       // a quarter, in doubles
    const int32_t Q = n / 8;        // a quarter, in complex values
    const int32_t centre = Q / 2;   // M/8
    const double theta = half_pi / (n / 4);
    const cpx w = {std::cos(2 * theta), std::sin(2 * theta)};
    const cpx w3 = triple(w);
    const double g1 = 2 * w.im, g3 = 2 * w3.im;

    plain_bfly<conj_in>(a, qd, cpx{1, 0}, cpx{1, 0});
    Twiddles t;
    t.e1 = cpx{1, 0};
    t.o1 = w;
    t.e3 = cpx{1, 0};
    t.o3 = w3;
    const int32_t last = centre - 2;
    for (int32_t start = 1; start <= last; start += 64) {
        if (start > 1) t = seed_at(start - 1, theta, w);
        const int32_t end = start + 63 < last ? start + 63 : last;
        for (int32_t j = start; j < end; j += 2) {
            plain_pair<conj_in>(a, qd, Q, j, t.o1, t.o3);
            t.e1 = advance(t.e1, t.o1, g1);
            t.e3 = advance(t.e3, t.o3, g3);
            plain_pair<conj_in>(a, qd, Q, j + 1, t.e1, t.e3);
            t.o1 = advance(t.o1, t.e1, g1);
            t.o3 = advance(t.o3, t.e3, g3);
        }
    }
    plain_pair<conj_in>(a, qd, Q, centre - 1, t.o1, t.o3);
    // cos((M/8) phi), sqrt(1/2) in exact arithmetic, by one more recurrence step.
    const double c = t.e1.re - g1 * t.o1.im;
    plain_bfly<conj_in>(a + 2 * centre, qd, cpx{c, c}, cpx{-c, c});
}

// Shifted butterfly: w1 = om^j, w1q = om^(j+Q), w3 = om^3j, w3q = om^3(j+Q).
inline void shifted_bfly(double* v, int32_t qd, cpx w1, cpx w1q, cpx w3, cpx w3q)
{
    const cpx x0 = load(v), x1 = load(v + qd), x2 = load(v + 2 * qd), x3 = load(v + 3 * qd);
    const cpx p = mul(add_i(x0, x2), w1), pq = mul(add_i(x1, x3), w1q);
    const cpx r = mul(sub_i(x0, x2), w3), rq = mul(sub_i(x1, x3), w3q);
    store(v, p + pq);
    store(v + qd, p - pq);
    store(v + 2 * qd, r + rq);
    store(v + 3 * qd, r - rq);
}

// The shifted butterfly at j and at Q - j. With om^Q = e^(i pi/4):
//   om^(Q-j) = i conj(om^(j+Q)),  om^(2Q-j) = i conj(om^j),
//   om^3(Q-j) = -i conj(om^3(j+Q)),  om^3(2Q-j) = -i conj(om^3j).
inline void shifted_pair(double* a, int32_t qd, int32_t Q, int32_t j, cpx w1, cpx w1q, cpx w3,
                         cpx w3q)
{
    shifted_bfly(a + 2 * j, qd, w1, w1q, w3, w3q);
    shifted_bfly(a + 2 * (Q - j), qd, cpx{w1q.im, w1q.re}, cpx{w1.im, w1.re},
                 cpx{-w3q.im, -w3q.re}, cpx{-w3.im, -w3.re});
}

} // namespace

void cfft_stage(int32_t n, double* a) { plain_stage<false>(n, a); }

void cfft_stage_conj(int32_t n, double* a) { plain_stage<true>(n, a); }

void cfft_stage_shifted(int32_t n, double* a)
{
    const int32_t qd = n / 4;
    const int32_t Q = n / 8;
    const int32_t centre = Q / 2;
    const double theta = half_pi / (n / 2);
    const cpx w = {std::cos(2 * theta), std::sin(2 * theta)};
    const cpx w3 = triple(w);
    const double g1 = 2 * w.im, g3 = 2 * w3.im;

    shifted_bfly(a, qd, cpx{1, 0}, cpx{rt_half, rt_half}, cpx{1, 0}, cpx{-rt_half, rt_half});
    Twiddles t;
    t.e1 = cpx{1, 0};
    t.o1 = w;
    t.e3 = cpx{1, 0};
    t.o3 = w3;
    t.ec1 = cpx{rt_half, rt_half};
    t.oc1 = at45(w);
    t.ec3 = cpx{-rt_half, rt_half};
    t.oc3 = at135(w3);
    const int32_t last = centre - 2;
    for (int32_t start = 1; start <= last; start += 64) {
        if (start > 1) t = seed_at(start - 1, theta, w);
        const int32_t end = start + 63 < last ? start + 63 : last;
        for (int32_t j = start; j < end; j += 2) {
            shifted_pair(a, qd, Q, j, t.o1, t.oc1, t.o3, t.oc3);
            t.e1 = advance(t.e1, t.o1, g1);
            t.e3 = advance(t.e3, t.o3, g3);
            t.ec1 = advance(t.ec1, t.oc1, g1);
            t.ec3 = advance(t.ec3, t.oc3, g3);
            shifted_pair(a, qd, Q, j + 1, t.e1, t.ec1, t.e3, t.ec3);
            t.o1 = advance(t.o1, t.e1, g1);
            t.o3 = advance(t.o3, t.e3, g3);
            t.oc1 = advance(t.oc1, t.ec1, g1);
            t.oc3 = advance(t.oc3, t.ec3, g3);
        }
    }
    shifted_pair(a, qd, Q, centre - 1, t.o1, t.oc1, t.o3, t.oc3);
    // om^(M/8) = cos(pi/8) + i sin(pi/8) in exact arithmetic, by one more recurrence step;
    // om^(M/8 + Q) = om^(3 M/8) = s + i c and om^3(M/8 + Q) = -c - i s.
    const cpx cs = advance(t.e1, t.o1, g1);
    const cpx sc = cpx{cs.im, cs.re};
    shifted_bfly(a + 2 * centre, qd, cs, sc, sc, -cs);
}
