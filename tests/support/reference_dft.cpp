#include "reference_dft.h"

#include <cmath>

namespace tulm_test {
namespace {

const long double two_pi = 6.283185307179586476925286766559005768L;

// cos and sin of 2 pi r / d, from the reduced fraction so large products lose nothing.
struct ldcpx {
    long double re, im;
};

ldcpx unit(long double r, long double d)
{
    const long double x = two_pi * (r / d);
    return ldcpx{cosl(x), sinl(x)};
}

} // namespace

ldvec reference_cdft(const std::vector<double>& z, int sign, long double shift)
{
    const int64_t N = static_cast<int64_t>(z.size() / 2);
    // e^(2 pi i m / (2N)) for m = 0 .. 2N-1; every exponent j(k + shift) is a multiple of
    // 1/2, so it indexes this table after reduction modulo N.
    std::vector<ldcpx> w(static_cast<size_t>(2 * N));
    for (int64_t m = 0; m < 2 * N; ++m) w[m] = unit(m, 2 * N);
    ldvec out(z.size());
    const int64_t s2 = static_cast<int64_t>(2 * shift);  // shift in half steps: 0 or 1
    for (int64_t k = 0; k < N; ++k) {
        long double re = 0, im = 0;
        const int64_t step = 2 * k + s2;  // exponent of j in half steps
        int64_t m = 0;
        for (int64_t j = 0; j < N; ++j) {
            const ldcpx t = w[static_cast<size_t>(m)];
            const long double ti = sign > 0 ? t.im : -t.im;
            const long double zr = z[2 * j], zi = z[2 * j + 1];
            re += zr * t.re - zi * ti;
            im += zr * ti + zi * t.re;
            m += step;
            if (m >= 2 * N) m -= 2 * N;
        }
        out[2 * k] = re;
        out[2 * k + 1] = im;
    }
    return out;
}

ldvec reference_real_forward(const std::vector<double>& x)
{
    const int64_t n = static_cast<int64_t>(x.size());
    std::vector<ldcpx> w(static_cast<size_t>(n));
    for (int64_t m = 0; m < n; ++m) w[m] = unit(m, n);
    ldvec a(x.size());
    long double dc = 0, ny = 0;
    for (int64_t t = 0; t < n; ++t) {
        dc += x[t];
        ny += (t % 2 ? -1.0L : 1.0L) * x[t];
    }
    a[0] = dc;
    a[1] = ny;
    for (int64_t k = 1; k < n / 2; ++k) {
        long double re = 0, im = 0;
        int64_t m = 0;
        for (int64_t t = 0; t < n; ++t) {
            re += x[t] * w[m].re;
            im += x[t] * w[m].im;
            m += k;
            if (m >= n) m -= n;
        }
        a[2 * k] = re;
        a[2 * k + 1] = im;
    }
    return a;
}

ldvec reference_real_inverse(const std::vector<double>& a)
{
    const int64_t n = static_cast<int64_t>(a.size());
    std::vector<ldcpx> w(static_cast<size_t>(n));
    for (int64_t m = 0; m < n; ++m) w[m] = unit(m, n);
    ldvec y(a.size());
    for (int64_t t = 0; t < n; ++t) {
        long double s = a[0] / 2.0L + (t % 2 ? -1.0L : 1.0L) * a[1] / 2.0L;
        int64_t m = 0;
        for (int64_t k = 1; k < n / 2; ++k) {
            m += t;
            if (m >= n) m %= n;
            s += a[2 * k] * w[m].re + a[2 * k + 1] * w[m].im;
        }
        y[t] = s;
    }
    return y;
}

double relative_rms_error(const std::vector<double>& got, const ldvec& want)
{
    long double num = 0, den = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        const long double d = got[i] - want[i];
        num += d * d;
        den += want[i] * want[i];
    }
    return static_cast<double>(sqrtl(num / den));
}

double max_abs_error(const std::vector<double>& got, const ldvec& want)
{
    long double worst = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        const long double d = fabsl(got[i] - want[i]);
        if (d > worst) worst = d;
    }
    return static_cast<double>(worst);
}

std::vector<double> random_block(int32_t n, uint32_t seed)
{
    // xorshift32: tiny, and the same sequence everywhere.
    uint32_t s = seed * 2654435761u + 1u;
    std::vector<double> x(static_cast<size_t>(n));
    for (double& v : x) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        v = static_cast<double>(s) / 2147483648.0 - 1.0;
    }
    return x;
}

int32_t bit_reverse(int32_t p, int bits)
{
    int32_t r = 0;
    for (int b = 0; b < bits; ++b) r |= ((p >> b) & 1) << (bits - 1 - b);
    return r;
}

} // namespace tulm_test
