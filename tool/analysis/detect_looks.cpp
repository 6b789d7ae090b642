#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"

namespace detection {
namespace {

// Phases the model behind in_step_share averages over, evenly spaced round the circle.
constexpr int32_t kModelPhases = 360;
// The second look's block against the analysis block: twice as long halves the bin.
constexpr int32_t kFineFactor = 2;
// The phase look: grid points per step its stretch resolves, the step it halves down
// to, the share of a stretch's frames that must be clear (more clear than covered), and
// the fewest readings that make a spread.
constexpr int32_t kPhaseGridPerBin = 16;
constexpr double kPhaseFinestHz = 1e-3;
constexpr double kClearShare = 0.5;
constexpr int32_t kFewestReadings = 3;

// A whine drifts slowly with heat or load and holds still for all that; a note glides
// Hz a second. So the frequencies' straight line (least squares over their times) is
// taken out as far as steady_hz_per_s allows, and what spreads about the rest is the
// drift judged: ten minutes of a slowly drifting whine are judged as ten seconds of it
// are, while a glide keeps all but that share of its own. Over a look too short for
// that rate to move the frequency by `limit_hz`, a whine moves less than the spread
// allowed and is judged by its spread alone: a free line through a few noisy readings
// would take out their scatter, not a drift.
struct Drift {
    double hz_per_s = 0, spread_hz = 0;
};
Drift drift_of(const DetectParams& p, const std::vector<double>& seconds, const std::vector<double>& hz,
               double limit_hz)
{
    Drift d;
    const size_t n = hz.size();
    if (n < 2 || p.steady_hz_per_s * (seconds.back() - seconds.front()) <= limit_hz) return Drift{0, spread(hz)};
    double mean_t = 0, mean_hz = 0;
    for (size_t i = 0; i < n; ++i) mean_t += seconds[i] / double(n), mean_hz += hz[i] / double(n);
    double tt = 0, th = 0;
    for (size_t i = 0; i < n; ++i) {
        tt += (seconds[i] - mean_t) * (seconds[i] - mean_t);
        th += (seconds[i] - mean_t) * (hz[i] - mean_hz);
    }
    const double slope = tt > 0 ? th / tt : 0;
    d.hz_per_s = std::clamp(slope, -p.steady_hz_per_s, p.steady_hz_per_s);
    std::vector<double> rest(n);
    for (size_t i = 0; i < n; ++i) rest[i] = hz[i] - d.hz_per_s * (seconds[i] - mean_t);
    d.spread_hz = spread(rest);
    return d;
}

}  // namespace

// The program's partials in the critical band around `hz` in frame `m`, the lobe there
// (the tone's own peak) left out, as one level (dBFS; -inf for none): where they rival
// the tone, some of them lie near enough to pull its interpolated peak.
double band_partials_dbfs(const Frames& f, int32_t m, double hz)
{
    const double half = critical_band_hz(hz) / 2;
    const std::vector<Peak>& peaks = f.peaks[size_t(m)];
    const auto low = std::lower_bound(peaks.begin(), peaks.end(), (hz - half) / f.bin_hz(),
                                      [](const Peak& q, double at) { return q.at < at; });
    double power = 0;
    for (auto q = low; q != peaks.end() && q->at * f.bin_hz() <= hz + half; ++q)
        if (std::fabs(q->at * f.bin_hz() - hz) > kLobeBins / 2 * f.bin_hz())
            power += std::pow(10.0, q->level_dbfs / 10);
    return 10 * std::log10(power);
}

namespace {

// A look at the first look's readings of a run that failed it, from the frames where the
// tone stands clear of the program in its band: the program's partials there lie the
// critical ratio under it (the tone would mask them). Words around a beep rival it
// without covering it and move its peak by a few tenths of a bin; where it stands clear
// they move it least. Read so when it stands clear in kClearShare of its uncovered
// frames or more, as a glide's clear frames then span enough of it to show the glide;
// the frequency alone is judged again (the level was judged on all its frames). A run
// passing here may be a quiet stretch of a note, so it must also hold still wherever
// it sounds, as at the later looks (unsteady_within).
bool holds_where_clear(const DetectParams& p, const Frames& f, const Readings& x, Steadiness* s)
{
    const double own = own_level(p, x.level);
    std::vector<double> hz, seconds;
    size_t uncovered = 0;
    for (size_t i = 0; i < x.frame.size(); ++i) {
        if (covered(p, x.level[i], own)) continue;
        ++uncovered;
        if (x.level[i] - band_partials_dbfs(f, x.frame[i], x.hz[i]) < kCriticalRatioDb) continue;
        hz.push_back(x.hz[i]);
        seconds.push_back(double(x.frame[i]) * f.hop / f.rate);
    }
    if (hz.size() < size_t(kFewestReadings) || hz.size() < kClearShare * double(uncovered)) return false;
    const Drift d = drift_of(p, seconds, hz, s->drift_limit_hz);
    if (d.spread_hz > s->drift_limit_hz || s->range_db > s->range_limit_db) return false;
    s->hz = std::move(hz);
    s->drift_hz = d.spread_hz;
    s->hz_per_s = d.hz_per_s;
    s->holds = true;
    return true;
}

}  // namespace

double own_level(const DetectParams& p, const std::vector<double>& levels) { return quantile(levels, p.own_quantile); }

bool covered(const DetectParams& p, double level, double own) { return level > own + p.covered_db; }

// Its first and last few frames only partly cover the tone, so they are left out of
// the level's spread when the run is long enough to spare them.
// Louder sound over the tone lifts its bin and pulls the interpolated peak towards its
// own frequency: frequency and level are read where the bin is not covered.
Steadiness steadiness(const DetectParams& p, const Frames& f, const Run& r, const Readings& x, double bin_hz)
{
    const int32_t edge = f.n / f.hop - 1;
    const bool spare = r.to - r.from > 2 * edge + kHopsPerBlock;
    const double own = own_level(p, x.level);
    Steadiness s;
    std::vector<double> inner_level, seconds;
    for (size_t i = 0; i < x.frame.size(); ++i) {
        if (covered(p, x.level[i], own)) continue;
        s.hz.push_back(x.hz[i]);
        seconds.push_back(double(x.frame[i]) * f.hop / f.rate);
        if (!spare || (x.frame[i] >= r.from + edge && x.frame[i] < r.to - edge)) inner_level.push_back(x.level[i]);
    }
    s.drift_limit_hz = p.steady_hz * bin_hz / f.bin_hz();  // a finer look reads finer
    const Drift d = drift_of(p, seconds, s.hz, s.drift_limit_hz);
    s.drift_hz = d.spread_hz;
    s.hz_per_s = d.hz_per_s;
    s.range_db = spread(inner_level);
    s.range_limit_db = p.level_range_db;
    s.holds = s.drift_hz <= s.drift_limit_hz && s.range_db <= s.range_limit_db;
    return s;
}

Readings readings_of(const DetectParams& p, const Frames& f, const Run& r)
{
    Readings x;
    for (int32_t m = r.from; m < r.to; ++m) {
        const Peak* peak = peak_near(p, f.peaks[m], r.bin, 1);
        if (!peak) continue;
        x.frame.push_back(m);
        x.hz.push_back(peak->at * f.bin_hz());
        x.level.push_back(peak->level_dbfs);
        x.above.push_back(peak->above_floor);
    }
    return x;
}

// A clear frame is one that other sound lifts by no more than covered_db: that sound's
// amplitude, against the tone's, is at most a where 20 log10(1 + a) = covered_db. Its
// phase wanders against the tone's, so in the sum over a stretch it cancels out, while
// each frame's size is |1 + a e^(i phi)|, on average over phi more than 1. The sum
// then reaches 1 over that average of the sizes; less means the other sound turns with
// the tone, at its frequency.
double in_step_share(const DetectParams& p)
{
    const double a = amplitude_of(p.covered_db) - 1;
    double sizes = 0;
    for (int32_t k = 0; k < kModelPhases; ++k) sizes += std::abs(1.0 + std::polar(a, 2 * M_PI * k / kModelPhases));
    return kModelPhases / sizes;
}

namespace {

// Of the lines a second look followed beside run `r`, the loudest that is present
// through the run and holds still, as a run of its own; false when none does.
bool loudest_steady_line(const Context& c, const Run& r, const std::vector<Readings>& lines, double bin_hz, Run* out)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    double loudest = -HUGE_VAL;
    for (const Readings& x : lines) {
        if (x.frame.size() < p.present_share * (r.to - r.from)) continue;
        Steadiness s = steadiness(p, f, r, x, bin_hz);
        if (!s.holds || median(x.level) <= loudest) continue;
        loudest = median(x.level);
        Run line = r;
        line.hz = std::move(s.hz);
        line.bin = int32_t(std::lround(median(line.hz) / f.bin_hz()));
        line.look = Look::kSecond;
        line.hz_per_s = s.hz_per_s;
        *out = line;
    }
    return loudest > -HUGE_VAL;
}

// A probe's phasors over a run's frames, one a hop apart, and which of them are clear.
struct Phasors {
    double probe_hz = 0, hop_seconds = 0;
    std::vector<std::complex<double>> z;
    std::vector<bool> clear;
};

// The frequency, within `search_hz` of the probe's, at which the clear phasors of the
// frames [from, to) add up most nearly in step: a tone's phase turns at a constant
// rate, so this reads its frequency from the whole stretch at once, far finer than one
// block's bin, while sound that covered a frame only nudges its phasor.
// False when even there they add up to less than `share` (in_step_share) of their sizes' sum: the
// stretch then holds another sound at the tone's frequency, and its reading is that
// sound's as much as the tone's.
bool in_step_hz(const Phasors& x, int32_t from, int32_t to, double search_hz, double share, double* hz)
{
    const std::vector<std::complex<double>>& z = x.z;
    const std::vector<bool>& clear = x.clear;
    const double hop_seconds = x.hop_seconds;
    const auto together = [&](double offset) {
        std::complex<double> sum = 0;
        for (int32_t m = from; m < to; ++m)
            if (clear[size_t(m)]) sum += z[size_t(m)] * std::polar(1.0, -2 * M_PI * offset * (m - from) * hop_seconds);
        return std::abs(sum);
    };
    // The stretch tells apart frequencies about 1 / its length apart: a grid finer still
    // finds the top, and halving steps then settle on it.
    double step = 1 / ((to - from) * hop_seconds) / kPhaseGridPerBin, best = 0, most = together(0);
    for (double d = -search_hz; d <= search_hz; d += step)
        if (const double x = together(d); x > most) most = x, best = d;
    for (step /= 2; step > kPhaseFinestHz; step /= 2)
        for (const double d : {best - step, best + step})
            if (const double x = together(d); x > most) most = x, best = d;
    double sizes = 0;
    for (int32_t m = from; m < to; ++m)
        if (clear[size_t(m)]) sizes += std::abs(z[size_t(m)]);
    *hz = x.probe_hz + best;
    return most >= share * sizes;
}

// A third look at a run that stood clear but failed to hold still at both others: its
// frequency read from the phase of the probe at its frequency, stretch by stretch.
// Sound over a tone moves its interpolated peak by a good share of a bin in the frames
// it covers, though the tone holds still; over a stretch of frames, the tone's phase
// still turns at its own steady rate, while a gliding or wavering partial's does not
// keep one rate from stretch to stretch. Each stretch spans as many frame starts as the
// second look's block holds hops and is read from its clear frames (no louder than
// the run's own level, as at the first look), when at least half are clear and they
// turn in step. The readings are held to the second look's limit, so this look too
// passes nothing that glides more than a tone could; on passing, they stand as the
// run's frequencies (`readings`).
bool holds_phase(const Context& c, const Run& r, std::vector<double>* readings, double* hz_per_s)
{
    const DetectParams& p = c.p;
    const Audio& a = c.audio;
    const Frames& f = c.f;
    const int32_t frames = r.to - r.from, stretch = kFineFactor * f.n / f.hop;
    // A run too short to hold kFewestReadings stretches cannot pass, whatever its
    // phasors: most of the program's short runs end here, before their probes are read.
    if (frames / stretch < kFewestReadings) return false;
    const Probe probe(f.n, median(r.hz), a.rate, c.kernels);
    Phasors x;
    x.probe_hz = probe.hz;
    x.hop_seconds = double(f.hop) / a.rate;
    // The phasors over the run and the levels beat_around reads about it come from the
    // same sums: they are taken once.
    int32_t lo = 0, hi = 0;
    beat_span(c, r.from, r.to, &lo, &hi);
    std::vector<double> amplitudes, levels;
    std::vector<std::complex<double>> z;
    probe.read_blocks(a, f.first + int64_t(lo) * f.hop, f.hop, hi - lo, &amplitudes, &z);
    for (const double amplitude : amplitudes) levels.push_back(to_db(std::pow(amplitude, 2)));
    x.z.assign(z.begin() + (r.from - lo), z.begin() + (r.to - lo));
    std::vector<double> db;
    for (const std::complex<double>& w : x.z) db.push_back(to_db(std::norm(w)));
    // A beat's swell is the tone's own level, not other sound over it.
    const bool beat = beats(p, beat_in(c, levels, lo, r.from, r.to));
    const double own = own_level(p, db);
    for (const double level : db) x.clear.push_back(beat || !covered(p, level, own));
    std::vector<double> hz, seconds;
    const double share = in_step_share(p);
    for (int32_t from = 0; from + stretch <= frames; from += stretch)
        if (std::count(x.clear.begin() + from, x.clear.begin() + from + stretch, true) >= kClearShare * stretch)
            if (double at; in_step_hz(x, from, from + stretch, f.bin_hz(), share, &at)) {
                hz.push_back(at);
                seconds.push_back(from * x.hop_seconds);
            }
    if (hz.size() < size_t(kFewestReadings)) return false;
    // Two tones beating turn the phase of their sum now towards one, now the other, and
    // most near a null where the louder barely leads: its readings wander about the two,
    // as far apart as steady_hz at most, while a tone's hold still.
    const double limit = beat ? p.steady_hz : p.steady_hz / kFineFactor;
    const Drift d = drift_of(p, seconds, hz, limit);
    if (d.spread_hz > limit) return false;
    *readings = hz;
    *hz_per_s = d.hz_per_s;
    return true;
}

// A second look at runs that stand clear of their floor but fail to hold frequency or
// level: a block kFineFactor times as long, centred where each frame's block is. A
// steady tone stays one line however long the block, and the longer block parts it
// from a speech or music partial a bin or two away that pulled its peak and lifted its
// level in the analysis block. The drift is held to the same share of the longer
// block's finer bin (about 0.6 Hz at 48 kHz against 1.2 Hz), so this look passes only
// a line steadier than the first could tell, never one that glides more; a run that
// passes here, or at the phase look or the pair look (detect_pair.cpp) that follow for
// runs that fail here, must also hold still wherever it sounds (unsteady_within), and
// the runs that fail them all are kept for that test. A run that holds still here is
// replaced by its line, and marked in the verdicts returned. Each frame's long block is
// taken once for all the runs that cover it.
std::vector<bool> second_look(const Context& c, std::vector<Run>* runs)
{
    const Audio& a = c.audio;
    const Frames& f = c.f;
    const int64_t first = c.first, count = c.count;
    const int32_t n = kFineFactor * f.n;
    const std::vector<Run>& failed = *runs;
    std::vector<bool> holds(failed.size(), false);
    if (failed.empty() || count < n) return holds;
    // Each line within the main lobe's two analysis bins of the run's is followed on its own:
    // the partial that pulled the run's peak may be the louder one there.
    const int32_t span = kLobeBins / 2 * kFineFactor, lines = 2 * span + 1;
    std::vector<std::vector<Readings>> readings(failed.size(), std::vector<Readings>(size_t(lines)));
    const double bin_hz = double(a.rate) / n;
    const int32_t frames = int32_t(f.peaks.size());
    std::vector<int32_t> wanted;
    std::vector<int64_t> starts;
    for (int32_t m = 0; m < frames; ++m) {
        bool covers = false;
        for (const Run& r : failed) covers = covers || (m >= r.from && m < r.to);
        if (!covers) continue;
        const int64_t centre = f.first + int64_t(m) * f.hop + f.n / 2;
        wanted.push_back(m);
        starts.push_back(std::clamp<int64_t>(centre - n / 2, first, first + count - n));
    }
    BlockSeries spectra(n, a.samples.data(), a.channels, starts);
    for (const int32_t m : wanted) {
        const std::vector<double>& power = spectra.next();
        for (size_t i = 0; i < failed.size(); ++i) {
            const Run& r = failed[i];
            if (m < r.from || m >= r.to) continue;
            // Neighbouring lines mostly find the same peak: its reading is taken once.
            int32_t read = -1;
            double read_hz = 0, read_level = 0;
            for (int32_t j = 0; j < lines; ++j) {
                // A peak over two long-block bins on each side, give or take one bin.
                const int32_t c = kFineFactor * r.bin + j - span;
                int32_t best = -1;
                for (int32_t b = c - 1; b <= c + 1; ++b)
                    if (tops_lobe(power, b) && (best < 0 || power[b] > power[best])) best = b;
                if (best < 0) continue;
                if (best != read) {
                    read = best;
                    read_hz = refine_peak(power, best) * bin_hz;
                    read_level = to_db(2 * lobe_power(power, best));
                }
                Readings& x = readings[i][size_t(j)];
                x.frame.push_back(m);
                x.hz.push_back(read_hz);
                x.level.push_back(read_level);
            }
        }
    }
    for (size_t i = 0; i < failed.size(); ++i) {
        const Run r = failed[i];
        Run line;
        std::vector<double> hz;
        if (loudest_steady_line(c, r, readings[i], bin_hz, &line)) {
            (*runs)[i] = line;
            holds[i] = true;
        } else if (double hz_per_s = 0; holds_phase(c, r, &hz, &hz_per_s)) {
            line = r;
            line.hz = hz;
            line.hz_per_s = hz_per_s;
            line.look = Look::kPhase;
            (*runs)[i] = line;
            holds[i] = true;
        } else if (PairReading pair; holds_as_pair(c, r, &pair)) {
            line = r;
            line.hz = {pair.hz - pair.apart_hz / 2, pair.hz + pair.apart_hz / 2};
            line.look = Look::kPair;
            line.beat_db = pair.beat_db;
            line.pair = pair.fit;
            (*runs)[i] = line;
            holds[i] = true;
        }
    }
    return holds;
}

// The first look at a run, its peaks read once: false for a run under tone_db, which is
// no candidate (noted in `dropped`); `holds` where it holds still there, or where it
// stands clear of the program in its band.
bool first_look(const Context& c, Run* r, bool* holds, std::vector<Dropped>* dropped)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    const Readings x = readings_of(p, f, *r);
    r->level = x.level;
    r->above = x.above;
    const double prominence = median(r->above);
    if (prominence < p.tone_db) {
        const Verdict too_quiet{true, DropReason::kTooQuiet, prominence, p.tone_db, 0};
        dropped->push_back(dropped_run(DropStage::kRuns, f, *r, median(x.hz), too_quiet));
        return false;
    }
    Steadiness s = steadiness(p, f, *r, x, f.bin_hz());
    if (!s.holds && holds_where_clear(p, f, x, &s)) r->look = Look::kClear;
    r->hz = std::move(s.hz);
    r->drift_hz = s.drift_hz;
    r->range_db = s.range_db;
    r->hz_per_s = s.hz_per_s;
    *holds = s.holds;
    return true;
}

