// The real FFT: a complex FFT of half the length on the even/odd sample pairs, then a
// split pass that separates the spectra of the even and the odd samples.
#include "fft/real_fft.h"

#include <cmath>

#include "fft/fft_internal.h"

namespace {

constexpr double pi = 3.141592653589793;

// Weights of the split butterfly at even entry j: wr = 0.5 - 0.5 sin(pi j/n),
// wi = 0.5 cos(pi j/n).
struct Weights {
    double wr, wi;
};

// The butterfly between bin j/2 and its partner at entry p = n - j. With
// E = (Z[k] + conj Z[m-k])/2 and O = (Z[k] - conj Z[m-k])/(2i), forward leaves
// X[k] = E + e^(i pi j/n) O; inverse undoes it.
template <bool forward>
inline void split_bfly(double* a, int32_t j, int32_t p, Weights w)
{
    const double xr = a[j] - a[p], xi = a[j + 1] + a[p + 1];
    const double yr = forward ? w.wr * xr - w.wi * xi : w.wr * xr + w.wi * xi;
    const double yi = forward ? w.wr * xi + w.wi * xr : w.wr * xi - w.wi * xr;
    a[j] -= yr;
    a[j + 1] -= yi;
    a[p] += yr;
    a[p + 1] -= yi;
}

// One pass from the middle outward, j = n/2 - 2 down to 2, in blocks of 128 butterflies.
// Within a block the weights follow the two-step recurrence
//   wr(j-2) = wr(j+2) + g wi(j),  wi(j-2) = wi(j+2) + g (0.5 - wr(j)),  g = 2 sin(2 pi/n),
// each block starting from weights computed afresh with sine and cosine.
template <bool forward>
void split_pass(int32_t n, double* a)
{
    const double theta = pi / n;
    const double s = std::sin(theta), c = std::cos(theta);
    const double cos2 = 1 - 2 * s * s, sin2 = 2 * s * c;
    const double g = 2 * sin2;

    Weights above{0, 0};        // at the index above the current one (j + 2)
    Weights at{s * s, s * c};   // at the current index j
    int32_t top = n / 2;
    for (;;) {
        const int32_t bottom = top - 256 > 4 ? top - 256 : 4;
        for (int32_t j = top - 2; j - 2 >= bottom; j -= 4) {
            split_bfly<forward>(a, j, n - j, at);
            above = Weights{above.wr + g * at.wi, above.wi + g * (0.5 - at.wr)};
            split_bfly<forward>(a, j - 2, n - j + 2, above);
            at = Weights{at.wr + g * above.wi, at.wi + g * (0.5 - above.wr)};
        }
        if (bottom == 4) break;
        top = bottom;
        const double alpha = top * theta;
        const double hs = 0.5 * std::sin(alpha), hc = 0.5 * std::cos(alpha);
        above = Weights{0.5 - hs, hc};
        at = Weights{0.5 - (cos2 * hs - sin2 * hc), cos2 * hc + sin2 * hs};
    }
    split_bfly<forward>(a, 2, n - 2, at);
}

} // namespace

void rfft_split_forward(int32_t n, double* a) { split_pass<true>(n, a); }
void rfft_split_inverse(int32_t n, double* a) { split_pass<false>(n, a); }

void real_fft(int32_t n, int32_t direction, double* a)
{
    if (direction >= 0) {
        if (n > 4) {
            cfft_forward(n, a);
            rfft_split_forward(n, a);
        } else if (n == 4) {
            cfft_forward(4, a);
        }
        const double a0 = a[0], a1 = a[1];
        a[0] = a0 + a1;
        a[1] = a0 - a1;
    } else {
        a[1] = 0.5 * (a[0] - a[1]);
        a[0] = a[0] - a[1];
        if (n > 4) {
            rfft_split_inverse(n, a);
            cfft_inverse(n, a);
        } else if (n == 4) {
            cfft_inverse(4, a);
        }
    }
}
