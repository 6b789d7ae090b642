#pragma once
// One group of a batch (real_fft_lanes transforms side by side, real_fft.h) through the
// baseline instruction set's copy of the algorithm (real_fft.cpp), and the AVX copy
// where this build and this processor have one (fft_avx.cpp; null otherwise).
// real_fft_batch takes the AVX copy when there is one; the tests run both.
#include <cstdint>

using GroupTransform = void (*)(int32_t n, int32_t direction, double* a);
void real_fft_group(int32_t n, int32_t direction, double* a);
GroupTransform real_fft_group_avx();
