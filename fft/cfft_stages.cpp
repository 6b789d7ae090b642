// The stage passes of the complex transform. Each cuts a block of M complex values
// into four quarter blocks in one sweep over j = 0 .. M/4 - 1, generating its twiddles
// from sine and cosine plus the two-step recurrence
//   c(j+1) = c(j-1) - 2 sin(phi) s(j),   s(j+1) = s(j-1) + 2 sin(phi) c(j),
// re-seeded from sine and cosine every 64 bottom indices so that no recurrence runs
// longer than 32 double steps. Indices go up from the bottom in pairs (j, j+1), each
// with its mirror pair (Q - j - 1, Q - j), whose twiddles are the bottom ones reflected.
// A pair of neighbouring values is one 4-double vector (cpx2.h).
//
// Each pass is compiled twice from the same code: for the baseline (SSE2) and, on x86,
// for AVX, chosen at run time by what the processor offers. Both perform the same
// operations on every value and give the same bits.
#include <cmath>

#include "fft/cpx.h"
#include "fft/cpx2.h"
#include "fft/fft_internal.h"
#include "fft/isa.h"

using namespace tulm_fft;

// See cpx2.h: the 32-byte vectors here never cross a call.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

constexpr double half_pi = 1.5707963267948966;
constexpr double rt_half = 0.7071067811865476;  // sqrt(1/2)

// The next value of an angle sequence from the two before it: prev at j-1, cur at j,
// g = 2 sin(step angle).
TULM_FFT_INLINE cpx advance(cpx prev, cpx cur, double g) { return add_gi(prev, g, cur); }

// e^(3ix) from e^(ix): cos 3x = cos x - (4 sin x cos x) sin x, sin 3x = (4 sin x cos x) cos x - sin x.
TULM_FFT_INLINE cpx triple(cpx w)
{
    const double c = real(w), s = imag(w);
    const double k = 4.0 * s * c;
    return make(c - k * s, k * c - s);
}

// e^(i(x + y)) from e^(ix) and e^(iy).
TULM_FFT_INLINE cpx rotate(cpx x, cpx y)
{
    const double xc = real(x), xs = imag(x), yc = real(y), ys = imag(y);
    return make(xc * yc - xs * ys, xs * yc + xc * ys);
}

// The 45- and 135-degree companions of w: w e^(i pi/4) and w e^(3i pi/4).
TULM_FFT_INLINE cpx at45(cpx w) { return mul_hh(w, rt_half); }
TULM_FFT_INLINE cpx at135(cpx w) { return mul_nhh(w, rt_half); }

// Twiddles at a pair of consecutive indices (k, k+1) of one stage pass, k even.
// Plain stages carry w^j and w^3j; the shifted stage also the companions.
struct Twiddles {
    cpx e1, o1;  // e^(i j phi) at the even and the odd index
    cpx e3, o3;  // e^(3i j phi)
    cpx ec1, oc1;  // shifted stage only: e^(i j phi) e^(i pi/4)
    cpx ec3, oc3;  // shifted stage only: e^(3i j phi) e^(3i pi/4)
};

// Fresh values at k0 and k0 + 1 from sine and cosine of k0 phi = (2 k0) theta.
TULM_FFT_INLINE Twiddles seed_at(int32_t k0, double theta, cpx w)
{
    const double angle = static_cast<double>(2 * k0) * theta;
    Twiddles t;
    t.e1 = make(std::cos(angle), std::sin(angle));
    t.o1 = rotate(t.e1, w);
    t.e3 = triple(t.e1);
    t.o3 = triple(t.o1);
    t.ec1 = at45(t.e1);
    t.oc1 = at45(t.o1);
    t.ec3 = at135(t.e3);
    t.oc3 = at135(t.o3);
    return t;
}

// The butterflies are written once for one value (twiddle, cpx) and for two
// neighbouring values (twiddle2, cpx2): the twiddle type names the width, and these
// move values of that width to and from memory.
template <class W>
struct Lanes;

