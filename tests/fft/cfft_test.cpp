// The complex transform: whole transforms against long-double sums at every size, and
// each inner routine on its own against what it promises for a block.
#include <gtest/gtest.h>

#include <vector>

#include "fft/fft_internal.h"
#include "fft/real_fft.h"
#include "reference_dft.h"

using namespace tulm_test;

namespace {

constexpr double tolerance = 1.5e-15;  // relative RMS error

int log2_of(int v)
{
    int b = 0;
    while ((1 << b) < v) ++b;
    return b;
}

TEST(CfftDriver, FourDoublesBothDirections)
{
    std::vector<double> a = {1, 2, 3, 4}, b = a;
    cfft_forward(4, a.data());
    cfft_inverse(4, b.data());
    EXPECT_EQ(a, (std::vector<double>{4, 6, -2, -2}));
    EXPECT_EQ(b, a);
}

TEST(CfftDriver, EightDoublesImpulse)
{
    std::vector<double> a = {0, 0, 1, 0, 0, 0, 0, 0}, b = a;
    cfft_forward(8, a.data());
    cfft_inverse(8, b.data());
    EXPECT_EQ(a, (std::vector<double>{1, 0, 0, 1, -1, 0, 0, -1}));
    EXPECT_EQ(b, (std::vector<double>{1, 0, 0, -1, -1, 0, 0, 1}));
}

class CfftSizes : public ::testing::TestWithParam<int> {};

TEST_P(CfftSizes, ForwardAndInverseMatchDefiningSums)
{
    const int n = GetParam();
    const std::vector<double> z = random_block(n, 21);
    std::vector<double> f = z, i = z;
    cfft_forward(n, f.data());
    cfft_inverse(n, i.data());
    EXPECT_LT(relative_rms_error(f, reference_cdft(z, +1)), tolerance) << "forward";
    EXPECT_LT(relative_rms_error(i, reference_cdft(z, -1)), tolerance) << "inverse";
}

TEST_P(CfftSizes, RoundTripScalesByHalfN)
{
    const int n = GetParam();
    const std::vector<double> z = random_block(n, 22);
    std::vector<double> y = z;
    cfft_forward(n, y.data());
    cfft_inverse(n, y.data());
    for (int t = 0; t < n; ++t) ASSERT_NEAR(y[t], z[t] * (n / 2), 1e-14 * n) << t;
}

// Every size the drivers take; the O(N^2) reference keeps the top ones the slowest tests.
INSTANTIATE_TEST_SUITE_P(Pow2, CfftSizes,
                         ::testing::Values(4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384, 32768));

// What a block of n doubles must hold once completed: its plain (shift 0) or shifted
// (shift 1/2) transform in bit-reversed order.
ldvec completed(const std::vector<double>& v, long double shift)
{
    const int values = static_cast<int>(v.size() / 2);
    const int bits = log2_of(values);
    const ldvec ref = reference_cdft(v, +1, shift);
    ldvec want(ref.size());
    for (int p = 0; p < values; ++p) {
        const int k = bit_reverse(p, bits);
        want[2 * p] = ref[2 * k];
        want[2 * p + 1] = ref[2 * k + 1];
    }
    return want;
}

// A routine that completes a block, and the stage it needs run first (or none).
struct Completer {
    const char* name;
    void (*stage)(int32_t, double*);
    void (*finish)(int32_t, double*);
    bool shifted;
    int n;
};

class BlockCompleters : public ::testing::TestWithParam<Completer> {};

TEST_P(BlockCompleters, LeaveTransformInBitReversedOrder)
{
    const Completer c = GetParam();
    const std::vector<double> v = random_block(c.n, 31);
    std::vector<double> a = v;
    if (c.stage) c.stage(c.n, a.data());
    c.finish(c.n, a.data());
    EXPECT_LT(relative_rms_error(a, completed(v, c.shifted ? 0.5L : 0)), tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    All, BlockCompleters,
    ::testing::Values(
        Completer{"leaf64", cfft_stage, cfft_leaf, false, 64},
        Completer{"leaf128", cfft_stage, cfft_leaf, false, 128},
        Completer{"leaf_shifted64", cfft_stage_shifted, cfft_leaf_shifted, true, 64},
        Completer{"leaf_shifted128", cfft_stage_shifted, cfft_leaf_shifted, true, 128},
        Completer{"middle256", cfft_stage, cfft_middle, false, 256},
        Completer{"middle512", cfft_stage, cfft_middle, false, 512},
        Completer{"middle_shifted256", cfft_stage_shifted, cfft_middle_shifted, true, 256},
        Completer{"middle_shifted512", cfft_stage_shifted, cfft_middle_shifted, true, 512},
        Completer{"recursive256", nullptr, cfft_recursive, false, 256},
        Completer{"recursive2048", nullptr, cfft_recursive, false, 2048},
        Completer{"recursive4096", nullptr, cfft_recursive, false, 4096},
        Completer{"recursive_shifted512", nullptr, cfft_recursive_shifted, true, 512},
        Completer{"recursive_shifted2048", nullptr, cfft_recursive_shifted, true, 2048},
        Completer{"recursive_shifted4096", nullptr, cfft_recursive_shifted, true, 4096}),
    [](const auto& info) { return std::string(info.param.name); });

// A stage pass alone: each quarter, once transformed by the reference, must equal the
// block's coefficients of its class (4q, 4q+2, 4q+1, 4q+3), quarters plain or shifted
// as the pattern says.
struct StageCase {
    const char* name;
    void (*stage)(int32_t, double*);
    bool shifted;  // the block's own kind
    bool conj;     // the stage reads conjugated values
    int n;
};

class StagePasses : public ::testing::TestWithParam<StageCase> {};

TEST_P(StagePasses, QuartersCarryCoefficientClasses)
{
    const StageCase sc = GetParam();
    const int n = sc.n, M = n / 2, Q = M / 4;
    std::vector<double> v = random_block(n, 41);
    std::vector<double> a = v;
    sc.stage(n, a.data());
    if (sc.conj)
        for (int p = 0; p < M; ++p) v[2 * p + 1] = -v[2 * p + 1];
    const ldvec whole = reference_cdft(v, +1, sc.shifted ? 0.5L : 0);
    const int cls[4] = {0, 2, 1, 3};
    const bool quarter_shifted[4] = {false, true, false, sc.shifted};
    for (int qi = 0; qi < 4; ++qi) {
        const std::vector<double> quarter(a.begin() + qi * (n / 4), a.begin() + (qi + 1) * (n / 4));
        const ldvec got = reference_cdft(quarter, +1, quarter_shifted[qi] ? 0.5L : 0);
        ldvec want(static_cast<size_t>(2 * Q));
        for (int q = 0; q < Q; ++q) {
            want[2 * q] = whole[2 * (4 * q + cls[qi])];
            want[2 * q + 1] = whole[2 * (4 * q + cls[qi]) + 1];
        }
        std::vector<double> got_d(got.begin(), got.end());
        EXPECT_LT(relative_rms_error(got_d, want), tolerance) << sc.name << " quarter " << qi;
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, StagePasses,
    ::testing::Values(StageCase{"plain64", cfft_stage, false, false, 64},
                      StageCase{"plain512", cfft_stage, false, false, 512},
                      StageCase{"plain4096", cfft_stage, false, false, 4096},
                      StageCase{"conj64", cfft_stage_conj, false, true, 64},
                      StageCase{"conj4096", cfft_stage_conj, false, true, 4096},
                      StageCase{"shifted64", cfft_stage_shifted, true, false, 64},
                      StageCase{"shifted512", cfft_stage_shifted, true, false, 512},
                      StageCase{"shifted4096", cfft_stage_shifted, true, false, 4096}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
