// The complex transform: whole transforms against long-double sums at every size, and
// each inner routine on its own against what it promises for a block.
#include <gtest/gtest.h>

#include <cstring>
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

// Every routine with an AVX copy gives the baseline's bits exactly, at every size it
// takes.
struct PathCase {
    const char* name;
    void (*run)(int32_t n, double* a);
    int32_t min_n, max_n;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class Paths : public ::testing::TestWithParam<PathCase> {};

// Runs the baseline copies while it lives.
struct BaselineOnly {
    BaselineOnly() { fft_force_baseline(true); }
    ~BaselineOnly() { fft_force_baseline(false); }
};

// The stage passes of the sixteen sixteenths of a plain block of n doubles, as one
// batched call: shifted at 1 of each quarter, and at 3 of quarter 1.
void stages_of_sixteenths(int32_t n, double* a)
{
    const int32_t g = n / 16;
    std::vector<double*> plain, shifted;
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
            (i == 1 || (i == 3 && k == 1) ? shifted : plain).push_back(a + (4 * k + i) * g);
    cfft_stages_of(g, plain.data(), static_cast<int32_t>(plain.size()), shifted.data(),
                   static_cast<int32_t>(shifted.size()));
}

TEST_P(Paths, AvxMatchesBaselineBitForBit)
{
    if (!fft_avx_available()) GTEST_SKIP() << "no AVX on this processor";
    const PathCase& c = GetParam();
    for (int32_t n = c.min_n; n <= c.max_n; n *= 2) {
        std::vector<double> base = random_block(n, 61 + log2_of(n)), avx = base;
        {
            BaselineOnly only;
            ASSERT_FALSE(fft_avx_available());
            c.run(n, base.data());
        }
        c.run(n, avx.data());
        EXPECT_EQ(std::memcmp(base.data(), avx.data(), sizeof(double) * n), 0) << "n " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, Paths,
    ::testing::Values(
        PathCase{"stage", cfft_stage, 64, 32768},
        PathCase{"stage_conj", cfft_stage_conj, 64, 32768},
        PathCase{"stage_shifted", cfft_stage_shifted, 64, 32768},
        PathCase{"middle_stages", cfft_middle_stages, 256, 32768},
        PathCase{"middle_stages_shifted", cfft_middle_stages_shifted, 256, 32768},
        PathCase{"stages_of", stages_of_sixteenths, 1024, 32768},
        PathCase{"leaf", cfft_leaf, 64, 128}, PathCase{"leaf_shifted", cfft_leaf_shifted, 64, 128},
        PathCase{"middle", cfft_middle, 256, 512},
        PathCase{"middle_shifted", cfft_middle_shifted, 256, 512},
        PathCase{"bitrev", bitrev_permute, 4, 32768},
        PathCase{"bitrev_conj", bitrev_permute_conj, 4, 32768},
        PathCase{"split_forward", rfft_split_forward, 8, 16384},
        PathCase{"split_inverse", rfft_split_inverse, 8, 16384},
        PathCase{"cfft_forward", cfft_forward, 4, 32768},
        PathCase{"cfft_inverse", cfft_inverse, 4, 32768},
        PathCase{"real_forward", [](int32_t n, double* a) { real_fft(n, 1, a); }, 2, 16384},
        PathCase{"real_inverse", [](int32_t n, double* a) { real_fft(n, -1, a); }, 2, 16384}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs `plain` or `half` on each quarter of a block of n doubles, by the quarters' kinds:
// plain, shifted, plain, and the fourth of the block's own kind.
void on_quarters(int n, bool shifted, double* a, void (*plain)(int32_t, double*),
                 void (*half)(int32_t, double*))
{
    const int m = n / 4;
    const bool quarter_shifted[4] = {false, true, false, shifted};
    for (int qi = 0; qi < 4; ++qi) (quarter_shifted[qi] ? half : plain)(m, a + qi * m);
}

// The middle's stage sweep gives each quarter what its own stage pass gives it, at
// sizes with and without re-seeding inside the sweep.
TEST(MiddleStages, SameBitsAsEachQuarterAlone)
{
    for (int n : {256, 512, 4096, 16384}) {
        for (bool shifted : {false, true}) {
            const std::vector<double> x = random_block(n, 71);
            std::vector<double> together = x, alone = x;
            (shifted ? cfft_middle_stages_shifted : cfft_middle_stages)(n, together.data());
            on_quarters(n, shifted, alone.data(), cfft_stage, cfft_stage_shifted);
            EXPECT_EQ(std::memcmp(together.data(), alone.data(), sizeof(double) * n), 0)
                << "n " << n << (shifted ? " shifted" : "");
        }
    }
}

// The batched sweep over any list of blocks: every block, whatever its place in the
// lists and however many share the sweep, gets the bits of its own stage pass. The
// counts are those of the sixteenths of a plain (11 + 5) and a shifted block (10 + 6),
// and lists with one kind only.
TEST(StagesOf, SameBitsAsEachBlockAlone)
{
    const struct {
        int plain, shifted;
    } counts[] = {{11, 5}, {10, 6}, {3, 0}, {0, 2}, {1, 1}};
    for (int n : {64, 128, 2048}) {
        for (const auto& c : counts) {
            const int blocks = c.plain + c.shifted;
            const std::vector<double> x = random_block(n * blocks, 91);
            std::vector<double> together = x, alone = x;
            // Kinds interleaved in memory, and the lists in another order than memory's.
            std::vector<double*> plain, shifted;
            std::vector<bool> is_shifted(blocks);
            for (int b = blocks - 1; b >= 0; --b) {
                is_shifted[b] = (b % 3 == 1 && static_cast<int>(shifted.size()) < c.shifted) ||
                                static_cast<int>(plain.size()) == c.plain;
                (is_shifted[b] ? shifted : plain).push_back(together.data() + b * n);
            }
            ASSERT_EQ(static_cast<int>(plain.size()), c.plain);
            ASSERT_EQ(static_cast<int>(shifted.size()), c.shifted);
            cfft_stages_of(n, plain.data(), c.plain, shifted.data(), c.shifted);
            for (int b = 0; b < blocks; ++b)
                (is_shifted[b] ? cfft_stage_shifted : cfft_stage)(n, alone.data() + b * n);
            EXPECT_EQ(std::memcmp(together.data(), alone.data(), sizeof(double) * x.size()), 0)
                << "n " << n << ", " << c.plain << " plain + " << c.shifted << " shifted";
        }
    }
}

// Blocks of 1024 and 2048 doubles finish their quarters and the quarters' quarters two
// levels at once; the bits must be those of finishing each quarter on its own, as the
// recursion does for larger blocks.
TEST(Recursion, TwoLevelsAtOnceSameBitsAsQuarterByQuarter)
{
    for (int n : {1024, 2048}) {
        for (bool shifted : {false, true}) {
            const std::vector<double> x = random_block(n, 101);
            std::vector<double> together = x, apart = x;
            (shifted ? cfft_recursive_shifted : cfft_recursive)(n, together.data());
            (shifted ? cfft_stage_shifted : cfft_stage)(n, apart.data());
            on_quarters(n, shifted, apart.data(), cfft_recursive, cfft_recursive_shifted);
            EXPECT_EQ(std::memcmp(together.data(), apart.data(), sizeof(double) * n), 0)
                << "n " << n << (shifted ? " shifted" : "");
        }
    }
}

// The leaf and middle routines may run their kernels two blocks at a time (see isa.h);
// every kernel block must still come out with the bits of that kernel run alone.
using Kernel = void (*)(double*);

void kernels_one_at_a_time(int n, bool shifted, double* a)
{
    const Kernel plain = n == 128 ? cfft16_kernel : cfft8_kernel;
    const Kernel half = n == 128 ? cfft16_kernel_shifted : cfft8_kernel_shifted;
    const int q = n / 4;
    plain(a);
    half(a + q);
    plain(a + 2 * q);
    (shifted ? half : plain)(a + 3 * q);
}

TEST(PairedKernels, SameBitsAsEachKernelAlone)
{
    for (int n : {64, 128}) {
        for (bool shifted : {false, true}) {
            std::vector<double> a = random_block(n, 81), b = a;
            (shifted ? cfft_leaf_shifted : cfft_leaf)(n, a.data());
            kernels_one_at_a_time(n, shifted, b.data());
            EXPECT_EQ(std::memcmp(a.data(), b.data(), sizeof(double) * n), 0)
                << "leaf " << n << (shifted ? " shifted" : "");
        }
    }
    for (int n : {256, 512}) {
        for (bool shifted : {false, true}) {
            std::vector<double> a = random_block(n, 83), b = a;
            (shifted ? cfft_middle_shifted : cfft_middle)(n, a.data());
            const int m = n / 4;
            const bool quarter_shifted[4] = {false, true, false, shifted};
            for (int qi = 0; qi < 4; ++qi) {
                (quarter_shifted[qi] ? cfft_stage_shifted : cfft_stage)(m, b.data() + qi * m);
                kernels_one_at_a_time(m, quarter_shifted[qi], b.data() + qi * m);
            }
            EXPECT_EQ(std::memcmp(a.data(), b.data(), sizeof(double) * n), 0)
                << "middle " << n << (shifted ? " shifted" : "");
        }
    }
}

} // namespace
