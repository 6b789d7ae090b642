#include "cli/detect.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "cli/spectrum.h"

namespace {

constexpr double kWidestBinHz = 6.0;
constexpr int32_t kFloorReach = 20;     // bins on each side whose levels make a peak's floor
constexpr double kFloorQuantile = 0.2;  // low enough to fall between a hum's harmonics
constexpr double kPeakDb = 8.0;         // a frame's peak over its floor
constexpr double kToneDb = 10.0;        // a tone's median prominence
constexpr double kQuietestDbfs = -70;   // quieter tones lie under a recording's own hiss
                                        // at any sensible listening level
constexpr double kSilentDbfs = -90.3;   // a sine one 16-bit step high: nothing quieter is sound
constexpr double kOwnQuantile = 0.25;   // of a run's levels: the tone's own, nothing over it
constexpr double kCoveredDb = 3.0;      // a bin this far over it holds other sound as well
constexpr double kPresent = 0.9;        // share of a run's frames that must hold the peak
constexpr int32_t kGapFrames = 2;       // frames a run may miss in a row
constexpr double kShortestSeconds = 0.6;
constexpr int32_t kFineFactor = 2;      // a second look's block against the analysis block
constexpr int32_t kFineReach = 2;       // analysis bins a second look reaches on each side
constexpr double kDriftBins = 0.2;      // spread of the frequency, in analysis bins: a
                                        // held note glides more than a whine
constexpr double kLevelRangeDb = 6.0;   // spread of the level in the frames' spectra
constexpr double kToneLevelRangeDb = 5.0;  // and measured at the tone's own frequency
constexpr double kHeldRangeDb = 3.0;    // a level that scatters this much and also
constexpr double kHeldTrendDb = 1.5;    // moves this far from its first third to its last
                                        // is a held note's swell or decay
constexpr double kHeldSlopeDb = 2.0;    // a hum or a whine holds its level within a dB
                                        // or so for seconds; a level that moves by more
                                        // along a robust line is a note's decay or swell
constexpr size_t kSlopePoints = 200;
constexpr double kTogetherSeconds = 0.03;  // starts closer than this are one event
constexpr double kHarmonicPresent = 0.75;
constexpr int32_t kHighestHarmonic = 16;

struct Peak {
    int32_t bin;
    float at;           // interpolated bin
    float level_dbfs;
    float above_floor;
};

struct Frames {
    int32_t n = 0, hop = 0, rate = 0;
    int64_t first = 0;                     // sample frame where frame 0 starts
    std::vector<std::vector<Peak>> peaks;  // per frame, by bin
    double bin_hz() const { return double(rate) / n; }
};

// A tone's run of frames before it becomes a Tone.
struct Run {
    int32_t bin = 0;
    int32_t from = 0, to = 0;  // frames [from, to)
    std::vector<double> hz, level, above;
    bool second_look = false;  // passed only at the second look
    int32_t harmonic = -1;     // a fundamental found under a harmonic: that one's run
};

double quantile(std::vector<double> v, double q)
{
    if (v.empty()) return 0;
    const size_t k = std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return v[k];
}

// The floor under each bin: a low quantile of the levels around it, taken every few
// bins (it changes slowly) and held in between.
std::vector<double> local_floor(const std::vector<double>& db)
{
    const int32_t bins = int32_t(db.size());
    std::vector<double> floor(db.size());
    std::vector<double> around;
    for (int32_t b = 0; b < bins; b += 4) {
        around.assign(db.begin() + std::max(0, b - kFloorReach), db.begin() + std::min(bins, b + kFloorReach + 1));
        const double f = quantile(around, kFloorQuantile);
        for (int32_t i = b; i < std::min(bins, b + 4); ++i) floor[i] = f;
    }
    return floor;
}

std::vector<Peak> frame_peaks(const std::vector<double>& power, int32_t rate, int32_t n)
{
    std::vector<double> db(power.size());
    for (size_t b = 0; b < power.size(); ++b) db[b] = to_db(power[b]);
    const std::vector<double> floor = local_floor(db);
    const double bin_hz = double(rate) / n;
    const int32_t lo = std::max(2, int32_t(std::ceil(20 / bin_hz)));
    const int32_t hi = std::min(int32_t(power.size()) - 3, int32_t(0.98 * rate / 2 / bin_hz));
    std::vector<Peak> peaks;
    for (int32_t b = lo; b <= hi; ++b) {
        if (!(db[b] > db[b - 1] && db[b] >= db[b + 1] && db[b] >= db[b - 2] && db[b] >= db[b + 2])) continue;
        if (db[b] - floor[b] < kPeakDb) continue;
        // A sine's power spreads over the Hann main lobe; its sum is the tone's level
        // wherever it falls between bins.
        const double lobe = power[b - 2] + power[b - 1] + power[b] + power[b + 1] + power[b + 2];
        if (to_db(2 * lobe) < kSilentDbfs) continue;
        peaks.push_back(Peak{b, float(refine_peak(power, b)), float(to_db(2 * lobe)), float(db[b] - floor[b])});
    }
    return peaks;
}

Frames frame_peaks_over(const Audio& audio, int64_t first, int64_t count)
{
    Frames f;
    f.rate = audio.rate;
    f.n = analysis_length(audio.rate);
    f.hop = f.n / 4;
    f.first = first;
    BlockSpectrum spectrum(f.n);
    for (int64_t at = first; at + f.n <= first + count; at += f.hop)
        f.peaks.push_back(frame_peaks(spectrum.power(audio.samples.data(), audio.channels, at), f.rate, f.n));
    return f;
}

// The most prominent peak within `reach` bins of `bin` that is loud enough to hear;
// with `any_level`, also those under the hiss (a sound's track can fade under it).
const Peak* peak_near(const std::vector<Peak>& peaks, int32_t bin, int32_t reach, bool any_level = false)
{
    const Peak* best = nullptr;
    for (const Peak& p : peaks)
        if (std::abs(p.bin - bin) <= reach && (any_level || p.level_dbfs >= kQuietestDbfs) &&
            (!best || p.above_floor > best->above_floor))
            best = &p;
    return best;
}

// Runs of frames in which bin `bin` (give or take one) holds a peak, missing no more
// than kGapFrames in a row and at most a tenth of the frames overall.
std::vector<Run> runs_at(const Frames& f, int32_t bin, int32_t shortest)
{
    std::vector<Run> runs;
    const int32_t frames = int32_t(f.peaks.size());
    int32_t m = 0;
    while (m < frames) {
        if (!peak_near(f.peaks[m], bin, 1)) {
            ++m;
            continue;
        }
        Run r;
        r.bin = bin;
        r.from = m;
        int32_t last = m, held = 0;
        for (; m < frames && m - last <= kGapFrames; ++m)
            if (peak_near(f.peaks[m], bin, 1)) last = m, ++held;
        r.to = last + 1;
        m = last + 1;
        if (r.to - r.from >= shortest && held >= kPresent * (r.to - r.from)) runs.push_back(r);
    }
    return runs;
}

// One frame's reading of a run's peak.
struct Reading {
    int32_t frame;
    double hz, level_dbfs;
};

// Whether the readings hold their frequency and level as a tone does, the frequency
// within a share of `bin_hz`, the bin of the analysis that read them; keeps the
// frequencies it judged in the run. Its first and last few frames only partly cover
// the tone, so they are left out of the level's spread when the run is long enough to
// spare them.
bool steady_readings(const Frames& f, const std::vector<Reading>& readings, double bin_hz, Run* r)
{
    const int32_t edge = f.n / f.hop - 1;
    const bool spare = r->to - r->from > 2 * edge + 4;
    std::vector<double> levels;
    for (const Reading& x : readings) levels.push_back(x.level_dbfs);
    // Louder sound over the tone lifts its bin and pulls the interpolated peak towards
    // its own frequency: frequency and level are read where the bin holds no more than
    // the tone's own level, a low quantile of the run's.
    const double own = quantile(levels, kOwnQuantile) + kCoveredDb;
    std::vector<double> hz, inner_level;
    for (const Reading& x : readings) {
        if (x.level_dbfs > own) continue;
        hz.push_back(x.hz);
        if (!spare || (x.frame >= r->from + edge && x.frame < r->to - edge)) inner_level.push_back(x.level_dbfs);
    }
    const double drift = quantile(hz, 0.9) - quantile(hz, 0.1);
    const double range = quantile(inner_level, 0.9) - quantile(inner_level, 0.1);
    r->hz = hz;
    return drift <= kDriftBins * bin_hz && range <= kLevelRangeDb;
}

// The run's frequency and level frame by frame, from the analysis's own peaks.
bool steady(const Frames& f, Run* r)
{
    std::vector<Reading> readings;
    for (int32_t m = r->from; m < r->to; ++m) {
        const Peak* p = peak_near(f.peaks[m], r->bin, 1);
        if (!p) continue;
        readings.push_back(Reading{m, p->at * f.bin_hz(), p->level_dbfs});
        r->level.push_back(p->level_dbfs);
        r->above.push_back(p->above_floor);
    }
    return quantile(r->above, 0.5) >= kToneDb && steady_readings(f, readings, f.bin_hz(), r);
}

// Of the lines a second look followed beside run `r`, the loudest that is present
// through the run and holds still, as a run of its own; false when none does.
bool loudest_steady_line(const Frames& f, const Run& r, const std::vector<std::vector<Reading>>& lines,
                         double bin_hz, Run* out)
{
    double loudest = -HUGE_VAL;
    for (const std::vector<Reading>& x : lines) {
        Run line = r;
        if (x.size() < kPresent * (r.to - r.from) || !steady_readings(f, x, bin_hz, &line)) continue;
        std::vector<double> levels;
        for (const Reading& y : x) levels.push_back(y.level_dbfs);
        if (quantile(levels, 0.5) <= loudest) continue;
        loudest = quantile(levels, 0.5);
        line.bin = int32_t(std::lround(quantile(line.hz, 0.5) / f.bin_hz()));
        *out = line;
    }
    return loudest > -HUGE_VAL;
}

// A second look at runs that stand clear of their floor but fail to hold frequency or
// level: a block kFineFactor times as long, centred where each frame's block is. A
// steady tone stays one line however long the block, and the longer block parts it
// from a speech or music partial a bin or two away that pulled its peak and lifted its
// level in the analysis block. The drift is held to the same share of the longer
// block's finer bin (about 0.6 Hz at 48 kHz against 1.2 Hz), so this look passes only
// a line steadier than the first could tell, never one that glides more; a run that
// passes here must also hold still wherever it sounds (unsteady_within), and the runs
// that fail here are kept in `failed` for that test. Each frame's long block is taken once for all the runs that cover it.
void second_look(const Audio& a, const Frames& f, int64_t first, int64_t count, std::vector<Run>* failed,
                 std::vector<Run>* passed)
{
    const int32_t n = kFineFactor * f.n;
    if (failed->empty() || count < n) return;
    // Each line within kFineReach analysis bins of the run's is followed on its own:
    // the partial that pulled the run's peak may be the louder one there.
    const int32_t reach = kFineReach * kFineFactor, lines = 2 * reach + 1;
    std::vector<std::vector<std::vector<Reading>>> readings(failed->size(),
                                                            std::vector<std::vector<Reading>>(size_t(lines)));
    BlockSpectrum spectrum(n);
    const double bin_hz = double(a.rate) / n;
    const int32_t frames = int32_t(f.peaks.size());
    for (int32_t m = 0; m < frames; ++m) {
        bool wanted = false;
        for (const Run& r : *failed) wanted = wanted || (m >= r.from && m < r.to);
        if (!wanted) continue;
        const int64_t centre = f.first + int64_t(m) * f.hop + f.n / 2;
        const int64_t at = std::clamp<int64_t>(centre - n / 2, first, first + count - n);
        const std::vector<double>& power = spectrum.power(a.samples.data(), a.channels, at);
        const int32_t last = int32_t(power.size()) - 3;
        const auto is_peak = [&](int32_t b) {
            return b >= 2 && b <= last && power[b] > power[b - 1] && power[b] >= power[b + 1] &&
                   power[b] >= power[b - 2] && power[b] >= power[b + 2];
        };
        for (size_t i = 0; i < failed->size(); ++i) {
            const Run& r = (*failed)[i];
            if (m < r.from || m >= r.to) continue;
            for (int32_t j = 0; j < lines; ++j) {
                // A peak over two long-block bins on each side, give or take one bin.
                const int32_t c = kFineFactor * r.bin + j - reach;
                int32_t best = -1;
                for (int32_t b = c - 1; b <= c + 1; ++b)
                    if (is_peak(b) && (best < 0 || power[b] > power[best])) best = b;
                if (best < 0) continue;
                const double lobe = power[best - 2] + power[best - 1] + power[best] + power[best + 1] + power[best + 2];
                readings[i][size_t(j)].push_back(Reading{m, refine_peak(power, best) * bin_hz, to_db(2 * lobe)});
            }
        }
    }
    std::vector<Run> unsteady;
    for (size_t i = 0; i < failed->size(); ++i) {
        Run& r = (*failed)[i];
        r.second_look = true;
        Run line;
        if (loudest_steady_line(f, r, readings[i], bin_hz, &line)) passed->push_back(line);
        else unsteady.push_back(r);
    }
    failed->swap(unsteady);
}

// Amplitude (full scale = 1) of the `hz` component of the n frames from `at`, by a
// Hann-windowed single-frequency DFT, root mean square over the channels.
struct Probe {
    int32_t n;
    std::vector<std::complex<double>> kernel;
    double gain;
    Probe(int32_t size, double hz, int32_t rate) : n(size), kernel(size_t(size)), gain(0)
    {
        for (int32_t j = 0; j < n; ++j) {
            const double w = 0.5 - 0.5 * std::cos(2 * M_PI * j / n);
            kernel[j] = std::polar(w, -2 * M_PI * hz * j / rate);
            gain += w;
        }
    }
    double amplitude(const Audio& a, int64_t at) const
    {
        double sum = 0;
        for (int32_t k = 0; k < a.channels; ++k) {
            std::complex<double> z = 0;
            const int16_t* x = a.samples.data() + at * a.channels + k;
            for (int32_t j = 0; j < n; ++j) z += double(x[j * a.channels]) * kernel[j];
            sum += std::norm(z);
        }
        return 2 * std::sqrt(sum / a.channels) / gain / 32768.0;
    }
};

// Where the tone's amplitude crosses half its steady value, walking from `inside`
// towards `limit` (both block starts), in coarse steps and then in `step`s over the
// last coarse one; the block's centre at that crossing is where the tone starts or
// stops, since a symmetric window sees half its weight on the tone exactly then.
// Returns -1 when the tone holds up to the limit.
double crossing(const Audio& a, const Probe& probe, double half, int64_t inside, int64_t limit, int64_t step)
{
    const int64_t dir = limit < inside ? -1 : 1;
    const auto toward = [&](int64_t at, int64_t by) {
        return dir < 0 ? std::max(at - by, limit) : std::min(at + by, limit);
    };
    const int64_t coarse = probe.n / 8;
    int64_t at = inside;
    while (at != limit && probe.amplitude(a, toward(at, coarse)) >= half) at = toward(at, coarse);
    if (at == limit) return -1;
    double prev = probe.amplitude(a, at);
    for (;;) {
        const int64_t next = toward(at, step);
        const double amp = probe.amplitude(a, next);
        if (amp < half || next == limit) {
            const double share = prev > amp ? (prev - half) / (prev - amp) : 0.5;
            return double(at) + std::clamp(share, 0.0, 1.0) * double(next - at) + probe.n / 2.0;
        }
        prev = amp;
        at = next;
    }
}

// How far the level moves from the first third of the frames to the last, each third
// by its median so that a stray frame does not count: a held note swells or decays,
// while program sound over a tone only scatters its level.
double level_trend(const std::vector<double>& levels)
{
    const size_t third = levels.size() / 3;
    if (third == 0) return 0;
    const std::vector<double> head(levels.begin(), levels.begin() + third);
    const std::vector<double> tail(levels.end() - third, levels.end());
    return std::fabs(quantile(tail, 0.5) - quantile(head, 0.5));
}

// How far the level moves over the frames by the median of the slopes between every
// pair of frames (a robust straight line): a note's decay or swell moves it frame after
// frame, while program sound over a tone only lifts some frames, which the median of
// the slopes passes over.
// At most kSlopePoints frames, spread evenly, make the line: a long tone's pairs would
// otherwise grow with the square of its length.
double level_slope_change(const std::vector<double>& levels)
{
    const size_t stride = std::max<size_t>(1, (levels.size() + kSlopePoints - 1) / kSlopePoints);
    std::vector<double> slopes;
    for (size_t i = 0; i < levels.size(); i += stride)
        for (size_t j = i + stride; j < levels.size(); j += stride)
            slopes.push_back((levels[j] - levels[i]) / double(j - i));
    if (slopes.empty()) return 0;
    return std::fabs(quantile(slopes, 0.5)) * double(levels.size() - 1);
}

Tone tone_of(const Audio& a, const Frames& f, const Run& r, int64_t first, int64_t count)
{
    Tone t;
    t.found = true;
    t.resolution_hz = f.bin_hz();
    t.hz = quantile(r.hz, 0.5);
    t.above_floor_db = quantile(r.above, 0.5);
    t.drift_hz = quantile(r.hz, 0.9) - quantile(r.hz, 0.1);

    // The level frame by frame at the tone's own frequency, over the frames that lie
    // wholly on it: a held note swells or decays, a tone does not.
    const Probe probe(f.n, t.hz, a.rate);
    const int64_t lowest = first, highest = first + count - f.n;
    const int32_t mid = (r.from + r.to) / 2;
    const int64_t edge = f.n / f.hop;
    std::vector<double> levels;
    for (int64_t m = std::min<int64_t>(r.from + edge, mid); m <= std::max<int64_t>(r.to - 1 - edge, mid); ++m)
        levels.push_back(20 * std::log10(std::max(probe.amplitude(a, f.first + m * f.hop), 1e-12)));
    t.level_trend_db = level_trend(levels);
    t.level_slope_db = level_slope_change(levels);
    // The tone's own level and its spread, read where no louder sound lifts its bin.
    const double own = quantile(levels, kOwnQuantile) + kCoveredDb;
    std::vector<double> uncovered;
    for (const double l : levels)
        if (l <= own) uncovered.push_back(l);
    t.level_range_db = quantile(uncovered, 0.9) - quantile(uncovered, 0.1);
    t.level_dbfs = quantile(uncovered, 0.5);
    const double steady_amp = std::pow(10.0, t.level_dbfs / 20);

    const int64_t step = std::max(1, a.rate / 400);
    const int64_t start_inside = f.first + int64_t(std::min<int64_t>(r.from + edge, mid)) * f.hop;
    const int64_t end_inside = f.first + int64_t(std::max<int64_t>(r.to - 1 - edge, mid)) * f.hop;
    const double start = crossing(a, probe, steady_amp / 2, start_inside, lowest, step);
    const double end = crossing(a, probe, steady_amp / 2, end_inside, highest, step);
    t.from_region_start = start < 0;
    t.to_region_end = end < 0;
    t.first = t.from_region_start ? first : int64_t(std::lround(start));
    t.end = t.to_region_end ? first + count : int64_t(std::lround(end));
    return t;
}

// Whole multiples of `t` among the other tones join its family; multiples that hold a
// peak through most of its run without passing as tones themselves join it too.
void gather_harmonics(const Frames& f, const Run& run, Tone* t, std::vector<Tone>* others, std::vector<bool>* taken)
{
    const double nyquist = f.rate / 2.0;
    for (int32_t order = 2; order <= kHighestHarmonic && order * t->hz < 0.98 * nyquist; ++order) {
        const double hz = order * t->hz;
        const double reach = 1.5 * f.bin_hz() + order * t->drift_hz;
        Harmonic h;
        h.order = order;
        for (size_t i = 0; i < others->size(); ++i) {
            const Tone& u = (*others)[i];
            const bool overlap = std::min(u.end, t->end) - std::max(u.first, t->first) > (u.end - u.first) / 2;
            if ((*taken)[i] || &u == t || !overlap || std::fabs(u.hz - hz) > reach) continue;
            (*taken)[i] = true;
            h.hz = u.hz;
            h.level_dbfs = u.level_dbfs;
        }
        if (h.hz == 0) {
            std::vector<double> hzs, levels;
            const int32_t bin = int32_t(std::lround(hz / f.bin_hz()));
            for (int32_t m = run.from; m < run.to; ++m)
                if (const Peak* p = peak_near(f.peaks[m], bin, 1 + int32_t(reach / f.bin_hz()))) {
                    hzs.push_back(p->at * f.bin_hz());
                    levels.push_back(p->level_dbfs);
                }
            if (hzs.size() < kHarmonicPresent * (run.to - run.from)) continue;
            h.hz = quantile(hzs, 0.5);
            h.level_dbfs = quantile(levels, 0.5);
        }
        h.relative_db = h.level_dbfs - t->level_dbfs;
        t->harmonics.push_back(h);
    }
}

// A hum's fundamental can be weaker than its harmonics and fail the tone test while
// still holding a peak through most of their run: the run of the lowest such whole
// fraction of `r`'s frequency, or none.
bool fundamental_below(const Frames& f, const Run& r, Run* out)
{
    const double hz = quantile(r.hz, 0.5);
    for (int32_t k = kHighestHarmonic / 2; k >= 2; --k) {
        const int32_t bin = int32_t(std::lround(hz / k / f.bin_hz()));
        if (bin * f.bin_hz() < 20) continue;
        Run low;
        low.bin = bin;
        low.from = r.from;
        low.to = r.to;
        for (int32_t m = r.from; m < r.to; ++m)
            if (const Peak* p = peak_near(f.peaks[m], bin, 1)) {
                if (std::fabs(p->at * f.bin_hz() * k - hz) > 1.5 * f.bin_hz()) continue;
                low.hz.push_back(p->at * f.bin_hz());
                low.level.push_back(p->level_dbfs);
                low.above.push_back(p->above_floor);
            }
        // It must hold its frequency as any tone does; a glide under the harmonics is a
        // note's, not a hum's.
        const bool holds = quantile(low.hz, 0.9) - quantile(low.hz, 0.1) <= kDriftBins * f.bin_hz();
        if (low.hz.size() >= kHarmonicPresent * (r.to - r.from) && holds) {
            *out = low;
            return true;
        }
    }
    return false;
}

// Whether `a` and `b` could be one hum's partials: one lies within reach of a whole
// multiple of the other.
bool harmonic_pair(const Tone& a, const Tone& b, double bin_hz)
{
    const Tone& low = a.hz < b.hz ? a : b;
    const Tone& high = a.hz < b.hz ? b : a;
    const double order = std::round(high.hz / low.hz);
    return order >= 1 && std::fabs(high.hz - order * low.hz) <= 1.5 * bin_hz + order * low.drift_hz;
}

// The share of the `span` frames lying wholly before the start of `t` (`before`) or
// wholly after its end in which its frequency holds a peak, at any level; -1 when
// fewer than four frames lie there, too few to tell.
double track_share(const Frames& f, const Tone& t, bool before, int32_t span)
{
    const int32_t frames = int32_t(f.peaks.size());
    const int32_t bin = int32_t(std::lround(t.hz / f.bin_hz()));
    int32_t from = 0, to = 0;
    if (before) {
        to = int32_t(std::clamp<int64_t>((t.first - f.first - f.n) / f.hop + 1, 0, frames));
        from = std::max(0, to - span);
    } else {
        from = int32_t(std::clamp<int64_t>((t.end - f.first + f.hop - 1) / f.hop, 0, frames));
        to = std::min(frames, from + span);
    }
    if (to - from < 4) return -1;
    int32_t held = 0;
    for (int32_t m = from; m < to; ++m) held += peak_near(f.peaks[m], bin, 1, true) != nullptr;
    return double(held) / (to - from);
}

// A tone is switched on and off; a partial that only settles into a steady stretch was
// at that frequency, louder or softer, all along: its track goes on beyond the stretch.
bool track_goes_on(const Frames& f, const Tone& t, bool before, int32_t span)
{
    return track_share(f, t, before, span) >= kPresent;
}

// Whether another partial of the region, not of `t`'s own family, starts together with
// it: a chord's or a note's partials rise within a few tens of milliseconds of one
// another, while a tone mixed into program sound is switched independently of it. The
// other partial must be seen to start there, absent just before, not merely swell back
// over half its level.
bool starts_with_another(const Frames& f, const std::vector<Tone>& all, const Tone& t, int32_t span)
{
    if (t.from_region_start) return false;
    for (const Tone& u : all)
        if (&u != &t && !u.from_region_start && !harmonic_pair(t, u, t.resolution_hz) &&
            std::fabs(double(u.first - t.first)) <= kTogetherSeconds * f.rate) {
            const double share = track_share(f, u, true, span);
            if (share >= 0 && share < kPresent) return true;
        }
    return false;
}

// Louder sound over a tone can break its run in two; the two pieces then lie at one
// frequency and their extents meet (or nearly: within a block), and are one tone.
void join_pieces(const Frames& f, std::vector<Tone>* tones, std::vector<Run>* runs)
{
    for (size_t i = 0; i < tones->size(); ++i)
        for (size_t j = i + 1; j < tones->size(); ++j) {
            Tone& a = (*tones)[i];
            const Tone& b = (*tones)[j];
            const int64_t gap = std::max(a.first, b.first) - std::min(a.end, b.end);
            if (std::fabs(a.hz - b.hz) > f.bin_hz() || gap > f.n) continue;
            Run& ra = (*runs)[i];
            const Run& rb = (*runs)[j];
            if (b.above_floor_db > a.above_floor_db) {
                a.hz = b.hz;
                a.level_dbfs = b.level_dbfs;
                a.above_floor_db = b.above_floor_db;
            }
            a.drift_hz = std::max(a.drift_hz, b.drift_hz);
            a.level_range_db = std::max(a.level_range_db, b.level_range_db);
            if (b.first < a.first) {
                a.first = b.first;
                a.from_region_start = b.from_region_start;
            }
            if (b.end > a.end) {
                a.end = b.end;
                a.to_region_end = b.to_region_end;
            }
            ra.from = std::min(ra.from, rb.from);
            ra.to = std::max(ra.to, rb.to);
            ra.hz.insert(ra.hz.end(), rb.hz.begin(), rb.hz.end());
            tones->erase(tones->begin() + std::ptrdiff_t(j));
            runs->erase(runs->begin() + std::ptrdiff_t(j));
            j = i;  // the joined tone may now meet one passed over
        }
}

// Whether the tone's extent takes in a run at its frequency that failed to hold still
// at both looks. A tone holds still wherever it sounds, while a partial of program
// sound may settle for a while within a longer, unsteady life; a run that only the
// second look found steady is held to this, since its steadiness was seen so closely.
// (A tone the first look found may be broken by speech into pieces that fail both
// looks where the speech covers it, so it is not.)
bool unsteady_within(const Frames& f, const std::vector<Run>& unsteady, const Run& r, const Tone& t)
{
    for (const Run& u : unsteady) {
        if (std::abs(u.bin - r.bin) > 1) continue;
        const int64_t from = f.first + int64_t(u.from) * f.hop + f.n / 2;
        const int64_t to = f.first + int64_t(u.to - 1) * f.hop + f.n / 2;
        if (std::min(to, t.end) - std::max(from, t.first) > (to - from) / 2) return true;
    }
    return false;
}

} // namespace

