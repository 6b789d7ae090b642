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
// The run spans more than half a beat, from a swell through a null and on past it: the
// beat's depth is then seen, not carried on past the run, and a note that swells once
// and dies away (half a beat's shape, a chime's decay) does not pass for a pair.
constexpr double kFewestBeats = 0.6;
// Deeper than this, a pair's null is as good as silent (a share of 1e-3 of its swell).
constexpr double kDeepestBeatShare = 1e-3;

// The clear phasors of a run, a hop apart, their times from the run's middle.
struct Clear {
    std::vector<std::complex<double>> z;
    std::vector<double> seconds;
    double energy = 0;
};

// Two steady tones, at the amplitudes and phases (least squares) that explain most of
// the clear phasors' energy.
struct TwoTones {
    double explained = 0;
    std::complex<double> low, high;
};

// The clear phasors' sum turned back by `hz` (a DFT of them at that offset from the probe).
std::complex<double> turned_sum(const Clear& x, double hz)
{
    std::complex<double> sum = 0;
    for (size_t i = 0; i < x.z.size(); ++i) sum += x.z[i] * std::polar(1.0, -2 * M_PI * hz * x.seconds[i]);
    return sum;
}

// The two tones from the phasors' sums turned back by each (`low`, `high`) and the sum
// of the one tone's wave over the other's (`cross`).
TwoTones two_tones_of(double n, std::complex<double> cross, std::complex<double> low, std::complex<double> high)
{
    TwoTones m;
    const double det = n * n - std::norm(cross);
    if (det <= 0) return m;
    m.low = (n * low - cross * high) / det;
    m.high = (n * high - std::conj(cross) * low) / det;
    m.explained = std::real(std::conj(low) * m.low + std::conj(high) * m.high);
    return m;
}

// The sum, over the clear phasors' times, of a wave `hz` above another: how far two
// tones that far apart are from being told apart there.
std::complex<double> cross_sum(const Clear& x, double hz)
{
    std::complex<double> sum = 0;
    for (const double t : x.seconds) sum += std::polar(1.0, 2 * M_PI * hz * t);
    return sum;
}

// Two steady tones at `mid_hz` -/+ half of `apart_hz` from the probe.
TwoTones two_tones(const Clear& x, double mid_hz, double apart_hz)
{
    return two_tones_of(double(x.z.size()), cross_sum(x, apart_hz), turned_sum(x, mid_hz - apart_hz / 2),
                        turned_sum(x, mid_hz + apart_hz / 2));
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
// note's), and the run must span more than half a beat.
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
    // On the coarse grid each tone lies on one of two grids half a coarse step fine, so
    // the turned sums are taken once for every point of those and the spacings.
    const int32_t mids = int32_t(std::floor(2 * p.steady_hz / kPairCoarseHz + 1e-9)) + 1;
    const int32_t spacings = int32_t(std::floor((p.steady_hz - slowest) / kPairCoarseHz + 1e-9)) + 1;
    const int32_t points = 2 * (mids - 1) + spacings;
    std::vector<std::complex<double>> lows, highs, crosses;
    for (int32_t i = 0; i < points; ++i) {
        lows.push_back(turned_sum(x, -p.steady_hz - slowest / 2 + (i - (spacings - 1)) * kPairCoarseHz / 2));
        highs.push_back(turned_sum(x, -p.steady_hz + slowest / 2 + i * kPairCoarseHz / 2));
    }
    for (int32_t k = 0; k < spacings; ++k) crosses.push_back(cross_sum(x, slowest + k * kPairCoarseHz));
    double best_mid = 0, best_apart = 0, most = -1;
    for (int32_t j = 0; j < mids; ++j)
        for (int32_t k = 0; k < spacings; ++k) {
            const TwoTones m = two_tones_of(double(x.z.size()), crosses[size_t(k)],
                                            lows[size_t(2 * j - k + spacings - 1)], highs[size_t(2 * j + k)]);
            if (m.explained <= most) continue;
            most = m.explained;
            best_mid = -p.steady_hz + j * kPairCoarseHz;
            best_apart = slowest + k * kPairCoarseHz;
        }
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
