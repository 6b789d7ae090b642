// The fixed-size kernels: the worked values they must produce exactly, and agreement
// with long-double sums on random blocks in the order each one promises.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fft/cfft_kernels.h"
#include "reference_dft.h"

using namespace tulm_test;
using tulm_fft::kc::c16;
using tulm_fft::kc::c8;
using tulm_fft::kc::h;
using tulm_fft::kc::s16;
using tulm_fft::kc::s8;

namespace {

constexpr double eps = 1e-15;

// Complex value p of an interleaved array.
struct C {
    double re, im;
};

void expect_values(const std::vector<double>& a, const std::vector<C>& want, double tol)
{
    ASSERT_EQ(a.size(), 2 * want.size());
    for (size_t p = 0; p < want.size(); ++p) {
        EXPECT_NEAR(a[2 * p], want[p].re, tol) << "re of position " << p;
        EXPECT_NEAR(a[2 * p + 1], want[p].im, tol) << "im of position " << p;
    }
}

std::vector<double> impulse(int values, int at)
{
    std::vector<double> a(static_cast<size_t>(2 * values), 0.0);
    a[static_cast<size_t>(2 * at)] = 1.0;
    return a;
}

TEST(Cfft2Kernel, SumAndDifference)
{
    std::vector<double> a = {1, 2, 3, 4};
    cfft2_kernel(a.data());
    EXPECT_EQ(a, (std::vector<double>{4, 6, -2, -2}));
}

TEST(Cfft4Kernel, ImpulseAtOne)
{
    std::vector<double> a = impulse(4, 1), b = impulse(4, 1);
    cfft4_kernel_forward(a.data());
    cfft4_kernel_inverse(b.data());
    expect_values(a, {{1, 0}, {0, 1}, {-1, 0}, {0, -1}}, 0);
    expect_values(b, {{1, 0}, {0, -1}, {-1, 0}, {0, 1}}, 0);
}

TEST(Cfft8Kernel, ImpulseAtOneInBitReversedOrder)
{
    std::vector<double> a = impulse(8, 1);
    cfft8_kernel(a.data());
    expect_values(a, {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {h, h}, {-h, -h}, {-h, h}, {h, -h}}, eps);
}

TEST(Cfft8KernelShifted, Impulses)
{
    std::vector<double> a = impulse(8, 0);
    cfft8_kernel_shifted(a.data());
    expect_values(a, std::vector<C>(8, C{1, 0}), 0);
    std::vector<double> b = impulse(8, 1);
    cfft8_kernel_shifted(b.data());
    expect_values(b,
                  {{c8, s8}, {-c8, -s8}, {-s8, c8}, {s8, -c8}, {s8, c8}, {-s8, -c8}, {-c8, s8},
                   {c8, -s8}},
                  eps);
}

TEST(Cfft16KernelShifted, ImpulseAtOne)
{
    std::vector<double> a = impulse(16, 1);
    cfft16_kernel_shifted(a.data());
    EXPECT_NEAR(a[0], c16, eps);
    EXPECT_NEAR(a[1], s16, eps);
    EXPECT_NEAR(a[2], -c16, eps);
    EXPECT_NEAR(a[3], -s16, eps);
}

TEST(Cfft16Kernel, ConstantGivesExactDc)
{
    std::vector<double> a(32, 0.0);
    for (int p = 0; p < 16; ++p) a[2 * p] = 1.0;
    cfft16_kernel(a.data());
    std::vector<double> want(32, 0.0);
    want[0] = 16.0;
    EXPECT_EQ(a, want);
}

// Kernel output in bit-reversed order against the long-double transform.
struct KernelCase {
    const char* name;
    void (*kernel)(double*);
    int values;
    long double shift;
};

class KernelsAgainstSums : public ::testing::TestWithParam<KernelCase> {};

TEST_P(KernelsAgainstSums, BitReversedOrder)
{
    const KernelCase kc = GetParam();
    const int bits = kc.values == 8 ? 3 : kc.values == 4 ? 2 : kc.values == 16 ? 4 : 1;
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        const std::vector<double> x = random_block(2 * kc.values, seed);
        std::vector<double> a = x;
        kc.kernel(a.data());
        const ldvec ref = reference_cdft(x, +1, kc.shift);
        ldvec want(ref.size());
        for (int p = 0; p < kc.values; ++p) {
            const int k = bit_reverse(p, bits);
            want[2 * p] = ref[2 * k];
            want[2 * p + 1] = ref[2 * k + 1];
        }
        EXPECT_LT(max_abs_error(a, want), 4 * eps) << kc.name << " seed " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(All, KernelsAgainstSums,
                         ::testing::Values(KernelCase{"cfft8_kernel", cfft8_kernel, 8, 0},
                                           KernelCase{"cfft8_kernel_shifted",
                                                      cfft8_kernel_shifted, 8, 0.5L},
                                           KernelCase{"cfft16_kernel", cfft16_kernel, 16, 0},
                                           KernelCase{"cfft16_kernel_shifted",
                                                      cfft16_kernel_shifted, 16, 0.5L}),
                         [](const auto& info) { return std::string(info.param.name); });

// Kernel plus fixed permutation is the whole transform: X+ with the plain permutation,
// X- with the mirrored one.
struct WholeCase {
    const char* name;
    void (*kernel)(double*);
    void (*permutation)(double*);
    int values;
    int sign;
};

class KernelWithPermutation : public ::testing::TestWithParam<WholeCase> {};

TEST_P(KernelWithPermutation, NaturalOrder)
{
    const WholeCase wc = GetParam();
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        const std::vector<double> x = random_block(2 * wc.values, seed + 100);
        std::vector<double> a = x;
        wc.kernel(a.data());
        wc.permutation(a.data());
        EXPECT_LT(max_abs_error(a, reference_cdft(x, wc.sign)), 4 * eps) << wc.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, KernelWithPermutation,
    ::testing::Values(WholeCase{"cfft8_bitrev8", cfft8_kernel, bitrev8, 8, +1},
                      WholeCase{"cfft8_bitrev8_mirror", cfft8_kernel, bitrev8_mirror, 8, -1},
                      WholeCase{"cfft16_bitrev16", cfft16_kernel, bitrev16, 16, +1},
                      WholeCase{"cfft16_bitrev16_mirror", cfft16_kernel, bitrev16_mirror, 16,
                                -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cfft4Kernel, AgainstSums)
{
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        const std::vector<double> x = random_block(8, seed);
        std::vector<double> a = x, b = x, c = random_block(4, seed), d = c;
        cfft4_kernel_forward(a.data());
        cfft4_kernel_inverse(b.data());
        cfft2_kernel(d.data());
        EXPECT_LT(max_abs_error(a, reference_cdft(x, +1)), 4 * eps);
        EXPECT_LT(max_abs_error(b, reference_cdft(x, -1)), 4 * eps);
        EXPECT_LT(max_abs_error(d, reference_cdft(c, -1)), 4 * eps);
    }
}

} // namespace
