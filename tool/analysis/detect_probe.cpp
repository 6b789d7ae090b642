#include "tool/analysis/detect_parts.h"

#include <cmath>

#include "tool/analysis/spectrum.h"

namespace detection {
namespace {

// Sums taken side by side, each of one channel of one block: one sum alone waits at
// every sample on its own add, while this many do not wait on one another. A block
// read alone (a crossing's walk) takes the narrow pass, and wastes little of it.
constexpr int32_t kLanes = 8;
constexpr int32_t kNarrowLanes = 2;

// The Hann window of `n` points, as hann() gives it, in `window`: a run's probes, and
// the looks' many probes, all take the one block length, and its cosines cost as much
// as the kernel's own.
void hann_into(int32_t n, std::vector<double>* window)
{
    if (int32_t(window->size()) == n) return;
    window->resize(size_t(n));
    for (int32_t j = 0; j < n; ++j) (*window)[size_t(j)] = hann(j, n);
}

// The kernel's sums over `lanes` runs of samples, each `stride` apart from its start in
// `x`; every sum adds its terms in the kernel's order, so a lane's sum is the same to
// the bit whichever lanes share its pass.
template <int32_t lanes>
void lane_sums(const std::vector<std::complex<double>>& kernel, const int16_t* const* x, int32_t stride,
               std::complex<double>* out)
{
    double re[lanes] = {}, im[lanes] = {};
    const int32_t n = int32_t(kernel.size());
    for (int32_t j = 0; j < n; ++j) {
        const double kr = kernel[size_t(j)].real(), ki = kernel[size_t(j)].imag();
        for (int32_t l = 0; l < lanes; ++l) {
            const double v = double(x[l][size_t(j) * size_t(stride)]);
            re[l] += v * kr;
            im[l] += v * ki;
        }
    }
    for (int32_t l = 0; l < lanes; ++l) out[l] = {re[l], im[l]};
}

constexpr int32_t kSetEvery = 64;

}  // namespace

Probe::Probe(int32_t size, double probe_hz, int32_t sample_rate, ProbeKernels* kept)
    : n(size), rate(sample_rate), hz(probe_hz), gain(0)
{
    if (kept)
        for (const ProbeKernels::Kept& k : kept->kept)
            if (k.n == n && k.rate == rate && k.hz == hz && !k.kernel.empty()) {
                kernel = k.kernel;
                gain = k.gain;
                return;
            }
    kernel.resize(size_t(size));
    std::vector<double> own;
    std::vector<double>& window = kept ? kept->window : own;
    hann_into(n, &window);
    // The kernel's phasor is turned a frame at a time by one step's rotation and set
    // afresh from its angle every kSetEvery frames, so that what the rotations' rounding
    // adds stays under the rounding of the angle itself: a sine and a cosine a frame took
    // most of a kernel's making, and of a run's second look, in the page's module.
    const double step_re = std::cos(-2 * M_PI * hz / rate), step_im = std::sin(-2 * M_PI * hz / rate);
    double re = 1, im = 0;
    for (int32_t j = 0; j < n; ++j) {
        if (j % kSetEvery == 0) {
            const double angle = -2 * M_PI * hz * j / rate;
            re = std::cos(angle);
            im = std::sin(angle);
        }
        const double w = window[size_t(j)];
        kernel[j] = {w * re, w * im};
        gain += w;
        const double turned_re = re * step_re - im * step_im;
        im = re * step_im + im * step_re;
        re = turned_re;
    }
    if (!kept) return;
    kept->kept[kept->oldest] = ProbeKernels::Kept{n, rate, hz, gain, kernel};
    kept->oldest = (kept->oldest + 1) % (sizeof kept->kept / sizeof kept->kept[0]);
}

double Probe::amplitude_of(const std::complex<double>* sums, int32_t channels) const
{
    double sum = 0;
    for (int32_t k = 0; k < channels; ++k) sum += std::norm(sums[k]);
    return 2 * std::sqrt(sum / channels) / gain / kFullScale;
}

std::complex<double> Probe::phasor_of(const std::complex<double>* sums, int32_t channels, int64_t at) const
{
    std::complex<double> z = 0;
    for (int32_t k = 0; k < channels; ++k) z += sums[k];
    // The kernel starts its phase at `at`; turned back to the audio's start, a steady
    // tone's phasor turns by its offset from `hz` alone.
    const double cycles = std::fmod(hz * double(at) / rate, 1.0);
    return z * std::polar(2 / gain / kFullScale / channels, -2 * M_PI * cycles);
}

void Probe::read_blocks(const Audio& a, int64_t at, int64_t step, int32_t count, std::vector<double>* amplitudes,
                        std::vector<std::complex<double>>* phasors) const
{
    const int32_t channels = a.channels, sums = count * channels;
    std::vector<std::complex<double>> z(size_t(sums) + kLanes);
    const int16_t* x[kLanes];
    for (int32_t s = 0; s < sums;) {
        const int32_t lanes = sums - s >= kLanes ? kLanes : kNarrowLanes;
        // Lanes past the last sum read the first again, and are not kept.
        for (int32_t l = 0; l < lanes; ++l) {
            const int32_t i = s + l < sums ? s + l : 0;
            x[l] = a.samples.data() + (at + int64_t(i / channels) * step) * channels + i % channels;
        }
        if (lanes == kLanes) lane_sums<kLanes>(kernel, x, channels, z.data() + s);
        else lane_sums<kNarrowLanes>(kernel, x, channels, z.data() + s);
        s += lanes;
    }
    for (int32_t b = 0; b < count; ++b) {
        if (amplitudes) amplitudes->push_back(amplitude_of(z.data() + size_t(b) * size_t(channels), channels));
        if (phasors)
            phasors->push_back(phasor_of(z.data() + size_t(b) * size_t(channels), channels, at + int64_t(b) * step));
    }
}

double Probe::amplitude(const Audio& a, int64_t at) const
{
    std::vector<double> one;
    read_blocks(a, at, 0, 1, &one, nullptr);
    return one[0];
}

std::complex<double> Probe::phasor(const Audio& a, int64_t at) const
{
    std::vector<std::complex<double>> one;
    read_blocks(a, at, 0, 1, nullptr, &one);
    return one[0];
}

std::vector<double> probe_levels(const Context& c, const Probe& probe, int32_t from, int32_t to)
{
    std::vector<double> amplitudes, levels;
    if (to <= from) return levels;
    probe.read_blocks(c.audio, c.f.first + int64_t(from) * c.f.hop, c.f.hop, to - from, &amplitudes, nullptr);
    for (const double a : amplitudes) levels.push_back(to_db(std::pow(a, 2)));
    return levels;
}

}  // namespace detection
