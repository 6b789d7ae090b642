#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"

namespace detection {
namespace {

// A stretch of frames over which a probe's phasors are summed, in blocks: as long as
// the phase look's, so a sound a Hz off the probe turns through more than a third of a
// circle within one.
constexpr int32_t kStretchBlocks = 2;

// Stretches read first: noise, or a note off the family's frequency, turns away within
// a few, so most fractions cost those stretches' probes rather than the whole run's.
constexpr int32_t kFirstStretches = 4;

// How many stretches of frames [from, to) read clear (over half their frames not
// covered, as at the phase look) with their clear phasors adding up to in_step_share
// of their sizes; -1 when a clear one falls short.
int32_t stretches_in_step(const Context& c, const Probe& probe, int32_t from, int32_t to)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    std::vector<std::complex<double>> z;
    probe.read_blocks(c.audio, f.first + int64_t(from) * f.hop, f.hop, to - from, nullptr, &z);
    std::vector<double> db;
    for (const std::complex<double>& w : z) db.push_back(to_db(std::norm(w)));
    const double own = own_level(p, db);
    const double share = in_step_share(p);
    const int32_t stretch = kStretchBlocks * f.n / f.hop;
    int32_t in_step = 0;
    for (int32_t s = 0; s + stretch <= to - from; s += stretch) {
        std::complex<double> sum = 0;
        double sizes = 0;
        int32_t clear = 0;
        for (int32_t m = s; m < s + stretch; ++m)
            if (!covered(p, db[size_t(m)], own)) sum += z[size_t(m)], sizes += std::abs(z[size_t(m)]), ++clear;
        if (2 * clear <= stretch) continue;
        if (std::abs(sum) < share * sizes) return -1;
        ++in_step;
    }
    return in_step;
}

// Whether a probe at `hz` reads a tone holding that frequency over frames [from, to):
// every clear stretch adds up in step (stretches_in_step), over its first stretches
// alone as over all of them, and such stretches span shortest_seconds. A louder partial
// a bin or two away swallows a fundamental's peak in the frames' spectra, and partials
// at its level within its lobe pull what peak it keeps, but the probe at the family's
// frequency, which a harmonic holding still gives to a small share of a bin, hears the
// fundamental turn at its own steady rate, where a note a Hz off, or the program's
// noise, turns away within a stretch.
bool in_step_at(const Context& c, double hz, int32_t from, int32_t to)
{
    const Frames& f = c.f;
    const Probe probe(f.n, hz, c.audio.rate, c.kernels);
    const int32_t stretch = kStretchBlocks * f.n / f.hop;
    const int32_t head = from + kFirstStretches * stretch;
    if (head < to && stretches_in_step(c, probe, from, head) < 0) return false;
    const int32_t in_step = stretches_in_step(c, probe, from, to);
    return double(in_step) * stretch * f.hop >= c.p.shortest_seconds * f.rate;
}

// Whether the fundamental `low` a probe heard under the harmonic's run `r` starts and
// stops with the harmonic, to within the block its extent is read with: a hum's
// partials are switched together, while the probe at a far multiple's fraction may hear
// the program there before the harmonic sounds, or a partial of the series that joins
// a run the program started.
bool sounds_with(const Context& c, const Run& r, const Run& low)
{
    const Tone harmonic = tone_of(c, r);
    const Tone t = tone_of(c, low);
    return std::abs(t.first - harmonic.first) <= c.f.n && std::abs(t.end - harmonic.end) <= c.f.n;
}

// A hum's fundamental can be weaker than its harmonics and fail the tone test while
// still holding a peak through most of their run: the run of the lowest such whole
// fraction of `r`'s frequency, or none.
// The steady harmonic gives the family's frequency to a small share of a bin; speech
// or music over the weaker fundamental pulls its peak in the frames it covers, so the
// fundamental is judged against that frequency rather than on its own spread: the
// middle of its readings must lie on it and the middle half of them within a tone's
// drift, as a partial that glides past never does.
// The fundamental sounds as long as the hum, beyond the stretch where one harmonic
// stood clear of the program: its run extends on either side for as long as its peak
// stays on the family's frequency, so that its extent and level are read over its
// whole life, and begins and ends on its own readings (a harmonic's run may take in a
// partial of the program at its frequency before or after the hum). A syllable or a
// note over it may hide it for up to a block's length (the gap over which two pieces
// of one tone are joined), which the run bridges.
// Where its peaks fail though a peak stands within its main lobe in half the run's
// frames or more (a louder partial a bin or two away swallows its peak, or partials at
// its level pull it), the probe at the family's frequency may still hear it turn in
// step (in_step_at) and sound with the harmonic (sounds_with): the run is then the
// harmonic's, and its prominence its own peaks' where it shows any. Where no peak
// stands near, nothing there could hide a fundamental loud enough to matter.
bool fundamental_below(const Context& c, const Run& r, Run* out)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    const double hz = median(r.hz);
    const int32_t frames = int32_t(f.peaks.size());
    for (int32_t k = kHighestHarmonic / 2; k >= 2; --k) {
        const double family = hz / k;
        const int32_t bin = int32_t(std::lround(family / f.bin_hz()));
        if (bin * f.bin_hz() < kLowestHz) continue;
        const auto reading = [&](int32_t m) -> const Peak* {
            const Peak* peak = peak_near(p, f.peaks[m], bin, 1);
            return peak && std::fabs(peak->at * f.bin_hz() * k - hz) <= p.multiple_hz ? peak : nullptr;
        };
        std::vector<double> on;
        for (int32_t m = r.from; m < r.to; ++m)
            if (const Peak* peak = reading(m)) on.push_back(peak->at * f.bin_hz());
        const bool present = !on.empty() && on.size() >= p.partial_present * (r.to - r.from);
        const bool on_family = present && std::fabs(median(on) - family) <= p.steady_hz / 2;
        const bool holds = present && middle_spread(on) <= p.steady_hz;
        const bool by_peaks = on_family && holds;
        int32_t shown = 0;
        for (int32_t m = r.from; m < r.to && !by_peaks; ++m)
            shown += peak_near(p, f.peaks[m], bin, kLobeBins / 2) != nullptr;
        const bool pulled = 2 * shown >= r.to - r.from;
        if (!by_peaks && !(pulled && in_step_at(c, family, r.from, r.to))) continue;
        Run low;
        low.bin = bin;
        low.from = r.from;
        low.to = r.to;
        while (by_peaks && !reading(low.from)) ++low.from;
        while (by_peaks && !reading(low.to - 1)) --low.to;
        const auto on_it = [&](int32_t m) {
            const Peak* peak = reading(m);
            return peak && std::fabs(peak->at * f.bin_hz() - family) <= p.steady_hz;
        };
        const int32_t bridged = f.n / f.hop;
        for (int32_t m = low.from - 1, last = low.from; m >= 0 && last - m <= bridged + 1; --m)
            if (on_it(m)) low.from = last = m;
        for (int32_t m = low.to, last = low.to - 1; m < frames && m - last <= bridged + 1; ++m)
            if (on_it(m)) last = m, low.to = m + 1;
        for (int32_t m = low.from; m < low.to; ++m)
            if (const Peak* peak = reading(m)) {
                low.level.push_back(peak->level_dbfs);
                low.above.push_back(peak->above_floor);
            }
        if (low.above.empty()) low.above.push_back(0);
        // Its frequency and drift are the family's, read off the harmonic that stood
        // clear, not off its own peaks, which the program over it pulls.
        for (const double x : r.hz) low.hz.push_back(x / k);
        if (!by_peaks && !sounds_with(c, r, low)) continue;
        *out = low;
        return true;
    }
    return false;
}

