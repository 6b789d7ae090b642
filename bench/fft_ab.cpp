// Before and after in one run: the FFT routines of this tree beside the same routines
// of another revision, built by bench/fft_ab.sh with its symbols renamed old_<name>.
// The two run alternately in short batches, so the machine's load weighs on both alike;
// for each the least time per call over all batches is kept, and the table gives
// new/old per routine and size.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fft/fft_internal.h"
#include "fft/real_fft.h"

extern "C" {
void old_real_fft(int32_t n, int32_t direction, double* a);
void old_cfft_forward(int32_t n, double* a);
void old_cfft_stage(int32_t n, double* a);
void old_cfft_stage_shifted(int32_t n, double* a);
void old_cfft_middle(int32_t n, double* a);
void old_cfft_middle_shifted(int32_t n, double* a);
void old_cfft_leaf(int32_t n, double* a);
void old_cfft_leaf_shifted(int32_t n, double* a);
void old_bitrev_permute(int32_t n, double* a);
void old_rfft_split_forward(int32_t n, double* a);
}

namespace {

using Routine = void (*)(int32_t n, double* a);

// One forward and one inverse transform, scaled back so that the values stay bounded.
template <void (*fft)(int32_t, int32_t, double*)>
void pair(int32_t n, double* a)
{
    fft(n, 1, a);
    fft(n, -1, a);
    const double s = 2.0 / n;
    for (int32_t t = 0; t < n; ++t) a[t] *= s;
}

struct Case {
    const char* name;
    Routine before, after;
    std::vector<int32_t> sizes;
};

double seconds_per_call(Routine f, int32_t n, double* a, const std::vector<double>& x, int calls)
{
    std::memcpy(a, x.data(), sizeof(double) * x.size());
    const auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < calls; ++k) f(n, a);
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(t1 - t0).count() / calls;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    const std::vector<int32_t> real_sizes = {512, 1024, 2048, 4096, 8192, 16384};
    const Case cases[] = {
        {"real_fft pair", pair<old_real_fft>, pair<real_fft>, real_sizes},
        {"cfft_forward", old_cfft_forward, cfft_forward, {512, 2048, 16384}},
        {"rfft_split_forward", old_rfft_split_forward, rfft_split_forward, {512, 2048, 16384}},
        {"bitrev_permute", old_bitrev_permute, bitrev_permute, {512, 2048, 16384}},
        {"cfft_stage", old_cfft_stage, cfft_stage, {64, 512, 2048, 16384}},
        {"cfft_stage_shifted", old_cfft_stage_shifted, cfft_stage_shifted, {64, 128, 512}},
        {"cfft_middle", old_cfft_middle, cfft_middle, {256, 512}},
        {"cfft_middle_shifted", old_cfft_middle_shifted, cfft_middle_shifted, {256, 512}},
        {"cfft_leaf", old_cfft_leaf, cfft_leaf, {64, 128}},
        {"cfft_leaf_shifted", old_cfft_leaf_shifted, cfft_leaf_shifted, {64, 128}},
    };
    std::printf("least time per call over %d alternating batches, microseconds\n", rounds);
    std::printf("%-20s %6s %10s %10s %9s\n", "routine", "n", "before", "after", "after/before");
    for (const Case& c : cases) {
        for (int32_t n : c.sizes) {
            std::vector<double> x(static_cast<size_t>(n)), a(x.size());
            for (int32_t t = 0; t < n; ++t) x[t] = std::sin(0.37 * t) + 0.25 * std::cos(1.91 * t);
            // About 20 microseconds a batch, at least one call.
            const double guess = seconds_per_call(c.after, n, a.data(), x, 3);
            const int calls = guess > 20e-6 ? 1 : static_cast<int>(20e-6 / guess) + 1;
            double best_before = 1e30, best_after = 1e30;
            for (int r = 0; r < rounds; ++r) {
                const double b = seconds_per_call(c.before, n, a.data(), x, calls);
                const double f = seconds_per_call(c.after, n, a.data(), x, calls);
                best_before = b < best_before ? b : best_before;
                best_after = f < best_after ? f : best_after;
            }
            std::printf("%-20s %6d %10.3f %10.3f %9.3f\n", c.name, n, best_before * 1e6,
                        best_after * 1e6, best_after / best_before);
        }
    }
    return 0;
}
