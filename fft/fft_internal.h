#pragma once
// The inner routines of the real FFT on one transform, exposed for the tests (the
// library runs the same code from transform.h, on one transform or on a batch). They
// are built into the test-only library tulm_fft_internal (routines.cpp), never into the
// shipped tulm_fft. Every size is a count of doubles (n/2 interleaved complex values),
// every routine works in place, keeps no state and validates nothing. The plain and
// shifted blocks they speak of are transform.h's.
#include <cstdint>

#include "fft/cfft_kernels.h"
#include "fft/group.h"  // the batch's group transforms, which the tests run one by one

// Split passes of the real transform, n >= 8: turn the half-length complex spectrum Z
// into the packed real spectrum X (forward) and back (inverse) for the bins
// 1 <= k < n/2, k != n/4. Entries 0, 1, n/2 and n/2 + 1 are not touched.
void rfft_split_forward(int32_t n, double* a);
void rfft_split_inverse(int32_t n, double* a);

// Whole complex transforms, natural order in and out, unscaled, any power of two n >= 4:
//   forward Z[k] = sum z[l] e^(+2 pi i lk/N), inverse with e^(-2 pi i lk/N), N = n/2.
void cfft_forward(int32_t n, double* a);
void cfft_inverse(int32_t n, double* a);

// Stage passes: rewrite a block of n >= 64 doubles so that its quarters (at a, a + n/4,
// a + n/2, a + 3n/4) are blocks whose transforms are its coefficients 4q, 4q+2, 4q+1,
// 4q+3. After a plain stage the quarters are plain, shifted, plain, plain; after a
// shifted stage plain, shifted, plain, shifted. cfft_stage_conj is the plain stage
// applied to the conjugates of the values (first pass of the inverse).
void cfft_stage(int32_t n, double* a);
void cfft_stage_conj(int32_t n, double* a);
void cfft_stage_shifted(int32_t n, double* a);

// Complete a plain or shifted block of n >= 256 doubles, stage included.
void cfft_recursive(int32_t n, double* a);
void cfft_recursive_shifted(int32_t n, double* a);
// Complete a plain or shifted block of 256 or 512 doubles whose stage is done.
void cfft_middle(int32_t n, double* a);
void cfft_middle_shifted(int32_t n, double* a);
// Complete a plain or shifted block of 64 or 128 doubles whose stage is done.
void cfft_leaf(int32_t n, double* a);
void cfft_leaf_shifted(int32_t n, double* a);
