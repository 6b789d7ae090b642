// The fixed-size kernels and their contract are in cfft_kernels.h; their bodies live
// in cfft_kernel_bodies.h so that the leaf routines can inline them.
#include "fft/cfft_kernels.h"

#include "fft/cfft_kernel_bodies.h"

using namespace tulm_fft;

void cfft2_kernel(double* a) { kernel2(a); }
void cfft4_kernel_forward(double* a) { kernel4_forward(a); }
void cfft4_kernel_inverse(double* a) { kernel4_inverse(a); }
void cfft8_kernel(double* a) { kernel8(OneBlock{a}); }
void cfft16_kernel(double* a) { kernel16(OneBlock{a}); }
void cfft8_kernel_shifted(double* a) { kernel8_shifted(OneBlock{a}); }
void cfft16_kernel_shifted(double* a) { kernel16_shifted(OneBlock{a}); }