// What stands for a run that fails the first look, should it fail the later ones too:
// its part (part_of), if it has one, as the first look found it and, failing that, at
// `at` among the runs the second look is given.
struct Parted {
    bool any = false, quiet = false, holds = false;
    Run part;
    size_t at = 0;
    std::vector<Dropped> dropped;
};

}  // namespace

// A run that fails the first look is looked at again; one that holds still at no look is
// parted where it steps from a quieter sound beside a tone to the tone (part_of), and
// the part, looked at as a run of its own, stands for it. The part goes to the second
// look with the runs, whose long blocks over the run's frames serve it too.
Looks look_at_runs(const Context& c, const std::vector<Run>& runs, std::vector<Dropped>* dropped)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    Looks looks;
    std::vector<Run> failed;
    for (Run r : runs)
        if (bool holds = false; first_look(c, &r, &holds, dropped)) (holds ? looks.steady : failed).push_back(r);
    const size_t whole = failed.size();
    std::vector<Parted> parted(whole);
    for (size_t i = 0; i < whole; ++i) {
        Parted& x = parted[i];
        x.part = part_of(p, f, failed[i], c.shortest);
        x.any = x.part.to > x.part.from;
        if (!x.any) continue;
        x.quiet = !first_look(c, &x.part, &x.holds, &x.dropped);
        if (x.quiet || x.holds) continue;
        x.at = failed.size();
        failed.push_back(x.part);
    }
    const std::vector<bool> held = second_look(c, &failed);
    for (size_t i = 0; i < whole; ++i) {
        const Parted& x = parted[i];
        if (held[i]) looks.steady.push_back(failed[i]);
        else if (!x.any) looks.unsteady.push_back(failed[i]);
        else if (x.quiet) dropped->insert(dropped->end(), x.dropped.begin(), x.dropped.end());
        else if (x.holds) looks.steady.push_back(x.part);
        else (held[x.at] ? looks.steady : looks.unsteady).push_back(failed[x.at]);
    }
    for (const Run& r : looks.unsteady) {
        const bool drifts = r.drift_hz > p.steady_hz;
        const Verdict v = drifts ? Verdict{true, DropReason::kNotSteady, r.drift_hz, p.steady_hz, 0}
                                 : Verdict{true, DropReason::kLevelScatters, r.range_db, p.level_range_db, 0};
        dropped->push_back(dropped_run(DropStage::kLooks, f, r, median(r.hz), v));
    }
    return looks;
}

}  // namespace detection