template <>
struct Lanes<twiddle> {
    using V = cpx;
    template <bool conj_in>
    static TULM_FFT_INLINE cpx in(const double* a) { return conj_in ? load_conj(a) : load(a); }
    static TULM_FFT_INLINE void out(double* a, const cpx& x) { store(a, x); }
};

template <>
struct Lanes<twiddle2> {
    using V = cpx2;
    template <bool conj_in>
    static TULM_FFT_INLINE cpx2 in(const double* a) { return conj_in ? load2_conj(a) : load2(a); }
    static TULM_FFT_INLINE void out(double* a, const cpx2& x) { store2(a, x); }
};

// Plain butterfly at v = &value j, quarters qd doubles apart; w1 = w^j, w3 = w^3j:
//   v[j] = t0 + t1, v[j+Q] = t0 - t1, v[j+2Q] = w^j (d0 + i d1), v[j+3Q] = w^3j (d0 - i d1)
// with t0 = x0 + x2, t1 = x1 + x3, d0 = x0 - x2, d1 = x1 - x3. The same on two
// neighbouring values at once.
template <bool conj_in, class W>
TULM_FFT_INLINE void plain_bfly(double* v, int32_t qd, const W& w1, const W& w3)
{
    using L = Lanes<W>;
    using V = typename L::V;
    const V x0 = L::template in<conj_in>(v), x1 = L::template in<conj_in>(v + qd);
    const V x2 = L::template in<conj_in>(v + 2 * qd), x3 = L::template in<conj_in>(v + 3 * qd);
    const V t0 = x0 + x2, t1 = x1 + x3, d0 = x0 - x2, d1 = x1 - x3;
    V plus, minus;
    add_sub_i(d0, d1, plus, minus);
    L::out(v, t0 + t1);
    L::out(v + qd, t0 - t1);
    L::out(v + 2 * qd, mul(plus, w1));
    L::out(v + 3 * qd, mul(minus, w3));
}

// Blocks of the same size awaiting the same kind of stage share every twiddle, so a
// stage pass may run over several of them at once: the same arithmetic on each block.
// K > 0 fixes their number where it is known in advance (the loops over the blocks
// then unroll); K = 0 takes it from the list.
template <int K>
struct Blocks {
    double* const* p;
    int32_t count;
    TULM_FFT_INLINE int32_t size() const { return K > 0 ? K : count; }
    TULM_FFT_INLINE double* operator[](int32_t k) const { return p[k]; }
};

// Indices j, j+1 (odd j, twiddles at j in o1/o3 and at j+1 in e1/e3) and their mirrors
// Q-j-1, Q-j, where w^(Q-j) = i conj(w^j) and w^3(Q-j) = -i conj(w^3j).
template <bool conj_in, int K>
TULM_FFT_INLINE void plain_quad(Blocks<K> a, int32_t qd, int32_t Q, int32_t j, cpx o1, cpx e1,
                                cpx o3, cpx e3)
{
    const twiddle2 b1 = prepare2(join(o1, e1)), b3 = prepare2(join(o3, e3));
    const twiddle2 m1 = prepare2_swapped(join(e1, o1)), m3 = prepare2_nswapped(join(e3, o3));
    for (int32_t k = 0; k < a.size(); ++k) {
        plain_bfly<conj_in>(a[k] + 2 * j, qd, b1, b3);
        plain_bfly<conj_in>(a[k] + 2 * (Q - j - 1), qd, m1, m3);
    }
}

// One index j and its mirror Q - j.
template <bool conj_in, int K>
TULM_FFT_INLINE void plain_single_pair(Blocks<K> a, int32_t qd, int32_t Q, int32_t j, cpx w1,
                                       cpx w3)
{
    twiddle t1, t1m, t3, t3m;
    prepare_mirrored(w1, t1, t1m);
    prepare_nmirrored(w3, t3, t3m);
    for (int32_t k = 0; k < a.size(); ++k) {
        plain_bfly<conj_in>(a[k] + 2 * j, qd, t1, t3);
        plain_bfly<conj_in>(a[k] + 2 * (Q - j), qd, t1m, t3m);
    }
}

