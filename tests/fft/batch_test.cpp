// The batch entry and its layout: every lane of a batch gets the bytes real_fft gives
// its transform alone, whatever the other lanes hold and however full the last group.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "fft/fft_internal.h"
#include "fft/real_fft.h"
#include "reference_dft.h"

using namespace tulm_test;

namespace {

// count different signals of n doubles, back to back.
std::vector<double> signals(int n, int count)
{
    std::vector<double> x;
    for (int k = 0; k < count; ++k) {
        const std::vector<double> b = random_block(n, 200 + k);
        x.insert(x.end(), b.begin(), b.end());
    }
    return x;
}

size_t batch_doubles(int n, int count)
{
    return size_t(n) * ((count + real_fft_lanes - 1) / real_fft_lanes) * real_fft_lanes;
}

// Each signal through real_fft on its own: what every lane must come out as.
std::vector<double> one_at_a_time(int n, int direction, std::vector<double> x)
{
    for (size_t k = 0; k * n < x.size(); ++k) real_fft(n, direction, x.data() + k * n);
    return x;
}

class BatchSizes : public ::testing::TestWithParam<int> {};

// Counts below, at and past the lane width, and past two groups.
TEST_P(BatchSizes, EveryLaneAsItsOwnCallForAnyCount)
{
    const int n = GetParam();
    for (int direction : {1, -1}) {
        for (int count : {1, 3, 4, 5, 9}) {
            const std::vector<double> x = signals(n, count);
            std::vector<double> a(batch_doubles(n, count)), got(x.size());
            real_fft_interleave(n, count, x.data(), a.data());
            real_fft_batch(n, direction, count, a.data());
            real_fft_deinterleave(n, count, a.data(), got.data());
            const std::vector<double> want = one_at_a_time(n, direction, x);
            EXPECT_EQ(std::memcmp(got.data(), want.data(), sizeof(double) * x.size()), 0)
                << "direction " << direction << ", count " << count;
        }
    }
}

// Both copies of the group transform, the baseline one and (where the processor has
// it) the AVX one, with a non-finite value in one lane that must stay in it.
TEST_P(BatchSizes, BothInstructionSetsKeepLanesApart)
{
    const int n = GetParam();
    std::vector<double> x = signals(n, real_fft_lanes);
    x[size_t(2) * n + n / 2] = std::numeric_limits<double>::infinity();
    std::vector<GroupTransform> copies = {real_fft_group};
    if (real_fft_group_avx()) copies.push_back(real_fft_group_avx());
    for (GroupTransform group : copies) {
        for (int direction : {1, -1}) {
            std::vector<double> a(batch_doubles(n, real_fft_lanes)), got(x.size());
            real_fft_interleave(n, real_fft_lanes, x.data(), a.data());
            group(n, direction, a.data());
            real_fft_deinterleave(n, real_fft_lanes, a.data(), got.data());
            const std::vector<double> want = one_at_a_time(n, direction, x);
            EXPECT_EQ(std::memcmp(got.data(), want.data(), sizeof(double) * x.size()), 0)
                << (group == real_fft_group ? "baseline" : "AVX") << ", direction " << direction;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pow2, BatchSizes,
                         ::testing::Values(2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384));

// The layout the header states: transform k's element i at
// (k / L) n L + i L + k % L; spare lanes of the last group zeroed; and back.
TEST(BatchLayout, InterleaveAndDeinterleave)
{
    const int n = 8, count = 6, L = real_fft_lanes;
    std::vector<double> x(size_t(n) * count);
    for (size_t j = 0; j < x.size(); ++j) x[j] = double(j + 1);
    std::vector<double> a(batch_doubles(n, count), -1.0);
    real_fft_interleave(n, count, x.data(), a.data());
    for (int k = 0; k < (count + L - 1) / L * L; ++k)
        for (int i = 0; i < n; ++i) {
            const double want = k < count ? x[size_t(k) * n + i] : 0.0;
            EXPECT_EQ(a[size_t(k / L) * n * L + size_t(i) * L + k % L], want) << k << ", " << i;
            EXPECT_EQ(real_fft_lane(a.data(), n, k) + i * L, &a[size_t(k / L) * n * L + size_t(i) * L + k % L]);
        }
    std::vector<double> back(x.size(), -1.0);
    real_fft_deinterleave(n, count, a.data(), back.data());
    EXPECT_EQ(back, x);
}

} // namespace