// A tone between two bins can pass at both; the runs then overlap and read one
// frequency, and the more prominent one stands for it. Runs two bins apart that read
// frequencies over a bin apart are two lines (a hum's fundamental beside a partial that
// pulled its peak at times, or a note that ends as a tone starts), and each is judged
// on its own.
std::vector<Run> without_twins(const Context& c, std::vector<Run> runs, std::vector<Dropped>* dropped)
{
    const Frames& f = c.f;
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return median(a.above) > median(b.above); });
    std::vector<Run> kept;
    for (const Run& r : runs) {
        const Run* twin = nullptr;
        for (const Run& k : kept)
            if (!twin && std::abs(k.bin - r.bin) <= kLobeBins / 2 && std::min(k.to, r.to) > std::max(k.from, r.from) &&
                std::fabs(median(k.hz) - median(r.hz)) <= f.bin_hz())
                twin = &k;
        if (!twin) {
            kept.push_back(r);
            continue;
        }
        const double apart = std::fabs(median(twin->hz) - median(r.hz));
        const Verdict twin_of{true, DropReason::kTwin, apart, f.bin_hz(), median(twin->hz)};
        dropped->push_back(dropped_run(DropStage::kLines, f, r, median(r.hz), twin_of));
    }
    return kept;
}

// A hum's fundamental can be weaker than its harmonics: the runs found under them are
// added as lines of their own. Two harmonics may give one fundamental. A run of its own
// at its frequency does not stand for it: that run is judged on its own readings, which
// the program over it pulls, and where both pass they are joined as pieces of one tone.
std::vector<Run> with_fundamentals(const Context& c, std::vector<Run> runs)
{
    for (size_t i = 0, found = runs.size(); i < found; ++i) {
        Run low;
        if (!fundamental_below(c, runs[i], &low)) continue;
        bool known = false;
        for (size_t j = found; j < runs.size(); ++j)
            known = known || (std::abs(runs[j].bin - low.bin) <= kLobeBins / 2 &&
                              std::min(runs[j].to, low.to) > std::max(runs[j].from, low.from));
        low.under_harmonic = true;
        if (!known) runs.push_back(low);
    }
    return runs;
}

}  // namespace

std::vector<Run> lines_of(const Context& c, std::vector<Run> steady, std::vector<Dropped>* dropped)
{
    return with_fundamentals(c, without_twins(c, std::move(steady), dropped));
}

}  // namespace detection
