// The permutations: index lists, cycles, swap counts and fixed points.
#include <gtest/gtest.h>

#include <vector>

#include "fft/cfft_kernels.h"
#include "reference_dft.h"

using namespace tulm_test;

namespace {

// Value p = (p, 1000 + p), so positions and conjugation can both be read back.
std::vector<double> labelled(int values)
{
    std::vector<double> a(static_cast<size_t>(2 * values));
    for (int p = 0; p < values; ++p) {
        a[2 * p] = p;
        a[2 * p + 1] = 1000 + p;
    }
    return a;
}

// The source index at every position, checking that the imaginary part travelled with
// its real part and has the expected sign.
std::vector<int> sources(const std::vector<double>& a, bool conjugated)
{
    std::vector<int> src;
    for (size_t p = 0; p < a.size() / 2; ++p) {
        const int s = static_cast<int>(a[2 * p]);
        src.push_back(s);
        EXPECT_EQ(a[2 * p + 1], conjugated ? -(1000.0 + s) : 1000.0 + s) << "position " << p;
    }
    return src;
}

std::vector<int> apply(void (*perm)(double*), int values, int times = 1)
{
    std::vector<double> a = labelled(values);
    for (int i = 0; i < times; ++i) perm(a.data());
    return sources(a, false);
}

TEST(FixedPermutations, IndexLists)
{
    EXPECT_EQ(apply(bitrev8, 8), (std::vector<int>{0, 4, 2, 6, 1, 5, 3, 7}));
    EXPECT_EQ(apply(bitrev16, 16),
              (std::vector<int>{0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15}));
    EXPECT_EQ(apply(bitrev8_mirror, 8), (std::vector<int>{0, 7, 3, 5, 1, 6, 2, 4}));
    EXPECT_EQ(apply(bitrev16_mirror, 16),
              (std::vector<int>{0, 15, 7, 11, 3, 13, 5, 9, 1, 14, 6, 10, 2, 12, 4, 8}));
}

TEST(FixedPermutations, PlainOnesAreInvolutionsMirrorsAreNot)
{
    EXPECT_EQ(apply(bitrev8, 8, 2), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(apply(bitrev16, 16, 2), apply(bitrev16, 16, 0));
    EXPECT_EQ(apply(bitrev8_mirror, 8, 2), (std::vector<int>{0, 4, 5, 6, 7, 2, 3, 1}));
}

// Cycle lengths of a permutation given as new[k] = old[src[k]].
std::vector<int> cycle_lengths(const std::vector<int>& src)
{
    std::vector<int> lengths;
    std::vector<bool> seen(src.size(), false);
    for (size_t s = 0; s < src.size(); ++s) {
        if (seen[s]) continue;
        int len = 0;
        for (size_t k = s; !seen[k]; k = static_cast<size_t>(src[k])) {
            seen[k] = true;
            ++len;
        }
        lengths.push_back(len);
    }
    return lengths;
}

TEST(FixedPermutations, MirrorCycles)
{
    EXPECT_EQ(cycle_lengths(apply(bitrev8_mirror, 8)), (std::vector<int>{1, 3, 4}));  // 0; 1 7 4; 2 3 5 6
    EXPECT_EQ(cycle_lengths(apply(bitrev16_mirror, 16)), (std::vector<int>{1, 3, 12}));
}

std::vector<int> general(int32_t n, bool conj)
{
    std::vector<double> a = labelled(n / 2);
    if (conj) bitrev_permute_conj(n, a.data());
    else bitrev_permute(n, a.data());
    return sources(a, conj);
}

TEST(BitrevPermute, SmallestSizes)
{
    EXPECT_EQ(general(4, false), (std::vector<int>{0, 1}));
    EXPECT_EQ(general(4, true), (std::vector<int>{0, 1}));  // conjugation checked inside
    EXPECT_EQ(general(8, false), (std::vector<int>{0, 2, 1, 3}));
    EXPECT_EQ(general(8, true), (std::vector<int>{0, 2, 1, 3}));
}

TEST(BitrevPermute, SixtyFourDoublesFixedPointsAndSwaps)
{
    for (bool conj : {false, true}) {
        const std::vector<int> src = general(64, conj);
        std::vector<int> fixed;
        int moved = 0;
        for (int k = 0; k < 32; ++k) {
            if (src[k] == k) fixed.push_back(k);
            else ++moved;
        }
        EXPECT_EQ(fixed, (std::vector<int>{0, 4, 10, 14, 17, 21, 27, 31})) << conj;
        EXPECT_EQ(moved, 2 * 12) << conj;
    }
}

TEST(BitrevPermute, MatchesFixedPermutations)
{
    EXPECT_EQ(general(16, false), apply(bitrev8, 8));
    EXPECT_EQ(general(32, false), apply(bitrev16, 16));
}

class BitrevSizes : public ::testing::TestWithParam<int> {};

// new[k] = old[bitrev_B(k)], every value conjugated exactly once by the _conj form, and
// the number of values that move is N - 2^ceil(B/2) (each pair swapped once).
TEST_P(BitrevSizes, ReversesEveryIndex)
{
    const int32_t n = GetParam();
    const int N = n / 2;
    int bits = 0;
    while ((1 << bits) < N) ++bits;
    for (bool conj : {false, true}) {
        const std::vector<int> src = general(n, conj);
        int moved = 0;
        for (int k = 0; k < N; ++k) {
            ASSERT_EQ(src[k], bit_reverse(k, bits)) << "n " << n << " position " << k;
            moved += src[k] != k;
        }
        EXPECT_EQ(moved, N - (1 << ((bits + 1) / 2))) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Pow2, BitrevSizes,
                         ::testing::Values(4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384, 32768));

} // namespace