// What every pass keeps: the quarter size, the step angle theta (w = e^(2i theta)) and
// the recurrences of w^j and w^3j, started at j = 0 and 1.
struct Walk {
    int32_t qd;  // a quarter, in doubles
    int32_t Q;   // a quarter, in complex values
    double theta;
    cpx w;
    double g1, g3;
    Twiddles t;

    TULM_FFT_INLINE Walk(int32_t n, double step) : qd(n / 4), Q(n / 8), theta(step)
    {
        w = make(std::cos(2 * theta), std::sin(2 * theta));
        const cpx w3 = triple(w);
        g1 = 2 * imag(w);
        g3 = 2 * imag(w3);
        t.e1 = make(1, 0);
        t.o1 = w;
        t.e3 = make(1, 0);
        t.o3 = w3;
    }

    TULM_FFT_INLINE void reseed(int32_t k0) { t = seed_at(k0, theta, w); }
};

// The plain stage pass over K blocks of n doubles, as steps that a sweep (run_sweep
// below) calls in order: first() for index 0, reseed() at the top of each run of 64
// indices after the first, pair() for each bottom pair with its mirrors, last() for
// the pair below the centre and the centre itself.
template <bool conj_in, int K>
struct PlainPass : Walk {
    const Blocks<K> a;

    TULM_FFT_INLINE PlainPass(int32_t n, Blocks<K> blocks) : Walk(n, half_pi / (n / 4)), a(blocks) {}

    TULM_FFT_INLINE void first()
    {
        const twiddle one = prepare(make(1, 0));
        for (int32_t k = 0; k < a.size(); ++k) plain_bfly<conj_in>(a[k], qd, one, one);
    }

    TULM_FFT_INLINE void pair(int32_t j)
    {
        t.e1 = advance(t.e1, t.o1, g1);
        t.e3 = advance(t.e3, t.o3, g3);
        plain_quad<conj_in, K>(a, qd, Q, j, t.o1, t.e1, t.o3, t.e3);
        t.o1 = advance(t.o1, t.e1, g1);
        t.o3 = advance(t.o3, t.e3, g3);
    }

    TULM_FFT_INLINE void last(int32_t centre)
    {
        plain_single_pair<conj_in, K>(a, qd, Q, centre - 1, t.o1, t.o3);
        // cos((M/8) phi), sqrt(1/2) in exact arithmetic, by one more recurrence step.
        const double c = real(advance(t.e1, t.o1, g1));
        const twiddle tc1 = prepare(make(c, c)), tc3 = prepare(make(-c, c));
        for (int32_t k = 0; k < a.size(); ++k) plain_bfly<conj_in>(a[k] + 2 * centre, qd, tc1, tc3);
    }
};

// Shifted butterfly: w1 = om^j, w1q = om^(j+Q), w3 = om^3j, w3q = om^3(j+Q);
//   p = (x0 + i x2) om^j, p' = (x1 + i x3) om^(j+Q), r = (x0 - i x2) om^3j,
//   r' = (x1 - i x3) om^3(j+Q);  v[j], v[j+Q], v[j+2Q], v[j+3Q] = p + p', p - p', r + r', r - r'.
template <class W>
TULM_FFT_INLINE void shifted_bfly(double* v, int32_t qd, const W& w1, const W& w1q, const W& w3,
                                  const W& w3q)
{
    using L = Lanes<W>;
    using V = typename L::V;
    const V x0 = L::template in<false>(v), x1 = L::template in<false>(v + qd);
    const V x2 = L::template in<false>(v + 2 * qd), x3 = L::template in<false>(v + 3 * qd);
    V p, r, pq, rq;
    add_sub_i(x0, x2, p, r);
    add_sub_i(x1, x3, pq, rq);
    p = mul(p, w1);
    pq = mul(pq, w1q);
    r = mul(r, w3);
    rq = mul(rq, w3q);
    L::out(v, p + pq);
    L::out(v + qd, p - pq);
    L::out(v + 2 * qd, r + rq);
    L::out(v + 3 * qd, r - rq);
}

