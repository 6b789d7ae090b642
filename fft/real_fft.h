#pragma once
// In-place power-of-two real FFT on doubles. No tables, no allocation, no state:
// every twiddle is made inside the call from sine, cosine and recurrences.
// Re-entrant: calls on distinct arrays may run at the same time.
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
