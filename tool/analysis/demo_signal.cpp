#include "tool/analysis/demo_signal.h"

#include <cmath>

namespace {

struct Partial {
    double hz;
    double amplitude;
    double envelope_hz;  // a slow swell and fade
    double phase;
};

// Far from 1 kHz and from each other's multiples, so the notch has nothing else to take.
constexpr Partial kPartials[] = {
    {131.0, 0.10, 0.30, 0.0},
    {317.5, 0.08, 0.45, 1.1},
    {2473.0, 0.05, 0.25, 2.3},
    {5891.0, 0.03, 0.60, 0.7},
};

// The tone swells in and fades out over 50 ms, as a whine does. A tone switched on
// faster spreads part of its energy over a band wider than any narrow notch: with
// 10 ms edges the cut over its whole extent stops near 36 dB however deep the notch.
double tone_gate(double t, double on, double off)
{
    constexpr double edge = 0.05;
    if (t < on || t > off) return 0.0;
    if (t < on + edge) return 0.5 - 0.5 * std::cos(M_PI * (t - on) / edge);
    if (t > off - edge) return 0.5 - 0.5 * std::cos(M_PI * (off - t) / edge);
    return 1.0;
}

} // namespace

Audio synthesise_demo(const DemoClip& clip)
{
    Audio a;
    a.rate = clip.rate;
    a.channels = clip.channels;
    const int64_t frames = int64_t(clip.seconds * clip.rate);
    a.samples.resize(size_t(frames * clip.channels));
    for (int64_t t = 0; t < frames; ++t) {
        const double s = double(t) / clip.rate;
        for (int32_t k = 0; k < clip.channels; ++k) {
            double v = 0;
            for (const Partial& p : kPartials) {
                const double envelope = 0.6 + 0.4 * std::sin(2 * M_PI * p.envelope_hz * s + p.phase + k);
                v += p.amplitude * envelope * std::sin(2 * M_PI * p.hz * s + p.phase * (k + 1));
            }
            v += clip.tone_amplitude * tone_gate(s, clip.tone_on, clip.tone_off) *
                 std::sin(2 * M_PI * clip.tone_hz * s);
            a.samples[size_t(t * clip.channels + k)] = int16_t(std::lrint(v * 32767.0));
        }
    }
    return a;
}