// Indices j, j+1 and their mirrors Q-j-1, Q-j. With om^Q = e^(i pi/4):
//   om^(Q-j) = i conj(om^(j+Q)),  om^(2Q-j) = i conj(om^j),
//   om^3(Q-j) = -i conj(om^3(j+Q)),  om^3(2Q-j) = -i conj(om^3j).
template <int K>
TULM_FFT_INLINE void shifted_quad(Blocks<K> a, int32_t qd, int32_t Q, int32_t j,
                                  const Twiddles& t)
{
    const twiddle2 b1 = prepare2(join(t.o1, t.e1)), b1q = prepare2(join(t.oc1, t.ec1));
    const twiddle2 b3 = prepare2(join(t.o3, t.e3)), b3q = prepare2(join(t.oc3, t.ec3));
    const twiddle2 m1 = prepare2_swapped(join(t.ec1, t.oc1));
    const twiddle2 m1q = prepare2_swapped(join(t.e1, t.o1));
    const twiddle2 m3 = prepare2_nswapped(join(t.ec3, t.oc3));
    const twiddle2 m3q = prepare2_nswapped(join(t.e3, t.o3));
    for (int32_t k = 0; k < a.size(); ++k) {
        shifted_bfly(a[k] + 2 * j, qd, b1, b1q, b3, b3q);
        shifted_bfly(a[k] + 2 * (Q - j - 1), qd, m1, m1q, m3, m3q);
    }
}

template <int K>
TULM_FFT_INLINE void shifted_single_pair(Blocks<K> a, int32_t qd, int32_t Q, int32_t j, cpx w1,
                                         cpx w1q, cpx w3, cpx w3q)
{
    twiddle t1, t1m, t1q, t1qm, t3, t3m, t3q, t3qm;
    prepare_mirrored(w1, t1, t1m);
    prepare_mirrored(w1q, t1q, t1qm);
    prepare_nmirrored(w3, t3, t3m);
    prepare_nmirrored(w3q, t3q, t3qm);
    for (int32_t k = 0; k < a.size(); ++k) {
        shifted_bfly(a[k] + 2 * j, qd, t1, t1q, t3, t3q);
        shifted_bfly(a[k] + 2 * (Q - j), qd, t1qm, t1m, t3qm, t3m);
    }
}

// The shifted stage pass over K blocks of n doubles, in the same steps.
template <int K>
struct ShiftedPass : Walk {
    const Blocks<K> a;

    // The companion sequences start at e^(i pi/4) and e^(3i pi/4) times the plain ones.
    TULM_FFT_INLINE ShiftedPass(int32_t n, Blocks<K> blocks) : Walk(n, half_pi / (n / 2)), a(blocks)
    {
        t.ec1 = make(rt_half, rt_half);
        t.oc1 = at45(w);
        t.ec3 = make(-rt_half, rt_half);
        t.oc3 = at135(t.o3);
    }

    TULM_FFT_INLINE void first()
    {
        const twiddle one = prepare(make(1, 0));
        const twiddle q1 = prepare(make(rt_half, rt_half)), q3 = prepare(make(-rt_half, rt_half));
        for (int32_t k = 0; k < a.size(); ++k) shifted_bfly(a[k], qd, one, q1, one, q3);
    }

    TULM_FFT_INLINE void pair(int32_t j)
    {
        t.e1 = advance(t.e1, t.o1, g1);
        t.e3 = advance(t.e3, t.o3, g3);
        t.ec1 = advance(t.ec1, t.oc1, g1);
        t.ec3 = advance(t.ec3, t.oc3, g3);
        shifted_quad<K>(a, qd, Q, j, t);
        t.o1 = advance(t.o1, t.e1, g1);
        t.o3 = advance(t.o3, t.e3, g3);
        t.oc1 = advance(t.oc1, t.ec1, g1);
        t.oc3 = advance(t.oc3, t.ec3, g3);
    }

