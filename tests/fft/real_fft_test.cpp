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

INSTANTIATE_TEST_SUITE_P(Pow2, RealFftSizes,
                         ::testing::Values(2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384));

} // namespace
