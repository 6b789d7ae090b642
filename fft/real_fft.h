#pragma once
// In-place power-of-two real FFT on doubles, one transform at a time or in batches. No
// tables, no allocation, no state: every twiddle is made inside the call from sine,
// cosine and recurrences. Re-entrant: calls on distinct arrays may run at the same time.
//
// The files of fft/, each with one job:
//   real_fft.h      this contract: the two entries and the batch layout
//   real_fft.cpp    the entries; a batch runs on AVX where the processor has it
//   fft_avx.cpp     the same algorithm compiled for AVX
//   transform.h     the real FFT's split pass and the complex FFT's drivers and recursion
//   stages.h        the stage passes that cut a block into quarters, and their twiddles
//   kernels.h       the 8- and 16-point kernels (and 2, 4) and the fixed permutations
//   bitrev.h        the general bit reversal
//   lanes.h         the values it is written in (one transform, or four side by side;
//                   on WebAssembly, a pair of the four at a time)
//   constants.h     its irrational constants, each written once
//   group.h         a batch's group of transforms, baseline and AVX
//   cfft_kernels.h, fft_internal.h, routines.cpp   the inner routines, for the tests
//                   only: routines.cpp builds the test-only library tulm_fft_internal
#include <cstdint>

// Forward (direction >= 0; 0 counts as forward): replaces the n real samples x[t]
// by their packed spectrum:
//   a[0]        = sum x[t]                       (DC)
//   a[1]        = sum x[t] * (-1)^t              (half the sampling rate)
//   a[2k]       = sum x[t] * cos(2 pi k t / n)   for 1 <= k < n/2
//   a[2k + 1]   = sum x[t] * sin(2 pi k t / n)   (note the plus sign)
// Inverse (direction < 0): unscaled, so inverse(forward(x)) = (n/2) * x; for any a,
//   y[t] = a[0]/2 + (-1)^t a[1]/2 + sum_{k=1}^{n/2-1} (a[2k] cos(2 pi k t/n) + a[2k+1] sin(2 pi k t/n)).
// n is a count of doubles, a power of two, at least 2. Nothing is validated.
void real_fft(int32_t n, int32_t direction, double* a);

// A batch of count transforms of the same n and direction, side by side: every
// transform is replaced exactly as real_fft replaces it, to the bit, with the same
// scaling and packing. The batch is laid out in groups of real_fft_lanes transforms,
// group g at a + g n real_fft_lanes; inside a group, element i of its transform k is at
// i real_fft_lanes + k (real_fft_lane finds a transform's element 0). The array holds
// whole groups, (count + real_fft_lanes - 1) / real_fft_lanes of them: the spare lanes
// of the last group are transformed too, whatever they hold, and never touch the others.
constexpr int32_t real_fft_lanes = 4;
void real_fft_batch(int32_t n, int32_t direction, int32_t count, double* a);

// Element 0 of transform k of a batch of transforms of n doubles; element i is at
// [i * real_fft_lanes].
inline double* real_fft_lane(double* a, int32_t n, int32_t k)
{
    return a + (int64_t(k) / real_fft_lanes) * n * real_fft_lanes + k % real_fft_lanes;
}

// Between count arrays of n doubles back to back (transform k at x + k n) and the batch
// layout. Interleaving sets the spare lanes of the last group to 0.
void real_fft_interleave(int32_t n, int32_t count, const double* x, double* a);
void real_fft_deinterleave(int32_t n, int32_t count, const double* a, double* x);
