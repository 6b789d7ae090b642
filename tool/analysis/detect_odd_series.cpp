#include <cmath>

#include "tool/analysis/detect_parts.h"

namespace detection {
namespace {

// Whether a tone stands within a bin of `hz`.
bool stands_at(const Context& c, const std::vector<Confirmed>& tones, double hz)
{
    for (const Confirmed& t : tones)
        if (std::fabs(t.tone.hz - hz) <= c.f.bin_hz()) return true;
    return false;
}

// The fundamental under `a`, at its odd `order`, read by a probe at its frequency over
// a's run as a tone is; false when it lasts too short to be listed.
bool fundamental_under(const Context& c, const Confirmed& a, int32_t order, Confirmed* out)
{
    Run run = a.run;
    for (double& hz : run.hz) hz /= order;
    run.hz_per_s /= order;
    run.drift_hz /= order;
    run.bin = int32_t(std::lround(a.tone.hz / order / c.f.bin_hz()));
    run.under_harmonic = true;
    // Its prominence is its own peaks' where it shows one, not the harmonic's it was
    // read under.
    run.above.clear();
    for (int32_t m = run.from; m < run.to; ++m)
        if (const Peak* peak = peak_near(c.p, c.f.peaks[m], run.bin, 1, true)) run.above.push_back(peak->above_floor);
    if (run.above.empty()) run.above.push_back(0);
    const Tone t = tone_of(c, run);
    if (double(t.end - t.first) < c.p.shortest_seconds * c.f.rate) return false;
    *out = Confirmed{t, run};
    return true;
}

}  // namespace

// A tone clipped flat, or a square wave, sounds its odd harmonics alone, and its
// fundamental, the loudest of them all, may make no run: music a few semitones off lifts
// its floor, and its peak stands clear in too few frames. Two tones switched on and off
// together at odd orders of one frequency, with a tone there louder than either when a
// probe reads it, are its harmonics and it their fundamental: the family is one entry.
// A series whose fundamental a band-stop took out reads quieter there than its
// harmonics, which stay tones of their own; and a note's partials fall as one and go
// before they reach here.
std::vector<Confirmed> with_odd_fundamentals(const Context& c, std::vector<Confirmed> tones)
{
    const double bin = c.f.bin_hz();
    const double apart = c.p.together_seconds * c.f.rate;
    const size_t given = tones.size();
    for (size_t i = 0; i < given; ++i)
        for (size_t j = 0; j < given; ++j) {
            const Tone& a = tones[i].tone;
            const Tone& b = tones[j].tone;
            if (b.hz <= a.hz + bin || std::fabs(double(a.first - b.first)) > apart ||
                std::fabs(double(a.end - b.end)) > apart)
                continue;
            for (int32_t order = 3; order <= kHighestHarmonic && a.hz / order >= kLowestHz; order += 2) {
                const double hz = a.hz / order;
                const int32_t other = int32_t(std::lround(b.hz / hz));
                if (other % 2 == 0 || other > kHighestHarmonic || std::fabs(b.hz - other * hz) > bin) continue;
                if (stands_at(c, tones, hz)) break;
                Confirmed f;
                if (!fundamental_under(c, tones[i], order, &f)) continue;
                if (f.tone.level_dbfs < std::max(a.level_dbfs, b.level_dbfs)) continue;
                tones.push_back(f);
                break;
            }
        }
    return tones;
}

}  // namespace detection