    TULM_FFT_INLINE void last(int32_t centre)
    {
        shifted_single_pair<K>(a, qd, Q, centre - 1, t.o1, t.oc1, t.o3, t.oc3);
        // om^(M/8) = cos(pi/8) + i sin(pi/8) in exact arithmetic, by one more recurrence
        // step; om^(M/8 + Q) = om^(3 M/8) = s + i c and om^3(M/8 + Q) = -c - i s.
        const cpx cs = advance(t.e1, t.o1, g1);
        const twiddle tcs = prepare(cs), tsc = prepare(swap(cs)), tncs = prepare(-cs);
        for (int32_t k = 0; k < a.size(); ++k) shifted_bfly(a[k] + 2 * centre, qd, tcs, tsc, tsc, tncs);
    }
};

// One sweep over the indices of a stage pass of n doubles: j = 0, the bottom pairs
// (j, j+1) from j = 1 with their mirrors, re-seeded from sine and cosine every 64
// indices, then the pair below the centre M/8 and the centre.
template <class Pass>
TULM_FFT_INLINE void run_sweep(int32_t n, Pass& pass)
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

// The passes the driver uses, once per instruction set: one block of each kind, and
// lists of blocks of one size (the quarters of a middle block, or all the sixteenths of
// a larger one), the plain blocks sharing one sweep and the shifted ones another.
enum class Sweep { plain, conj, shifted };

template <Sweep kind>
TULM_FFT_INLINE void sweep_any(int32_t n, double* a)
{
    double* const one[1] = {a};
    if constexpr (kind == Sweep::plain) {
        PlainPass<false, 1> p(n, {one, 1});
        run_sweep(n, p);
    } else if constexpr (kind == Sweep::conj) {
        PlainPass<true, 1> p(n, {one, 1});
        run_sweep(n, p);
    } else {
        ShiftedPass<1> s(n, {one, 1});
        run_sweep(n, s);
    }
}

// Plain passes over the plain_count blocks plain[..] and shifted ones over the others,
// all of n doubles: the quarters of a middle block, or any blocks of one size.
TULM_FFT_INLINE void sweep_lists(int32_t n, double* const* plain, int32_t plain_count,
                                 double* const* shifted, int32_t shifted_count)
{
    PlainPass<false, 0> p(n, {plain, plain_count});
    ShiftedPass<0> s(n, {shifted, shifted_count});
    if (plain_count > 0) run_sweep(n, p);
    if (shifted_count > 0) run_sweep(n, s);
}

template <Sweep kind>
void sweep(int32_t n, double* a)
{
    run_best([=]() __attribute__((always_inline)) { sweep_any<kind>(n, a); });
}

} // namespace

bool fft_avx_available() { return avx_available(); }

void fft_force_baseline(bool on) { baseline_forced.store(on, std::memory_order_relaxed); }

void cfft_stage(int32_t n, double* a) { sweep<Sweep::plain>(n, a); }
void cfft_stage_conj(int32_t n, double* a) { sweep<Sweep::conj>(n, a); }
void cfft_stage_shifted(int32_t n, double* a) { sweep<Sweep::shifted>(n, a); }
void cfft_stages_of(int32_t n, double* const* plain, int32_t plain_count, double* const* shifted,
                    int32_t shifted_count)
{
    run_best([=]() __attribute__((always_inline)) {
        sweep_lists(n, plain, plain_count, shifted, shifted_count);
    });
}

void cfft_middle_stages(int32_t n, double* a)
{
    const int32_t m = n / 4;
    double* const plain[3] = {a, a + 2 * m, a + 3 * m};
    double* const shifted[1] = {a + m};
    cfft_stages_of(m, plain, 3, shifted, 1);
}

void cfft_middle_stages_shifted(int32_t n, double* a)
{
    const int32_t m = n / 4;
    double* const plain[2] = {a, a + 2 * m};
    double* const shifted[2] = {a + m, a + 3 * m};
    cfft_stages_of(m, plain, 2, shifted, 2);
}
