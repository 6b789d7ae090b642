// The inner routines on one transform, for the tests (fft_internal.h, cfft_kernels.h):
// built into the test-only library tulm_fft_internal, never into the shipped tulm_fft.
#include "fft/fft_internal.h"
#include "fft/transform.h"

using namespace tulm_fft;

void rfft_split_forward(int32_t n, double* a) { split_pass<true>(n, a); }
void rfft_split_inverse(int32_t n, double* a) { split_pass<false>(n, a); }
void cfft_forward(int32_t n, double* a) { cfft<true>(n, a); }
void cfft_inverse(int32_t n, double* a) { cfft<false>(n, a); }
void cfft_stage(int32_t n, double* a) { tulm_fft::cfft_stage(n, a); }
void cfft_stage_conj(int32_t n, double* a) { tulm_fft::cfft_stage_conj(n, a); }
void cfft_stage_shifted(int32_t n, double* a) { tulm_fft::cfft_stage_shifted(n, a); }
void cfft_recursive(int32_t n, double* a) { tulm_fft::cfft_recursive<false>(n, a); }
void cfft_recursive_shifted(int32_t n, double* a) { tulm_fft::cfft_recursive<true>(n, a); }
void cfft_middle(int32_t n, double* a) { complete<false>(n, a); }
void cfft_middle_shifted(int32_t n, double* a) { complete<true>(n, a); }
void cfft_leaf(int32_t n, double* a) { tulm_fft::cfft_leaf<false>(n, a); }
void cfft_leaf_shifted(int32_t n, double* a) { tulm_fft::cfft_leaf<true>(n, a); }

void cfft2_kernel(double* a) { kernel2(a); }
void cfft4_kernel_forward(double* a) { kernel4<true>(a); }
void cfft4_kernel_inverse(double* a) { kernel4<false>(a); }
void cfft8_kernel(double* a) { kernel8(a); }
void cfft8_kernel_shifted(double* a) { kernel8_shifted(a); }
void cfft16_kernel(double* a) { kernel16(a); }
void cfft16_kernel_shifted(double* a) { kernel16_shifted(a); }
void bitrev8(double* a) { tulm_fft::bitrev8(a); }
void bitrev16(double* a) { tulm_fft::bitrev16(a); }
void bitrev8_mirror(double* a) { tulm_fft::bitrev8_mirror(a); }
void bitrev16_mirror(double* a) { tulm_fft::bitrev16_mirror(a); }
void bitrev_permute(int32_t n, double* a) { tulm_fft::bitrev_permute<false>(n, a); }
void bitrev_permute_conj(int32_t n, double* a) { tulm_fft::bitrev_permute<true>(n, a); }
