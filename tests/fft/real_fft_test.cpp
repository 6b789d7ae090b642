// real_fft and its split passes against the defining sums, in long double.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fft/fft_internal.h"
#include "fft/real_fft.h"
#include "reference_dft.h"

using namespace tulm_test;

namespace {

// Relative RMS error allowed against the long-double sums; the transform's own error
// is about 3e-16 at the sizes the renderer uses.
constexpr double tolerance = 1.5e-15;

class RealFftSizes : public ::testing::TestWithParam<int> {};

TEST_P(RealFftSizes, ForwardMatchesDefiningSums)
{
    const int n = GetParam();
    const std::vector<double> x = random_block(n, 11);
    std::vector<double> a = x;
    real_fft(n, 1, a.data());
    EXPECT_LT(relative_rms_error(a, reference_real_forward(x)), tolerance);
}

TEST_P(RealFftSizes, InverseMatchesDefiningSums)
{
    const int n = GetParam();
    const std::vector<double> a0 = random_block(n, 12);
    std::vector<double> y = a0;
    real_fft(n, -1, y.data());
    EXPECT_LT(relative_rms_error(y, reference_real_inverse(a0)), tolerance);
}

TEST_P(RealFftSizes, RoundTripScalesByHalfN)
{
    const int n = GetParam();
    const std::vector<double> x = random_block(n, 13);
    std::vector<double> y = x;
    real_fft(n, 1, y.data());
    real_fft(n, -1, y.data());
    for (int t = 0; t < n; ++t) EXPECT_NEAR(y[t], x[t] * n / 2, 1e-14 * n) << t;
}

TEST_P(RealFftSizes, DirectionZeroIsForward)
{
    const int n = GetParam();
    std::vector<double> a = random_block(n, 14), b = a;
    real_fft(n, 1, a.data());
    real_fft(n, 0, b.data());
    EXPECT_EQ(a, b);
}

// The split passes alone: given any half-length spectrum Z, the forward pass leaves
// X[k] = E[k] + e^(i pi 2k/n) O[k] with E = (Z[k] + conj Z[m-k])/2 and
// O = (Z[k] - conj Z[m-k])/(2i), for 1 <= k < m, k != m/2; entries 0, 1, n/2 and
// n/2 + 1 stay exactly as they were. The inverse pass takes X back to Z.
TEST_P(RealFftSizes, SplitPassesAgainstDefinition)
{
    const int n = GetParam();
    if (n < 8) return;
    const int m = n / 2;
    const std::vector<double> z = random_block(n, 15);
    std::vector<double> a = z;
    rfft_split_forward(n, a.data());
    ldvec want(z.begin(), z.end());
    const long double pi = 3.141592653589793238462643383279502884L;
    for (int k = 1; k < m; ++k) {
        if (k == m / 2) continue;
        const long double zr = z[2 * k], zi = z[2 * k + 1];
        const long double cr = z[2 * (m - k)], ci = -z[2 * (m - k) + 1];  // conj Z[m-k]
        const long double er = (zr + cr) / 2, ei = (zi + ci) / 2;
        const long double dr = (zr - cr) / 2, di = (zi - ci) / 2;  // 2i O
        const long double orr = di, oi = -dr;                      // O = (dr + i di)/i
        const long double c = cosl(pi * 2 * k / n), s = sinl(pi * 2 * k / n);
        want[2 * k] = er + c * orr - s * oi;
        want[2 * k + 1] = ei + c * oi + s * orr;
    }
    EXPECT_LT(relative_rms_error(a, want), tolerance);
    for (int e : {0, 1, n / 2, n / 2 + 1}) EXPECT_EQ(a[e], z[e]) << "forward entry " << e;

    std::vector<double> b = z;
    rfft_split_inverse(n, b.data());
    for (int e : {0, 1, n / 2, n / 2 + 1}) EXPECT_EQ(b[e], z[e]) << "inverse entry " << e;
    rfft_split_forward(n, b.data());
    // Entries 0 and 1 are left to the entry point; every other bin returns.
    EXPECT_LT(relative_rms_error(b, ldvec(z.begin(), z.end())), tolerance);
}

// The entries n/2 and n/2 + 1 of the packed spectrum are bin n/4 as the complex
// transform left it.
TEST_P(RealFftSizes, BinQuarterIsTheComplexTransformsOwn)
{
    const int n = GetParam();
    if (n < 8) return;
    std::vector<double> a = random_block(n, 16), z = a;
    real_fft(n, 1, a.data());
    cfft_forward(n, z.data());
    EXPECT_EQ(a[n / 2], z[n / 2]);
    EXPECT_EQ(a[n / 2 + 1], z[n / 2 + 1]);
}

INSTANTIATE_TEST_SUITE_P(Pow2, RealFftSizes,
                         ::testing::Values(2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384));

TEST(RealFft, TwoSamples)
{
    std::vector<double> a = {3, 5};
    real_fft(2, 1, a.data());
    EXPECT_EQ(a, (std::vector<double>{8, -2}));
    real_fft(2, -1, a.data());
    EXPECT_EQ(a, (std::vector<double>{3, 5}));
}

TEST(RealFft, FourSamples)
{
    std::vector<double> a = {1, 2, 4, 8};
    real_fft(4, 1, a.data());
    EXPECT_EQ(a, (std::vector<double>{15, -5, -3, -6}));
}

// Sine parts carry a plus sign: bins 1, 2 and 3 of an impulse at t = 1.
TEST(RealFft, EightSampleImpulse)
{
    std::vector<double> a = {0, 1, 0, 0, 0, 0, 0, 0};
    real_fft(8, 1, a.data());
    const double h = 0.70710678118654752;
    const std::vector<double> want = {1, -1, h, h, 0, 1, -h, h};
    for (int e = 0; e < 8; ++e) EXPECT_NEAR(a[e], want[e], 1e-15) << e;
}

// Impulses at every position of a mid-size block: the spectrum is e^(+2 pi i k t/n).
TEST(RealFft, ImpulsesAtEveryPosition)
{
    const int n = 64;
    for (int t = 0; t < n; ++t) {
        std::vector<double> x(n, 0.0);
        x[t] = 1;
        std::vector<double> a = x;
        real_fft(n, 1, a.data());
        EXPECT_LT(max_abs_error(a, direct_real_forward(x)), 1e-15) << t;
    }
}

// The renderer's largest block against the defining sums themselves, once.
TEST(RealFft, LargestBlockAgainstDirectSums)
{
    const int n = 16384;
    const std::vector<double> x = random_block(n, 17);
    std::vector<double> a = x;
    real_fft(n, 1, a.data());
    EXPECT_LT(relative_rms_error(a, direct_real_forward(x)), tolerance);
}

// The weights restart from sine and cosine every 128 butterflies and the stage twiddles
// every 64 indices: from n = 2048 on, the error must stay at the level of n = 1024.
TEST(RealFft, NoAccuracyStepAcrossReseeding)
{
    auto error_at = [](int n) {
        double worst = 0;
        for (uint32_t seed = 1; seed <= 2; ++seed) {
            const std::vector<double> x = random_block(n, 50 + seed);
            std::vector<double> a = x;
            real_fft(n, 1, a.data());
            const double e = relative_rms_error(a, reference_real_forward(x));
            worst = e > worst ? e : worst;
        }
        return worst;
    };
    const double base = error_at(1024);
    for (int n : {2048, 4096, 8192, 16384}) EXPECT_LT(error_at(n), 1.6 * base) << n;
}

} // namespace
