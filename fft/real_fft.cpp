// The two entries. One transform runs the algorithm on doubles; a batch runs it on
// groups of four transforms side by side, on AVX where the processor has it (the
// choice is made once per call, here), else on the baseline instruction set.
#include "fft/real_fft.h"

#include "fft/group.h"
#include "fft/transform.h"

void real_fft(int32_t n, int32_t direction, double* a) { tulm_fft::real_fft_of(n, direction, a); }

void real_fft_group(int32_t n, int32_t direction, double* a)
{
    tulm_fft::real_fft_of(n, direction, reinterpret_cast<tulm_fft::lanes4*>(a));
}

static_assert(real_fft_lanes == sizeof(tulm_fft::lanes4) / sizeof(double),
              "a group of the batch layout is one value of lanes4 per element");

void real_fft_batch(int32_t n, int32_t direction, int32_t count, double* a)
{
    GroupTransform group = real_fft_group_avx();
    if (!group) group = real_fft_group;
    for (int32_t k = 0; k < count; k += real_fft_lanes) group(n, direction, real_fft_lane(a, n, k));
}

void real_fft_interleave(int32_t n, int32_t count, const double* x, double* a)
{
    const int32_t lanes = (count + real_fft_lanes - 1) / real_fft_lanes * real_fft_lanes;
    for (int32_t k = 0; k < lanes; ++k) {
        double* to = real_fft_lane(a, n, k);
        for (int32_t i = 0; i < n; ++i) to[i * real_fft_lanes] = k < count ? x[int64_t(k) * n + i] : 0;
    }
}

void real_fft_deinterleave(int32_t n, int32_t count, const double* a, double* x)
{
    for (int32_t k = 0; k < count; ++k) {
        const double* from = real_fft_lane(const_cast<double*>(a), n, k);
        for (int32_t i = 0; i < n; ++i) x[int64_t(k) * n + i] = from[i * real_fft_lanes];
    }
}
