#pragma once
// Fixed-size complex transform kernels and the permutations that put a complex
// transform's coefficients into natural order, one transform each, for the tests (the
// library runs the same code from kernels.h and bitrev.h; these entries are built into
// the test-only library tulm_fft_internal, never into tulm_fft).
//
// Every routine works in place on interleaved complex doubles (value p at entries 2p
// and 2p + 1), keeps no state and is reentrant. The kernels and the fixed permutations
// take the address of their block and touch exactly its 2N doubles. No scaling
// anywhere. For a block x_0 .. x_{N-1}:
//   X+[k] = sum_j x_j e^(+2 pi i jk/N)          (positive exponent)
//   X-[k] = sum_j x_j e^(-2 pi i jk/N) = X+[(N - k) mod N]
//   Y[k]  = sum_j x_j e^(+2 pi i j(k + 1/2)/N)  (half-bin shifted)
// "Bit-reversed order" means position p holds coefficient bitrev(p), bitrev reversing
// the log2(N) low bits of p.
#include <cstdint>

#include "fft/constants.h"

// 2 complex values: (x0 + x1, x0 - x1), which is X+ and X- at once. No multiplication.
void cfft2_kernel(double* a);
// 4 complex values, natural order out: X+ (forward) or X- (inverse). No multiplication.
void cfft4_kernel_forward(double* a);
void cfft4_kernel_inverse(double* a);
// 8 complex values: X+ in bit-reversed order (4 multiplications) and Y in bit-reversed
// order (20 multiplications).
void cfft8_kernel(double* a);
void cfft8_kernel_shifted(double* a);
// 16 complex values: X+ in bit-reversed order (24 multiplications) and Y in
// bit-reversed order (60 multiplications).
void cfft16_kernel(double* a);
void cfft16_kernel_shifted(double* a);

// Fixed permutations of 8 or 16 complex values; whole values move, no sign changes.
//   bitrev8:          new[k] = old[bitrev_3(k)]            (an involution)
//   bitrev16:         new[k] = old[bitrev_4(k)]            (an involution)
//   bitrev8_mirror:   new[k] = old[bitrev_3((8 - k) mod 8)]
//   bitrev16_mirror:  new[k] = old[bitrev_4((16 - k) mod 16)]
// After cfft8_kernel / cfft16_kernel, the plain permutation leaves X+ and the mirrored
// one X- in natural order.
void bitrev8(double* a);
void bitrev16(double* a);
void bitrev8_mirror(double* a);
void bitrev16_mirror(double* a);

// General bit reversal of the N = n/2 complex values of a (n a power of two, n >= 4,
// a count of doubles): new[k] = old[bitrev_B(k)], B = log2 N. No table and no
// multiplication; every value moves at most once, (N - 2^ceil(B/2))/2 swaps in all.
// The _conj form also conjugates every value exactly once.
void bitrev_permute(int32_t n, double* a);
void bitrev_permute_conj(int32_t n, double* a);
