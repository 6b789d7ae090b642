#include "tool/session/switching.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

double switch_gate(double into, double ramp)
{
    return into >= ramp / 2 ? 1.0 : into <= -ramp / 2 ? 0.0 : 0.5 - 0.5 * std::cos(M_PI * (into + ramp / 2) / ramp);
}

namespace {

// The probe that reads a beep's edges lasts about 1 / kProbesPerSecond of a second
// (2.7 ms at 48 kHz): a step read through it rises over a quarter of that, so the ramps
// whose length decides most what the notch leaves (none to a few milliseconds) change
// what it reads the most; a longer probe's narrower bin holds less of the program's
// sound, but sees those ramps all alike.
constexpr int32_t kProbesPerSecond = 400;

// The switches a beep's edges are fitted with: raised-cosine ramps of these lengths.
constexpr double kRampsMs[] = {0, 0.25, 0.5, 0.75, 1, 1.5, 2, 2.5, 3, 4, 5, 6, 7, 8, 10, 12, 15, 20, 25, 30, 40};
constexpr size_t kRamps = sizeof kRampsMs / sizeof kRampsMs[0];

// A ramp as long as kSlowProbeFactor short probes is read again through a probe that
// long: its bin, that many times narrower, holds that much less of the program's sound,
// and a ramp as long as the probe still shows its shape through it.
constexpr int64_t kSlowProbeFactor = 4;

// How well the tone's switching on at `at` (off, with `rising` false) is fitted by each
// of kRampsMs: the tone read through a probe of `n` frames stepped finely across the edge,
// against what the same probe reads of that switch wherever it lies near `at`, as the
// mean squared misfit over the tone's own amplitude squared (empty where the edge cannot
// be read). Each reading is the part of the probe's phasor in step with
// the tone's own, read by the same probe just inside the tone past the slowest ramp's
// reach: a steady tone keeps its phase, so the program's sound in the probe's bin adds
// to that part as much as it takes away, where its power would lift every reading
// (most of all at the foot of the edge, where a ramp reaching into it would fit best).
// The whole edge is fitted, not two crossings read: a step read through the probe
// already rises over a quarter of it, so a few frames' error in placing where the rise
// starts or ends reads as a ramp of milliseconds.
std::vector<double> switching_misfits(const Audio& a, const Tone& tone, int64_t at, bool rising, int64_t n)
{
    const int64_t step = std::max<int64_t>(1, n / 64);
    // Far enough either side for the slowest ramp fitted, and its own level read past it.
    const int64_t reach_out = std::max<int64_t>(2 * n, std::llround(kRampsMs[kRamps - 1] * a.rate / 2000) + n);
    std::vector<double> hann(static_cast<size_t>(n), 0.0);
    double hann_sum = 0;
    for (int64_t k = 0; k < n; ++k)
        hann_sum += hann[size_t(k)] = 0.5 - 0.5 * std::cos(2 * M_PI * (double(k) + 0.5) / double(n));
    // The probe's phasor at `from`, its phase counted from the audio's first frame so
    // that a steady tone reads the same phase wherever it is read.
    const auto probe = [&](int64_t from) {
        std::complex<double> z = 0;
        for (int64_t k = 0; k < n; ++k) {
            double x = 0;
            for (int32_t ch = 0; ch < a.channels; ++ch) x += a.samples[size_t((from + k) * a.channels + ch)];
            z += hann[size_t(k)] * x * std::polar(1.0, -2 * M_PI * tone.hz * double(from + k) / a.rate);
        }
        return 2.0 * z / (hann_sum * a.channels);
    };
    std::vector<std::complex<double>> readings;
    std::vector<int64_t> intos;
    std::complex<double> inside = 0;
    int64_t insides = 0;
    // Walked from outside the tone inwards, in the direction it rises.
    for (int64_t into = -reach_out; into <= reach_out + n; into += step) {
        const int64_t centre = rising ? at + into : at - into;
        const int64_t from = centre - n / 2;
        if (from < 0 || from + n > a.frames()) continue;
        if (into >= reach_out) {
            inside += probe(from);
            ++insides;
        } else {
            readings.push_back(probe(from));
            intos.push_back(into);
        }
    }
    if (insides == 0 || readings.size() < 8 || std::abs(inside) == 0) return {};
    const double own = std::abs(inside) / double(insides);
    const std::complex<double> in_step = std::conj(inside) / std::abs(inside);

    // The probe's reading of each switch centred `shift` frames from its middle, on the
    // readings' grid; a switch centred up to n either side of `at` is tried.
    const int64_t reach = reach_out + 2 * n;
    const int64_t shifts = 2 * reach / step + 1;
    std::vector<double> misfits(kRamps, INFINITY);
    for (size_t r = 0; r < kRamps; ++r) {
        const double ramp = kRampsMs[r] * a.rate / 1000;
        std::vector<double> seen(static_cast<size_t>(shifts));
        for (int64_t j = 0; j < shifts; ++j) {
            const double middle = double(j * step - reach);
            double sum = 0;
            for (int64_t k = 0; k < n; ++k) sum += hann[size_t(k)] * switch_gate(middle + double(k - n / 2), ramp);
            seen[size_t(j)] = sum / hann_sum;
        }
        for (int64_t c = -n; c <= n; c += step) {
            double misfit = 0;
            for (size_t i = 0; i < readings.size(); ++i) {
                const int64_t j = (intos[i] - c + reach) / step;
                const double e =
                    (readings[i] * in_step).real() - own * seen[size_t(std::clamp<int64_t>(j, 0, shifts - 1))];
                misfit += e * e;
            }
            misfits[r] = std::min(misfits[r], misfit / (double(readings.size()) * own * own));
        }
    }
    return misfits;
}

// Readings that stray from the switch fitted best by more than about a third of the
// tone's amplitude (a mean squared misfit over both edges of kReadableMisfit; a switch
// read under the program's sound 20 dB down strays by a fifth at most) are not this
// tone's switching alone: another tone within the probe's bin beats through them, as a
// ringback's two tones 40 Hz apart do.
constexpr double kReadableMisfit = 0.1;

// The ramp in kRampsMs that fits both edges best, read through a probe of `n` frames;
// -1 where neither edge can be read, or where the readings fit no switch.
double best_ramp_ms(const Audio& a, const Tone& tone, int64_t first, int64_t end, int64_t n)
{
    std::vector<double> total(kRamps, 0.0);
    bool read = false;
    for (const std::vector<double>& m :
         {switching_misfits(a, tone, first, true, n), switching_misfits(a, tone, end, false, n)}) {
        if (m.empty()) continue;
        read = true;
        for (size_t r = 0; r < kRamps; ++r) total[r] += m[r];
    }
    if (!read || *std::min_element(total.begin(), total.end()) > kReadableMisfit) return -1;
    return kRampsMs[size_t(std::min_element(total.begin(), total.end()) - total.begin())];
}

}  // namespace

double switching_frames(const Audio& a, const Tone& tone, int64_t first, int64_t end)
{
    int64_t n = 64;
    while (n < a.rate / kProbesPerSecond) n *= 2;
    double ramp_ms = best_ramp_ms(a, tone, first, end, n);
    if (ramp_ms * a.rate / 1000 >= double(kSlowProbeFactor * n)) {
        const double slow = best_ramp_ms(a, tone, first, end, kSlowProbeFactor * n);
        if (slow >= 0) ramp_ms = slow;
    }
    return std::max(0.0, ramp_ms) * a.rate / 1000;
}
