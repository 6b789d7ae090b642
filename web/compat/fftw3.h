#pragma once
// The few FFTW calls the tool's spectra make, answered by this project's own real FFT,
// for the page's build: FFTW has no WebAssembly build to link. Forward transforms only,
// with FFTW's r2c layout and sign (X[k] = sum x[t] e^(-2 pi i k t / n)), so the spectra
// agree with the native tool's to the last few bits of each power, not to every bit.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fft/real_fft.h"

typedef double fftw_complex[2];

struct fftw_plan_s {
    int32_t n;
    double* in;
    fftw_complex* out;
    std::vector<double> work;
};
typedef fftw_plan_s* fftw_plan;

constexpr unsigned FFTW_ESTIMATE = 1u << 6;

inline double* fftw_alloc_real(size_t n) { return static_cast<double*>(std::malloc(n * sizeof(double))); }
inline fftw_complex* fftw_alloc_complex(size_t n)
{
    return static_cast<fftw_complex*>(std::malloc(n * sizeof(fftw_complex)));
}
inline void fftw_free(void* p) { std::free(p); }

inline fftw_plan fftw_plan_dft_r2c_1d(int n, double* in, fftw_complex* out, unsigned)
{
    return new fftw_plan_s{n, in, out, std::vector<double>(size_t(n))};
}
inline void fftw_destroy_plan(fftw_plan p) { delete p; }

// real_fft packs DC and Nyquist into a[0] and a[1] and gives +sin parts: the r2c output
// is their unpacking with the sine part's sign turned.
inline void fftw_execute(const fftw_plan p)
{
    const int32_t n = p->n;
    double* a = p->work.data();
    for (int32_t t = 0; t < n; ++t) a[t] = p->in[t];
    real_fft(n, 1, a);
    p->out[0][0] = a[0];
    p->out[0][1] = 0;
    p->out[n / 2][0] = a[1];
    p->out[n / 2][1] = 0;
    for (int32_t k = 1; k < n / 2; ++k) {
        p->out[k][0] = a[2 * k];
        p->out[k][1] = -a[2 * k + 1];
    }
}
