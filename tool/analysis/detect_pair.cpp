#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"

namespace detection {
namespace {

// The search over the pair's middle (within steady_hz of the probe) and its spacing (up
// to steady_hz, the widest beat, and a coarse step past it, so that a pair as wide as
// that fits best inside the range and one wider at its far end): coarse steps, then
// halved down to the finest.
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
// Of the fit's energy over the blocks a walk to the pair's end passed, the share by which
// its sum must sink: a fit in step with the pair sinks by all of it.
constexpr double kInStepShare = 0.7;
// A fit that leaves the run's end blocks out has fewer phasors to explain, and must earn
// that: a pair whose only misfit lay in the end blocks, which held it in part, explains
// the rest all but wholly, while a note that swells and fades once leaves much of its
// misfit in the middle.
constexpr double kSparedUnexplained = 0.5;
// Deeper than this, a pair's null is as good as silent (a share of 1e-3 of its swell).
constexpr double kDeepestBeatShare = 1e-3;
// The walk out to a pair's ends in steps of 5 ms at 48 kHz, well under the 1/15 s an
// extent is held to.
constexpr int32_t kStepsPerBlock = 32;

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

// The pair's phasor, as the fit tells it, in the probe's block from `at`.
std::complex<double> pair_phasor(const PairFit& m, int32_t rate, int64_t at)
{
    const double seconds = (double(at) - m.at) / rate;
    return m.low * std::polar(1.0, 2 * M_PI * m.low_hz * seconds) +
           m.high * std::polar(1.0, 2 * M_PI * m.high_hz * seconds);
}

// Where the pair stops, walking from block `inside` towards block `limit` (block
// starts) in `step`s: each block adds |M|^2 - 2 Re(z conj M), its phasor z against the
// fit's M, which is -|M|^2 where the pair sounds, +|M|^2 where it does not, and zero
// where the block holds half of it; the pair stops at the centre of the block where the
// sum is least. Near a null M is small, and the sum carries on through it to the next
// swell, where a level's crossing stops. Returns -1 where the sum is least at `limit`,
// and the centre of block `inside` where the fit does not hold the pair's step.
double pair_end(const Audio& a, const PairFit& m, int32_t n, int64_t inside, int64_t limit, int64_t step)
{
    const int64_t dir = limit < inside ? -1 : 1;
    const int32_t steps = int32_t(std::llabs(limit - inside) / step);
    const int64_t lowest = dir > 0 ? inside : inside - int64_t(steps) * step;
    std::vector<std::complex<double>> z;
    Probe(n, m.probe_hz, a.rate).read_blocks(a, lowest, step, steps + 1, nullptr, &z);
    if (dir < 0) std::reverse(z.begin(), z.end());
    double sum = 0, least = 0, energy = 0, reached = 0;
    int32_t best = 0;
    for (int32_t k = 0; k <= steps; ++k) {
        const std::complex<double> expected = pair_phasor(m, a.rate, inside + dir * int64_t(k) * step);
        sum += std::norm(expected) - 2 * std::real(z[size_t(k)] * std::conj(expected));
        energy += std::norm(expected);
        if (sum < least) least = sum, best = k, reached = energy;
    }
    // A fit whose rates are off turns out of step with the pair as the walk goes on, and
    // the sum sinks less deep than the fit's energy over the blocks it passed; it then
    // tells nothing, and the block it starts from stands.
    if (-least < kInStepShare * reached) return double(inside) + n / 2.0;
    if (best == steps && steps > 0) return -1;
    // Where the pair stops on a swell, its level falls through half the fit's there more
    // sharply than the sum turns, which program sound in step with the pair drags on: the
    // crossing within half a block of the sum's least is taken then.
    const int32_t half = int32_t(n / 2 / step);
    const auto at = [&](int32_t k) { return inside + dir * int64_t(k) * step; };
    const double swell = std::abs(m.low) + std::abs(m.high);
    if (std::abs(pair_phasor(m, a.rate, at(best))) >= swell / 2)
        for (int32_t k = std::max(0, best - half); k < std::min(steps, best + half); ++k) {
            const double was = std::abs(z[size_t(k)]) - std::abs(pair_phasor(m, a.rate, at(k))) / 2;
            const double next = std::abs(z[size_t(k + 1)]) - std::abs(pair_phasor(m, a.rate, at(k + 1))) / 2;
            if (was >= 0 && next < 0) return double(at(k)) + dir * was / (was - next) * double(step) + n / 2.0;
        }
    return double(at(best)) + n / 2.0;
}

}  // namespace

namespace {

// A run's probe phasors over frames [from, from + z.size()), read once for the looks
// at the run whole and without its end blocks.
struct Read {
    int32_t from = 0;
    std::vector<std::complex<double>> z;
};

// The phasors of run `r`'s probe over frames [first, last) where it stands clear of the
// program in its critical band, their times from the run's middle; taken from `read`
// where it holds them.
Clear clear_over(const Context& c, const Run& r, int32_t first, int32_t last, Read* read)
{
    const Audio& a = c.audio;
    const Frames& f = c.f;
    const Probe probe(f.n, median(r.hz), a.rate, c.kernels);
    const double hop_seconds = double(f.hop) / a.rate, mid = (r.from + r.to - 1) / 2.0;
    Clear x;
    const bool held = read->from <= first && last <= read->from + int32_t(read->z.size());
    if (!held) {
        // Read together, the blocks' sums go side by side; each is the one phasor() gives.
        read->from = first;
        read->z.clear();
        if (last > first)
            probe.read_blocks(a, f.first + int64_t(first) * f.hop, f.hop, last - first, nullptr, &read->z);
    }
    for (int32_t m = first; m < last; ++m) {
        const std::complex<double> z = read->z[size_t(m - read->from)];
        if (to_db(std::norm(z)) - band_partials_dbfs(f, m, probe.hz) < kCriticalRatioDb) continue;
        x.z.push_back(z);
        x.seconds.push_back((m - mid) * hop_seconds);
        x.energy += std::norm(z);
    }
    return x;
}

// The pair look over the run's frames [first, last): the run's own length sets the
// slowest spacing, as the run spans the beat.
bool pair_over(const Context& c, const Run& r, int32_t first, int32_t last, double unexplained, PairReading* out,
               Read* read)
{
    const DetectParams& p = c.p;
    const Audio& a = c.audio;
    const Frames& f = c.f;
    const double hop_seconds = double(f.hop) / a.rate, mid = (r.from + r.to - 1) / 2.0;
    const double frames = last - first, seconds = (r.to - r.from) * hop_seconds;
    const double slowest = std::max(kSlowestBeatHz, kFewestBeats / seconds);
    // A run too short to span the beat of a pair steady_hz apart holds no spacing the
    // look accepts (below): its probe is not read.
    if (slowest + kPairCoarseHz / 2 > p.steady_hz) return false;
    const Probe probe(f.n, median(r.hz), a.rate, c.kernels);
    const Clear x = clear_over(c, r, first, last, read);
    if (x.z.size() < kPairClearShare * frames || x.energy <= 0) return false;
    // On the coarse grid each tone lies on one of two grids half a coarse step fine, so
    // the turned sums are taken once for every point of those and the spacings.
    const int32_t mids = int32_t(std::floor(2 * p.steady_hz / kPairCoarseHz + 1e-9)) + 1;
    const double widest = p.steady_hz + kPairCoarseHz;
    const int32_t spacings = int32_t(std::floor((widest - slowest) / kPairCoarseHz + 1e-9)) + 1;
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
                if (d >= slowest && d <= widest)
                    if (const double e = two_tones(x, u, d).explained; e > most) most = e, best_mid = u, best_apart = d;
    // A spacing wider than the widest beat is no pair; one that fits best at the slowest
    // end fits better slower still: one tone whose level moves over the run, which the
    // level rules judge.
    if (best_apart > p.steady_hz || best_apart < slowest + kPairCoarseHz / 2) return false;
    const TwoTones m = two_tones(x, best_mid, best_apart);
    const double louder = std::max(std::abs(m.low), std::abs(m.high));
    const double weaker = std::min(std::abs(m.low), std::abs(m.high));
    out->hz = probe.hz + best_mid;
    out->apart_hz = best_apart;
    out->unexplained = 1 - most / x.energy;
    out->beat_db = 20 * std::log10((louder + weaker) / std::max(louder - weaker, kDeepestBeatShare * louder));
    out->fit =
        PairFit{true,  probe.hz, best_mid - best_apart / 2, best_mid + best_apart / 2, double(f.first) + mid * f.hop,
                m.low, m.high};
    return out->beat_db >= p.tone_db && out->unexplained <= unexplained;
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
// note's), and the run must span more than half a beat. A run may start where a block
// first reaches the pair, or end where the last still does: those blocks hold the pair
// only in part, and the pair's rates do not explain them, so where the whole run fails
// the look is asked again without them, where the run can spare them.
bool holds_as_pair(const Context& c, const Run& r, PairReading* out)
{
    const Frames& f = c.f;
    Read read;
    if (pair_over(c, r, r.from, r.to, c.p.pair_unexplained, out, &read)) return true;
    const int32_t edge = f.n / f.hop - 1;
    if (r.to - r.from <= 2 * edge + kHopsPerBlock) return false;
    PairReading inner;
    if (!pair_over(c, r, r.from + edge, r.to - edge, kSparedUnexplained * c.p.pair_unexplained, &inner, &read))
        return false;
    // Frames spanning under kFewestBeats of the fitted beat hold one swell and fade, a
    // note's shape as well as a pair's. A pair sounds on through its null: over the run
    // and as long again before it or after it (it may be switched on or off at the
    // run's end), two steady tones still fit best inside the spacings and beat tone_db
    // deep, whatever the program beside the run leaves unexplained. A note decays once,
    // and there fits no pair, or best as one tone whose level moves one way.
    const double hop_seconds = double(f.hop) / c.audio.rate;
    if ((r.to - r.from - 2 * edge) * hop_seconds * inner.apart_hz < kFewestBeats) {
        int32_t lo = 0, hi = 0;
        beat_span(c, r.from, r.to, &lo, &hi);
        const auto sounds_on = [&](int32_t first, int32_t last) {
            if (2 * (last - first) < 3 * (r.to - r.from)) return false;
            Run side = r;
            side.from = first;
            side.to = last;
            PairReading over;
            Read beside;
            pair_over(c, side, first, last, c.p.pair_unexplained, &over, &beside);
            return over.fit.fitted && over.beat_db >= c.p.tone_db;
        };
        if (!sounds_on(lo, r.to) && !sounds_on(r.from, hi)) return false;
    }
    *out = inner;
    return true;
}

// A pair's run breaks at its nulls, where its level sinks under half its swells', so the
// crossing that ends a tone's extent stops at the first null. Two tones fitted to the
// run tell the pair's phasor through its nulls and past them, and the pair reaches as
// far as the blocks there still hold it (pair_end); a crossing that reads further out
// stands.
void reach_pair_ends(const Context& c, const Run& r, const PairFit& fit, Tone* t)
{
    // A run spans more than half a beat, and a pair's last swell past a null lies within
    // a beat of it; further out, the fitted rates' error has moved the beat's phase
    // enough to blur where the pair stops, and the walk costs more.
    constexpr int32_t kPairReachRuns = 3;
    const Frames& f = c.f;
    const int32_t n = f.n;
    const int64_t step = std::max(1, n / kStepsPerBlock), reach = int64_t(kPairReachRuns) * (r.to - r.from) * f.hop;
    const int64_t lowest = c.first, highest = c.first + c.count - n;
    // From a block in from the run's ends, as the crossings walk, where the block lies
    // wholly on the pair.
    const int32_t edge = n / f.hop, mid = (r.from + r.to) / 2;
    const int64_t from = f.first + int64_t(std::min(r.from + edge, mid)) * f.hop;
    const int64_t to = f.first + int64_t(std::max(r.to - 1 - edge, mid)) * f.hop;
    const int64_t low_limit = std::max(lowest, from - reach), high_limit = std::min(highest, to + reach);
    if (!t->from_region_start && low_limit < from) {
        const double start = pair_end(c.audio, fit, n, from, low_limit, step);
        if (start < 0 && low_limit == lowest) {
            t->from_region_start = true;
            t->first = c.first;
        } else if (const double at = start < 0 ? double(low_limit) + n / 2.0 : start; at < double(t->first)) {
            t->first = int64_t(std::lround(at));
        }
    }
    if (!t->to_region_end && high_limit > to) {
        const double end = pair_end(c.audio, fit, n, to, high_limit, step);
        if (end < 0 && high_limit == highest) {
            t->to_region_end = true;
            t->end = c.first + c.count;
        } else if (const double at = end < 0 ? double(high_limit) + n / 2.0 : end; at > double(t->end)) {
            t->end = int64_t(std::lround(at));
        }
    }
}

namespace {

// The steady tone that explains most of phasors `z`, read `seconds` apart, within
// `widest_hz` of the probe: its offset from the probe, and its phasor at z's middle
// (a fine DFT of them, coarse steps first).
struct OneTone {
    double hz = 0;
    std::complex<double> at_middle;
};
OneTone one_tone(const std::vector<std::complex<double>>& z, double seconds, double widest_hz)
{
    const double middle = (double(z.size()) - 1) / 2;
    const auto turned = [&](double hz) {
        std::complex<double> sum = 0;
        for (size_t k = 0; k < z.size(); ++k)
            sum += z[k] * std::polar(1.0, -2 * M_PI * hz * (double(k) - middle) * seconds);
        return sum / double(z.size());
    };
    OneTone best;
    double most = -1;
    for (double step = 1 / (4 * double(z.size()) * seconds), from = -widest_hz, to = widest_hz; step > kPairFinestHz;
         step /= 4) {
        for (double hz = from; hz <= to; hz += step)
            if (const std::complex<double> sum = turned(hz); std::abs(sum) > most)
                most = std::abs(sum), best = OneTone{hz, sum};
        from = best.hz - step, to = best.hz + step;
    }
    return best;
}

}  // namespace

// A note a few Hz off a tone's frequency, at about its level, may sound up to the tone's
// switching on (or on from its switching off) with no gap: the probe's level goes on
// over half, and the crossing walks through the note. The tone keeps its phase from
// block to block, while the note's turns against it at their difference. So the tone,
// one steady phasor fitted over the middle half of its run, is walked out from the run's
// middle as a pair's ends are (pair_end): a block of the note adds as much on average
// as a block without the tone, and the sum is least near where the tone starts or stops.
// The tone starts or stops near there (switch_between) when that lies inside the
// crossing and what sounds between is a note: a steady sound, its phasors adding up to
// in_step_share of their sizes at its own rate (within two bins), more than steady_hz
// off the tone's. Program sound over the tone that lifts its level here and there holds
// no such rate, and the crossing stands.
void in_step_ends(const Context& c, const Run& r, Tone* t)
{
    const Frames& f = c.f;
    const int32_t n = f.n, quarter = (r.to - r.from) / 4;
    if (quarter < 2 || r.hz_per_s != 0) return;
    const Probe probe(n, median(r.hz), c.audio.rate, c.kernels);
    std::vector<std::complex<double>> z;
    probe.read_blocks(c.audio, f.first + int64_t(r.from + quarter) * f.hop, f.hop, 2 * quarter, nullptr, &z);
    const double hop_seconds = double(f.hop) / c.audio.rate;
    const OneTone tone = one_tone(z, hop_seconds, c.p.steady_hz);
    const int64_t mid =
        f.first + int64_t(r.from + quarter) * f.hop + int64_t(std::llround((2 * quarter - 1) / 2.0 * f.hop));
    const PairFit fit{true, probe.hz, tone.hz, tone.hz, double(mid), tone.at_middle, 0};
    const int64_t step = std::max(1, n / kCrossingStepsPerBlock);
    const int64_t lowest = c.first, highest = c.first + c.count - n;
    // Blocks read near the region's edges may reach past them, and past the audio held.
    const auto inside = [&](int64_t first, int32_t count) {
        return first >= lowest && first + int64_t(count - 1) * step <= highest;
    };
    // The note between block centres `from` and `to`, fitted as a steady tone: false
    // where none is there.
    struct Note {
        OneTone fit;
        int64_t middle = 0;  // the block start its phasor is read at
    };
    const auto a_note_between = [&](double from, double to, Note* note) {
        const int32_t count = int32_t(std::fabs(to - from) / double(step)) + 1;
        if (count < 2) return false;
        std::vector<std::complex<double>> beside;
        const int64_t first = std::llround(std::min(from, to) - n / 2.0);
        if (!inside(first, count)) return false;
        probe.read_blocks(c.audio, first, step, count, nullptr, &beside);
        note->fit = one_tone(beside, double(step) / c.audio.rate, 2 * f.bin_hz());
        note->middle = first + std::llround((count - 1) / 2.0 * double(step));
        double sizes = 0;
        for (const std::complex<double>& z : beside) sizes += std::abs(z);
        return std::fabs(note->fit.hz - tone.hz) > c.p.steady_hz &&
               std::abs(note->fit.at_middle) * double(count) >= in_step_share(c.p) * sizes;
    };
    // Where the note gives way to the tone, between block centres `outer` (the crossing)
    // and `inner` (the walk's least) and half a block on: each block holds the tone by
    // the share of its window's weight on the tone's side of the switch, and the note by
    // the rest; the switch is where the two, so weighed, leave least of the blocks'
    // phasors unexplained. The walk's least alone moves with the note's phase against
    // the tone's.
    const auto switch_between = [&](double outer, double inner, const Note& note) {
        const double dir = inner > outer ? 1 : -1, fine = double(step) / 4;
        const double far = inner + dir * n / 2.0;
        const int64_t first = std::llround(std::min(outer, far) - n);
        const int32_t count = int32_t(std::fabs(far - outer) / double(step)) + 2 + n / int32_t(step);
        // Where the blocks would reach past the region the crossing stands.
        if (!inside(first, count)) return outer;
        std::vector<std::complex<double>> z;
        probe.read_blocks(c.audio, first, step, count, nullptr, &z);
        const auto note_at = [&](int64_t at) {
            return note.fit.at_middle *
                   std::polar(1.0, 2 * M_PI * note.fit.hz * double(at - note.middle) / c.audio.rate);
        };
        double best = inner, least = HUGE_VAL;
        for (double sw = outer; dir * (far - sw) >= 0; sw += dir * fine) {
            double left = 0;
            for (int32_t k = 0; k < count; ++k) {
                const int64_t at = first + int64_t(k) * step;
                // The share of the block's window on the tone's side of the switch.
                const double u = std::clamp(dir * (double(at) + n / 2.0 - sw) / n + 0.5, 0.0, 1.0);
                const double w = u - std::sin(2 * M_PI * u) / (2 * M_PI);
                left += std::norm(z[size_t(k)] - w * pair_phasor(fit, c.audio.rate, at) - (1 - w) * note_at(at));
            }
            if (left < least) least = left, best = sw;
        }
        return best;
    };
    if (!t->from_region_start && double(t->first) - n / 2.0 < double(mid)) {
        const double start = pair_end(c.audio, fit, n, mid, std::max(lowest, t->first - n), step);
        if (Note note;
            start > double(t->first) && start < double(mid) + n / 2.0 && a_note_between(double(t->first), start, &note))
            t->first = int64_t(std::lround(switch_between(double(t->first), start, note)));
    }
    if (!t->to_region_end && double(t->end) - n / 2.0 > double(mid)) {
        const double end = pair_end(c.audio, fit, n, mid, std::min(highest, t->end), step);
        if (Note note; end >= 0 && end < double(t->end) && end > double(mid) + n / 2.0 &&
                       a_note_between(end, double(t->end), &note))
            t->end = int64_t(std::lround(switch_between(double(t->end), end, note)));
    }
}

// A piece of a pair between two nulls only swells and fades, as a held note does, and
// the swells beside it may be too short, or too far under the program, to show the
// beat. A note decays once: past where its run ends its level keeps low, or another
// sound there turns out of step with the two tones fitted to its swell. A pair sounds
// on through its null and swells again in step with them. So the piece passes as a
// pair when the fit, walked out from it (reach_pair_ends), finds the pair sounding a
// quarter of a block past a null of the fit that lies beyond the run's crossing.
bool swells_past_null(const Context& c, const Run& r, Tone* t)
{
    // A piece between two nulls spans under half a beat: the fit takes in the run's
    // length again on each side, where the pieces beside it lie.
    Run around = r;
    beat_span(c, r.from, r.to, &around.from, &around.to);
    PairReading pair;
    if (!holds_as_pair(c, r, &pair) && !holds_as_pair(c, around, &pair)) return false;
    Tone reached = *t;
    reach_pair_ends(c, r, pair.fit, &reached);
    const PairFit& m = pair.fit;
    const int32_t n = c.f.n, rate = c.audio.rate;
    const int64_t step = std::max(1, n / kStepsPerBlock);
    // A null of the fit, under a quarter of its swell, between block centres `from` and
    // `to`, a quarter of a block short of `to`: the swell past it holds that long.
    const double null = (std::abs(m.low) + std::abs(m.high)) / 4;
    const auto null_between = [&](int64_t from, int64_t to) {
        for (int64_t at = from; at < to - n / 4; at += step)
            if (std::abs(pair_phasor(m, rate, at - n / 2)) < null) return true;
        return false;
    };
    const bool before = null_between(reached.first + n / 4, t->first + n / 4);
    if (!before && !null_between(t->end, reached.end)) return false;
    *t = reached;
    t->beat_db = pair.beat_db;
    return true;
}

}  // namespace detection
