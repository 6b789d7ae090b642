#include "reference_dft.h"

#include <cmath>

#ifdef TULM_HAVE_FFTWL
#include <fftw3.h>
#endif

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

ldvec direct_cdft(const std::vector<double>& z, int sign, long double shift)
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

ldvec direct_real_forward(const std::vector<double>& x)
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

ldvec direct_real_inverse(const std::vector<double>& a)
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

#ifdef TULM_HAVE_FFTWL

namespace {

constexpr size_t direct_limit = 4096;  // doubles

// FFTW's sign convention: FFTW_BACKWARD is the positive exponent.
ldvec fftwl_cdft(const std::vector<double>& z, int sign)
{
    const int N = static_cast<int>(z.size() / 2);
    fftwl_complex* buf = fftwl_alloc_complex(static_cast<size_t>(N));
    fftwl_plan plan =
        fftwl_plan_dft_1d(N, buf, buf, sign > 0 ? FFTW_BACKWARD : FFTW_FORWARD, FFTW_ESTIMATE);
    for (int j = 0; j < N; ++j) {
        buf[j][0] = z[2 * j];
        buf[j][1] = z[2 * j + 1];
    }
    fftwl_execute(plan);
    ldvec out(z.size());
    for (int k = 0; k < N; ++k) {
        out[2 * k] = buf[k][0];
        out[2 * k + 1] = buf[k][1];
    }
    fftwl_destroy_plan(plan);
    fftwl_free(buf);
    return out;
}

} // namespace

ldvec reference_cdft(const std::vector<double>& z, int sign, long double shift)
{
    if (z.size() <= direct_limit || shift != 0) return direct_cdft(z, sign, shift);
    return fftwl_cdft(z, sign);
}

// The packed spectrum is the conjugate of FFTW's negative-exponent bins 0 .. n/2.
ldvec reference_real_forward(const std::vector<double>& x)
{
    if (x.size() <= direct_limit) return direct_real_forward(x);
    const int n = static_cast<int>(x.size());
    long double* in = fftwl_alloc_real(static_cast<size_t>(n));
    fftwl_complex* out = fftwl_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftwl_plan plan = fftwl_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    for (int t = 0; t < n; ++t) in[t] = x[t];
    fftwl_execute(plan);
    ldvec a(x.size());
    a[0] = out[0][0];
    a[1] = out[n / 2][0];
    for (int k = 1; k < n / 2; ++k) {
        a[2 * k] = out[k][0];
        a[2 * k + 1] = -out[k][1];
    }
    fftwl_destroy_plan(plan);
    fftwl_free(in);
    fftwl_free(out);
    return a;
}

// y[t] = sum over all n bins of C[k] e^(+2 pi i kt/n) with C[0] = a0/2, C[n/2] = a1/2,
// C[k] = (a[2k] - i a[2k+1])/2: FFTW's complex-to-real transform.
ldvec reference_real_inverse(const std::vector<double>& a)
{
    if (a.size() <= direct_limit) return direct_real_inverse(a);
    const int n = static_cast<int>(a.size());
    fftwl_complex* in = fftwl_alloc_complex(static_cast<size_t>(n / 2 + 1));
    long double* out = fftwl_alloc_real(static_cast<size_t>(n));
    fftwl_plan plan = fftwl_plan_dft_c2r_1d(n, in, out, FFTW_ESTIMATE);
    in[0][0] = a[0] / 2.0L;
    in[0][1] = 0;
    in[n / 2][0] = a[1] / 2.0L;
    in[n / 2][1] = 0;
    for (int k = 1; k < n / 2; ++k) {
        in[k][0] = a[2 * k] / 2.0L;
        in[k][1] = -a[2 * k + 1] / 2.0L;
    }
    fftwl_execute(plan);
    ldvec y(out, out + n);
    fftwl_destroy_plan(plan);
    fftwl_free(in);
    fftwl_free(out);
    return y;
}

#else

ldvec reference_cdft(const std::vector<double>& z, int sign, long double shift)
{
    return direct_cdft(z, sign, shift);
}
ldvec reference_real_forward(const std::vector<double>& x) { return direct_real_forward(x); }
ldvec reference_real_inverse(const std::vector<double>& a) { return direct_real_inverse(a); }

#endif

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