int32_t analysis_length(int32_t rate)
{
    int32_t n = 256;
    while (rate / double(n) > kWidestBinHz) n *= 2;
    return n;
}

int64_t shortest_region(int32_t rate) { return analysis_length(rate) + int64_t(kShortestSeconds * rate); }

Detection detect_tones(const Audio& audio, int64_t first, int64_t count)
{
    Detection d;
    const Frames f = frame_peaks_over(audio, first, count);
    d.resolution_hz = f.bin_hz();
    const int32_t bins = f.n / 2 + 1;
    const int32_t shortest = std::max(4, int32_t(kShortestSeconds * f.rate / f.hop));

    std::vector<int32_t> hits(size_t(bins), 0);
    for (const std::vector<Peak>& frame : f.peaks)
        for (const Peak& p : frame) hits[p.bin] += p.level_dbfs >= kQuietestDbfs;

    std::vector<Run> runs, failed;
    for (int32_t b = 1; b + 1 < bins; ++b) {
        if (hits[b - 1] + hits[b] + hits[b + 1] < shortest) continue;
        if (hits[b] < hits[b - 1] || hits[b] < hits[b + 1] || hits[b] == 0) continue;
        for (Run& r : runs_at(f, b, shortest)) {
            if (steady(f, &r)) runs.push_back(r);
            else if (quantile(r.above, 0.5) >= kToneDb) failed.push_back(r);
        }
    }
    second_look(audio, f, first, count, &failed, &runs);

    // A tone between two bins can pass at both; the runs then overlap, and the more
    // prominent one stands for it.
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return quantile(a.above, 0.5) > quantile(b.above, 0.5); });
    std::vector<Run> kept;
    for (const Run& r : runs) {
        bool twin = false;
        for (const Run& k : kept)
            twin = twin || (std::abs(k.bin - r.bin) <= 2 && std::min(k.to, r.to) > std::max(k.from, r.from));
        if (!twin) kept.push_back(r);
    }

    for (size_t i = 0, found = kept.size(); i < found; ++i) {
        Run low;
        if (!fundamental_below(f, kept[i], &low)) continue;
        bool known = false;
        for (const Run& k : kept)
            known = known || (std::abs(k.bin - low.bin) <= 2 && std::min(k.to, low.to) > std::max(k.from, low.from));
        low.harmonic = int32_t(i);
        if (!known) kept.push_back(low);
    }

    std::vector<Tone> candidates;
    for (const Run& r : kept) candidates.push_back(tone_of(audio, f, r, first, count));
    std::vector<Tone> tones;
    std::vector<Run> runs_of_tones;
    std::vector<bool> taken_up(kept.size(), false);
    for (size_t i = 0; i < kept.size(); ++i) {
        const Run& r = kept[i];
        const Tone& t = candidates[i];
        // A fundamental stands on the harmonic it was found under, and falls with it.
        if (r.harmonic >= 0 && !taken_up[size_t(r.harmonic)]) continue;
        // A held note's level scatters and moves as a whole; program sound over a
        // tone scatters its level without moving it.
        if (t.level_range_db > kToneLevelRangeDb) continue;
        if (t.level_range_db > kHeldRangeDb && t.level_trend_db > kHeldTrendDb) continue;
        if (t.level_slope_db > kHeldSlopeDb) continue;
        // A steady stretch in the middle of a partial that goes on at its frequency on
        // both sides is a piece of program sound, not a tone switched on and off.
        if (!t.from_region_start && !t.to_region_end && track_goes_on(f, t, true, shortest) &&
            track_goes_on(f, t, false, shortest))
            continue;
        if (starts_with_another(f, candidates, t, shortest)) continue;
        if (r.second_look && unsteady_within(f, failed, r, t)) continue;
        tones.push_back(t);
        runs_of_tones.push_back(r);
        taken_up[i] = true;
    }
    join_pieces(f, &tones, &runs_of_tones);

    // Families from the lowest tone up, so a hum's fundamental gathers its harmonics.
    std::vector<size_t> order(tones.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return tones[a].hz < tones[b].hz; });
    std::vector<bool> taken(tones.size(), false);
    for (const size_t i : order)
        if (!taken[i]) gather_harmonics(f, runs_of_tones[i], &tones[i], &tones, &taken);
    for (size_t i = 0; i < tones.size(); ++i)
        if (!taken[i]) d.tones.push_back(tones[i]);
    return d;
}

Tone detect_tone(const Audio& audio, int64_t first, int64_t count)
{
    const Detection d = detect_tones(audio, first, count);
    if (d.tones.empty()) {
        Tone none;
        none.resolution_hz = d.resolution_hz;
        return none;
    }
    return d.tones.front();
}
