// Accuracy of real_fft beside FFTW on the same inputs: relative RMS error of the forward
// transform against the long-double sums, and of the round trip against the input.
// Usage: fft_accuracy [blocks per size]   (default 8)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fft/real_fft.h"
#include "reference_dft.h"

#ifdef TULM_HAVE_FFTW
#include <fftw3.h>
#endif

using namespace tulm_test;

namespace {

struct Errors {
    double forward = 0;     // RMS over blocks of the relative RMS error
    double round_trip = 0;
};

double rms_relative(const std::vector<double>& got, const std::vector<double>& want)
{
    return relative_rms_error(got, ldvec(want.begin(), want.end()));
}

Errors tulm_errors(int n, int blocks)
{
    Errors e;
    for (int b = 0; b < blocks; ++b) {
        const std::vector<double> x = random_block(n, 1000 + b);
        std::vector<double> a = x;
        real_fft(n, 1, a.data());
        const double f = relative_rms_error(a, reference_real_forward(x));
        real_fft(n, -1, a.data());
        for (double& v : a) v *= 2.0 / n;
        const double r = rms_relative(a, x);
        e.forward += f * f;
        e.round_trip += r * r;
    }
    e.forward = std::sqrt(e.forward / blocks);
    e.round_trip = std::sqrt(e.round_trip / blocks);
    return e;
}

#ifdef TULM_HAVE_FFTW
Errors fftw_errors(int n, int blocks)
{
    double* in = fftw_alloc_real(static_cast<size_t>(n));
    fftw_complex* spec = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
    fftw_plan fwd = fftw_plan_dft_r2c_1d(n, in, spec, FFTW_MEASURE);
    fftw_plan inv = fftw_plan_dft_c2r_1d(n, spec, in, FFTW_MEASURE);
    Errors e;
    for (int b = 0; b < blocks; ++b) {
        const std::vector<double> x = random_block(n, 1000 + b);
        for (int t = 0; t < n; ++t) in[t] = x[t];
        fftw_execute(fwd);
        // The same packing as real_fft: FFTW's bins are the negative-exponent ones.
        std::vector<double> a(static_cast<size_t>(n));
        a[0] = spec[0][0];
        a[1] = spec[n / 2][0];
        for (int k = 1; k < n / 2; ++k) {
            a[2 * k] = spec[k][0];
            a[2 * k + 1] = -spec[k][1];
        }
        const double f = relative_rms_error(a, reference_real_forward(x));
        fftw_execute(inv);
        std::vector<double> y(in, in + n);
        for (double& v : y) v /= n;
        const double r = rms_relative(y, x);
        e.forward += f * f;
        e.round_trip += r * r;
    }
    fftw_destroy_plan(fwd);
    fftw_destroy_plan(inv);
    fftw_free(in);
    fftw_free(spec);
    e.forward = std::sqrt(e.forward / blocks);
    e.round_trip = std::sqrt(e.round_trip / blocks);
    return e;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    const int blocks = argc > 1 ? std::atoi(argv[1]) : 8;
    std::printf("Relative RMS error over %d random blocks (uniform in [-1, 1)), against\n"
                "long-double sums; round trip = (2/n) inverse(forward(x)) against x.\n\n",
                blocks);
#ifdef TULM_HAVE_FFTW
    std::printf("%6s  %12s %12s %6s  %12s %12s %6s\n", "n", "forward", "FFTW fwd", "ratio",
                "round trip", "FFTW trip", "ratio");
#else
    std::printf("%6s  %12s  %12s\n", "n", "forward", "round trip");
#endif
    for (int n = 512; n <= 16384; n *= 2) {
        const Errors t = tulm_errors(n, blocks);
#ifdef TULM_HAVE_FFTW
        const Errors f = fftw_errors(n, blocks);
        std::printf("%6d  %12.3e %12.3e %6.2f  %12.3e %12.3e %6.2f\n", n, t.forward, f.forward,
                    t.forward / f.forward, t.round_trip, f.round_trip,
                    t.round_trip / f.round_trip);
#else
        std::printf("%6d  %12.3e  %12.3e\n", n, t.forward, t.round_trip);
#endif
    }
    return 0;
}
