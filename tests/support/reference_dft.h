#pragma once
// Reference transforms for the tests and the accuracy tool, in long double and sharing
// no code with the library. The direct_* functions are the defining O(N^2) sums; the
// reference_* ones give the same values, switching above 4096 doubles to FFTW's
// long-double transform (when it was found at build time) so that the largest sizes
// stay fast, also under the sanitizers. Complex arrays are interleaved (value p at
// entries 2p, 2p + 1).
#include <cstdint>
#include <vector>

namespace tulm_test {

using ldvec = std::vector<long double>;

// Z[k] = sum_j z[j] e^(sign 2 pi i j (k + shift) / N) for N = z.size()/2 complex values;
// sign is +1 or -1, shift is 0 (plain DFT) or 0.5 (half-bin shifted DFT).
ldvec direct_cdft(const std::vector<double>& z, int sign, long double shift = 0);
ldvec reference_cdft(const std::vector<double>& z, int sign, long double shift = 0);

// The packed real spectrum of n = x.size() real samples: entry 0 the sum, entry 1 the
// alternating sum, entries 2k and 2k+1 the sums of x[t] cos(2 pi k t/n) and
// +x[t] sin(2 pi k t/n) for 1 <= k < n/2.
ldvec direct_real_forward(const std::vector<double>& x);
ldvec reference_real_forward(const std::vector<double>& x);

// y[t] = a[0]/2 + (-1)^t a[1]/2 + sum_{k=1}^{n/2-1} (a[2k] cos(2 pi k t/n) + a[2k+1] sin(2 pi k t/n)).
ldvec direct_real_inverse(const std::vector<double>& a);
ldvec reference_real_inverse(const std::vector<double>& a);

// sqrt(sum |got - want|^2 / sum |want|^2) over all entries.
double relative_rms_error(const std::vector<double>& got, const ldvec& want);
// Largest |got - want| over all entries.
double max_abs_error(const std::vector<double>& got, const ldvec& want);

// n doubles uniform in [-1, 1), the same for the same seed on every platform.
std::vector<double> random_block(int32_t n, uint32_t seed = 1);

// p with its `bits` low bits reversed.
int32_t bit_reverse(int32_t p, int bits);

} // namespace tulm_test
