#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"

namespace detection {
namespace {

// The search over the pair's middle (within steady_hz of the probe) and its spacing (up
// to steady_hz, the widest beat): coarse steps, then halved down to the finest.
constexpr double kPairCoarseHz = 0.05;
constexpr double kPairFinestHz = 1e-3;
// As at the clear frames' look: more of the run clear than covered.
constexpr double kPairClearShare = 0.5;
// Two tones closer than this beat slower than once in five seconds: over a tone's extent
// their level moves one way, as a held note's does, and no look tells the two apart.
constexpr double kSlowestBeatHz = 0.2;
// The run spans at least half a beat, from a swell to a null: the beat's depth is then
// seen, not carried on past the run, where a note's swell or decay would pass for it.
constexpr double kFewestBeats = 0.5;
// Deeper than this, a pair's null is as good as silent (a share of 1e-3 of its swell).
constexpr double kDeepestBeatShare = 1e-3;

// The clear phasors of a run, a hop apart, their times from the run's middle.
struct Clear {
    std::vector<std::complex<double>> z;
    std::vector<double> seconds;
    double energy = 0;
};

// Two steady tones at `mid_hz` -/+ half of `apart_hz` from the probe, at the amplitudes
// and phases (least squares) that explain most of the clear phasors' energy.
struct TwoTones {
    double explained = 0;
    std::complex<double> low, high;
};
TwoTones two_tones(const Clear& x, double mid_hz, double apart_hz)
{
    std::complex<double> g = 0, r1 = 0, r2 = 0;
    const double n = double(x.z.size());
    for (size_t i = 0; i < x.z.size(); ++i) {
        const double t = x.seconds[i];
        const std::complex<double> e1 = std::polar(1.0, 2 * M_PI * (mid_hz - apart_hz / 2) * t);
        const std::complex<double> e2 = std::polar(1.0, 2 * M_PI * (mid_hz + apart_hz / 2) * t);
        g += std::conj(e1) * e2;
        r1 += std::conj(e1) * x.z[i];
        r2 += std::conj(e2) * x.z[i];
    }
    TwoTones m;
    const double det = n * n - std::norm(g);
    if (det <= 0) return m;
    m.low = (n * r1 - g * r2) / det;
    m.high = (n * r2 - std::conj(g) * r1) / det;
    m.explained = std::real(std::conj(r1) * m.low + std::conj(r2) * m.high);
    return m;
}

}  // namespace

// Speech or music over a beating pair lifts some of its swells, so that its level shows
// no clean dip between two at one level, and near the nulls, where the pair is quiet,
// the program pulls its peak's frequency. Where the pair stands clear of the program in
// its critical band (as at the clear frames' look), two steady tones still explain its
// probe's phasors, amplitude and phase both, but for pair_unexplained of their energy;
// a note that glides or wavers keeps no such pair of rates, and one that swells once
// and decays leaves more. The two must beat tone_db deep at least (a second tone 6 dB
// under the first still makes 9.5 dB: under the program, shallower swells are a
// note's), and the run must span half a beat.
bool holds_as_pair(const Context& c, const Run& r, PairReading* out)
{
    const DetectParams& p = c.p;
    const Audio& a = c.audio;
    const Frames& f = c.f;
    const Probe probe(f.n, median(r.hz), a.rate);
    const double hop_seconds = double(f.hop) / a.rate, mid = (r.from + r.to - 1) / 2.0;
    Clear x;
    for (int32_t m = r.from; m < r.to; ++m) {
        const std::complex<double> z = probe.phasor(a, f.first + int64_t(m) * f.hop);
        if (to_db(std::norm(z)) - band_partials_dbfs(f, m, probe.hz) < kCriticalRatioDb) continue;
        x.z.push_back(z);
        x.seconds.push_back((m - mid) * hop_seconds);
        x.energy += std::norm(z);
    }
    const double frames = r.to - r.from, seconds = frames * hop_seconds;
    if (x.z.size() < kPairClearShare * frames || x.energy <= 0) return false;
    const double slowest = std::max(kSlowestBeatHz, kFewestBeats / seconds);
    double best_mid = 0, best_apart = 0, most = -1;
    for (double u = -p.steady_hz; u <= p.steady_hz; u += kPairCoarseHz)
        for (double d = slowest; d <= p.steady_hz; d += kPairCoarseHz)
            if (const double e = two_tones(x, u, d).explained; e > most) most = e, best_mid = u, best_apart = d;
    for (double step = kPairCoarseHz / 2; step > kPairFinestHz; step /= 2)
        for (const double u : {best_mid - step, best_mid, best_mid + step})
            for (const double d : {best_apart - step, best_apart, best_apart + step})
                if (d >= slowest && d <= p.steady_hz)
                    if (const double e = two_tones(x, u, d).explained; e > most) most = e, best_mid = u, best_apart = d;
    // A spacing that fits best at either end of its range fits better past it: wider
    // than the widest beat, no pair; slower than the slowest, one tone whose level moves
    // over the run, which the level rules judge.
    if (best_apart > p.steady_hz - kPairCoarseHz / 2 || best_apart < slowest + kPairCoarseHz / 2) return false;
    const TwoTones m = two_tones(x, best_mid, best_apart);
    const double louder = std::max(std::abs(m.low), std::abs(m.high));
    const double weaker = std::min(std::abs(m.low), std::abs(m.high));
    out->hz = probe.hz + best_mid;
    out->apart_hz = best_apart;
    out->unexplained = 1 - most / x.energy;
    out->beat_db = 20 * std::log10((louder + weaker) / std::max(louder - weaker, kDeepestBeatShare * louder));
    return out->beat_db >= p.tone_db && out->unexplained <= p.pair_unexplained;
}

}  // namespace detection
