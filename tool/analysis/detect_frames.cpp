#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"

namespace detection {
namespace {

// Room for to_db's rounding where a peak's power is tested before its levels are taken
// (the levels then decide): against the floor, and against its lobe's other bins.
constexpr double kFloorSlack = 0.99;
constexpr double kTopSlack = 0.999;
// The floor changes slowly across bins: it is taken every few bins and held between.
constexpr int32_t kFloorEveryBins = 4;
// A sine one 16-bit step high: nothing quieter is sound.
constexpr double kSilentDbfs = -90.3;
// A run may miss a frame or two in a row (half a block) where louder sound breaks it.
constexpr int32_t kGapFrames = kHopsPerBlock / 2;
// Frames whose median level stands for each side of a level step (three: a median).
constexpr int32_t kSwitchFrames = 3;
// Of the readings beside a stretch parted from a run: the share that must lie under its
// level (the rest may be the program's stray louder frames, as spread() passes over a
// tenth at each end).
constexpr double kBesideQuantile = 0.9;

// The power ratio of a level difference in dB.
double power_ratio_of(double db) { return std::pow(10.0, db / 10); }

// The floor under each bin, as a power: a low quantile of the powers around it, taken
// every few bins (it changes slowly) and held in between. The quantile is one of the
// powers, and to_db keeps their order, so its level is the same quantile of the bins'
// levels. It is taken only for the groups of bins that hold a bin topping its lobe: only
// a peak is held to its floor, and many groups hold none.
struct LocalFloor {
    const DetectParams& p;
    const std::vector<double>& power;
    int32_t group = -1, size = -1, rank = 0;  // the rank is asked again only where the window's size changes
    double f;

    LocalFloor(const DetectParams& params, const std::vector<double>& powers) : p(params), power(powers), f(powers[0])
    {}

    double at(int32_t bin)
    {
        const int32_t bins = int32_t(power.size()), b = bin / kFloorEveryBins * kFloorEveryBins;
        if (b == group) return f;
        const int32_t lo = std::max(0, b - kFloorHalfWidthBins), hi = std::min(bins, b + kFloorHalfWidthBins + 1);
        if (hi - lo != size) size = hi - lo, rank = int32_t(quantile_rank(size_t(size), p.floor_quantile));
        // The floor before is the guess: the nearer it was taken, the shorter the walk.
        f = kth_smallest(power.data() + lo, size, rank, f);
        group = b;
        return f;
    }
};

std::vector<Peak> frame_peaks(const DetectParams& p, const std::vector<double>& power, int32_t rate, int32_t n)
{
    LocalFloor floor(p, power);
    const double bin_hz = double(rate) / n;
    const int32_t lo = std::max(2, int32_t(std::ceil(kLowestHz / bin_hz)));
    const int32_t hi = std::min(int32_t(power.size()) - 1 - 2, int32_t(kHighestShare * rate / 2 / bin_hz));
    // Levels are taken only for bins whose powers pass what the tests on levels need
    // (to stand peak_db(p) over the floor, and to top the lobe but by rounding), with room
    // for the rounding of to_db; the tests then decide on the levels themselves.
    const double least = peak_db(p);
    const double over_floor = kFloorSlack * power_ratio_of(least);
    std::vector<double> lobe_db(kLobeBins);
    std::vector<Peak> peaks;
    // The floor is held over a few bins: its level is taken once for each value.
    double floor_power = -1, floor_db = 0;
    for (int32_t b = lo; b <= hi; ++b) {
        const auto under = [&](int32_t k) { return kTopSlack * power[k] > power[b]; };
        if (!(power[b] > power[b - 1]) || under(b + 1) || under(b - 2) || under(b + 2)) continue;
        const double floor_here = floor.at(b);
        if (power[b] < over_floor * floor_here) continue;
        for (int32_t k = 0; k < kLobeBins; ++k) lobe_db[k] = to_db(power[b - 2 + k]);
        if (!tops_lobe(lobe_db, 2)) continue;
        if (floor_here != floor_power) floor_power = floor_here, floor_db = to_db(floor_power);
        const double above = lobe_db[2] - floor_db;
        if (above < least) continue;
        const double level = to_db(2 * lobe_power(power, b));
        if (level < kSilentDbfs) continue;
        peaks.push_back(
            Peak{b, float(refine_peak_db(b, lobe_db[1], lobe_db[2], lobe_db[3])), float(level), float(above)});
    }
    return peaks;
}

} // namespace

// A bin's power in a Hann frame of noise is exponential about its mean: it exceeds t
// times the mean with probability exp(-t), and the floor, the floor_quantile of such
// powers, lies at -ln(1 - floor_quantile) times the mean.
double peak_db(const DetectParams& p)
{
    return 10 * std::log10(std::log(p.peak_false_alarm) / std::log(1 - p.floor_quantile));
}

double amplitude_of(double dbfs) { return std::pow(10.0, dbfs / 20); }

bool tops_lobe(const std::vector<double>& v, int32_t b)
{
    return b >= 2 && b + 2 < int32_t(v.size()) && v[b] > v[b - 1] && v[b] >= v[b + 1] && v[b] >= v[b - 2] &&
           v[b] >= v[b + 2];
}

double lobe_power(const std::vector<double>& power, int32_t b)
{
    return power[b - 2] + power[b - 1] + power[b] + power[b + 1] + power[b + 2];
}

int64_t frame_centre(const Frames& f, int32_t frame) { return f.first + int64_t(frame) * f.hop + f.n / 2; }

Dropped dropped_run(DropStage stage, const Frames& f, const Run& r, double hz, const Verdict& v)
{
    return Dropped{stage,    v.reason, hz,        frame_centre(f, r.from), frame_centre(f, r.to - 1),
                   v.figure, v.limit,  v.other_hz};
}

Frames frame_peaks_over(const DetectParams& p, const Audio& audio, int64_t first, int64_t count)
{
    Frames f;
    f.rate = audio.rate;
    f.n = analysis_length(audio.rate);
    f.hop = f.n / kHopsPerBlock;
    f.first = first;
    f.words = (f.n / 2 + 1 + kWordBits - 1) / kWordBits;
    std::vector<int64_t> starts;
    for (int64_t at = first; at + f.n <= first + count; at += f.hop) starts.push_back(at);
    BlockSeries spectra(f.n, audio.samples.data(), audio.channels, starts);
    for (size_t m = 0; m < starts.size(); ++m) {
        f.peaks.push_back(frame_peaks(p, spectra.next(), f.rate, f.n));
        f.audible.resize(f.audible.size() + size_t(f.words), 0);
        uint64_t* w = f.audible.data() + f.audible.size() - size_t(f.words);
        for (const Peak& k : f.peaks.back())
            if (k.level_dbfs >= p.quietest_dbfs) w[k.bin / kWordBits] |= uint64_t(1) << (k.bin % kWordBits);
    }
    return f;
}

const Peak* peak_near(const DetectParams& params, const std::vector<Peak>& peaks, int32_t bin, int32_t reach, bool any_level)
{
    // A frame's peaks lie in order of bin, so only those within reach are looked at:
    // a long region's runs ask each frame about every bin that holds peaks.
    const auto from = std::lower_bound(peaks.begin(), peaks.end(), bin - reach,
                                       [](const Peak& p, int32_t b) { return p.bin < b; });
    const Peak* best = nullptr;
    for (auto p = from; p != peaks.end() && p->bin <= bin + reach; ++p)
        if ((any_level || p->level_dbfs >= params.quietest_dbfs) && (!best || p->above_floor > best->above_floor))
            best = &*p;
    return best;
}

namespace {

// Where within frames [from, to) a sound at `bin` is switched on and off over quieter
// sound that holds the same bin before or after it (program sound a tone was mixed
// over, which its run took in): `on` is the last frame after which the level stands
// tone_db over everything before, `off` the first frame from which everything stays
// tone_db under the few frames before it. Each stays at its end of the run when
// there is no such step.
struct Switched {
    int32_t on = 0, off = 0;
    bool under_louder = false;  // parted at `on` from a louder sound that died away into it
};

std::vector<double> part(const std::vector<double>& v, int32_t from, int32_t to)
{
    return std::vector<double>(v.begin() + from, v.begin() + to);
}

// Whether the readings [i, n) hold as a tone with nothing over it does: within half of
// steady_hz and within covered_db, moving no more than held_move_db along a line.
bool holds_from(const DetectParams& p, const std::vector<double>& level, const std::vector<double>& hz, int32_t i,
                int32_t n)
{
    return spread(part(hz, i, n)) <= p.steady_hz / 2 && spread(part(level, i, n)) <= p.covered_db &&
           level_slope_change(part(level, i, n)) <= p.held_move_db;
}

// Where a sound that holds its frequency and level begins after another sound at its
// bin that ran into it with no step in level (a note at a tone's loudness, a Hz or so
// off its frequency, dying away as the tone starts): the first reading from which those
// up to the `n`th hold within half of steady_hz and within covered_db (nothing over
// them), moving no more than held_move_db along a line (a note's tail decays on), while
// those before, all of them and the last few, lie off their frequency (and the last few
// off the first few of them) by over half of steady_hz, the middle half of them within
// steady_hz: a note holds its own pitch, where a tone's frequency under program sound
// scatters, and a glide reaches the frequency it ends on by small steps. At one
// frequency the readings before are the same sound, whose tail may settle for a while
// (unless it is louder and the tail is seen switched off: held_under_louder). 0 where
// there is none. A sound's end is not parted so: a note's tail fading under the floor
// jitters off the frequency it held.
int32_t held_after_other(const DetectParams& p, const std::vector<double>& level, const std::vector<double>& hz,
                         int32_t n)
{
    const int32_t near = kSwitchFrames;
    for (int32_t i = near; i + near <= n; ++i) {
        // The few readings on either side differ first: most stretches hold one sound
        // throughout, and this asks a few readings where the rest asks them all.
        if (std::fabs(median(part(hz, i - near, i)) - median(part(hz, i, i + near))) <= p.steady_hz / 2) continue;
        const double held_hz = median(part(hz, i, n));
        const auto off = [&](int32_t first) {
            return std::fabs(median(part(hz, first, i)) - held_hz) > p.steady_hz / 2;
        };
        if (!off(i - near) || !off(0) || middle_spread(part(hz, 0, i)) > p.steady_hz) continue;
        if (holds_from(p, level, hz, i, n)) return i;
    }
    return 0;
}

// Where a sound that holds its frequency and level begins under a louder sound at its
// bin that dies away into it (a chime's note, at its frequency or a few Hz off, decaying
// until the tone is all that is left): the first reading from which those up to the
// `n`th hold (holds_from), the readings before it lying, by their median, more than
// covered_db over theirs. A tone holds its level, so that louder sound was another's,
// and the tone outlasts its decay. Since the louder sound hides where the tone was
// switched on, it must be seen switched off where its readings end: the level there
// next (`after_db`: -inf for none, +inf where it is not seen) lies tone_db under theirs,
// where a note's tail that settles for a while fades away. At the region's end, where
// that is not seen, the louder sound must lie off its frequency by over half of
// steady_hz instead: a note rings on at its own pitch, a tone under it is another's.
// 0 where there is none.
int32_t held_under_louder(const DetectParams& p, const std::vector<double>& level, const std::vector<double>& hz,
                          int32_t n, double after_db)
{
    const int32_t near = kSwitchFrames;
    // Sums of the readings, so that each reading is first asked cheaply whether the few
    // from it lie near the mean of all from it on and those before lie over them, as a
    // stretch that holds after a louder sound must; most readings are asked no more.
    std::vector<double> level_sum(size_t(n) + 1, 0), hz_sum(size_t(n) + 1, 0);
    for (int32_t i = 0; i < n; ++i) level_sum[i + 1] = level_sum[i] + level[i], hz_sum[i + 1] = hz_sum[i] + hz[i];
    const auto mean = [](const std::vector<double>& sum, int32_t from, int32_t to) {
        return (sum[size_t(to)] - sum[size_t(from)]) / (to - from);
    };
    for (int32_t i = near; i + near <= n; ++i) {
        const double held = mean(level_sum, i, n);
        if (mean(level_sum, 0, i) <= held + p.covered_db ||
            std::fabs(median(part(level, i, i + near)) - held) > p.covered_db ||
            std::fabs(median(part(hz, i, i + near)) - mean(hz_sum, i, n)) > p.steady_hz / 2)
            continue;
        const double own = median(part(level, i, n));
        const bool other_pitch = std::fabs(median(part(hz, 0, i)) - median(part(hz, i, n))) > p.steady_hz / 2;
        const bool switched_off = after_db <= own - p.tone_db || (after_db == HUGE_VAL && other_pitch);
        if (median(part(level, 0, i)) > own + p.covered_db && switched_off && holds_from(p, level, hz, i, n)) return i;
    }
    return 0;
}

Switched switch_points(const DetectParams& p, const Frames& f, int32_t bin, int32_t from, int32_t to, int32_t shortest)
{
    std::vector<int32_t> at;
    std::vector<double> level, hz;
    for (int32_t m = from; m < to; ++m)
        if (const Peak* peak = peak_near(p, f.peaks[m], bin, 1)) {
            at.push_back(m);
            level.push_back(peak->level_dbfs);
            hz.push_back(peak->at * f.bin_hz());
        }
    const int32_t n = int32_t(level.size()), near = kSwitchFrames;
    Switched s{from, to};
    if (n < 2 * near) return s;
    // The loudest level before each reading and from each reading on.
    std::vector<double> before(size_t(n) + 1, -HUGE_VAL), after(size_t(n) + 1, -HUGE_VAL);
    for (int32_t i = 0; i < n; ++i) before[i + 1] = std::max(before[i], level[i]);
    for (int32_t i = n - 1; i >= 0; --i) after[i] = std::max(after[i + 1], level[i]);
    for (int32_t i = near; i + near <= n; ++i) {
        const double head = median(std::vector<double>(level.begin() + i, level.begin() + i + near));
        const double tail = median(std::vector<double>(level.begin() + i - near, level.begin() + i));
        if (head - before[i] >= p.tone_db) s.on = at[i];
        if (s.off == to && tail - after[i] >= p.tone_db) s.off = at[i];
    }
    if (s.on == from) {
        const int32_t held_to = int32_t(std::lower_bound(at.begin(), at.end(), s.off) - at.begin());
        int32_t i = held_after_other(p, level, hz, held_to);
        if (i == 0) {
            // Past a step down nothing of it is left; past the run, the frame after it
            // reads its level (at any level); at the region's end its switching off is
            // not seen.
            double after_db = HUGE_VAL;
            if (s.off < to) {
                after_db = -HUGE_VAL;
            } else if (to < int32_t(f.peaks.size())) {
                const Peak* next = peak_near(p, f.peaks[to], bin, 1, true);
                after_db = next ? next->level_dbfs : -HUGE_VAL;
            }
            i = held_under_louder(p, level, hz, held_to, after_db);
            s.under_louder = i > 0;
        }
        // A part too short for a run of its own would leave the sound no run at all.
        if (i > 0 && s.off - at[i] >= shortest) s.on = at[i];
        else s.under_louder = false;
    }
    // Only a sound that holds its level between the steps is parted so: a struck
    // note's attack over the tail of the one before is a step too, but the note then
    // decays, and belongs with the sound around it.
    std::vector<double> between;
    for (int32_t i = 0; i < n; ++i)
        if (at[i] >= s.on && at[i] < s.off) between.push_back(level[i]);
    if (s.on >= s.off || spread(between) > p.level_range_db) s = Switched{from, to};
    return s;
}

} // namespace

std::vector<Run> runs_at(const DetectParams& p, const Frames& f, int32_t bin, int32_t shortest)
{
    std::vector<Run> runs;
    const int32_t frames = int32_t(f.peaks.size());
    const auto keep = [&](int32_t from, int32_t to, bool after_louder = false) {
        int32_t held = 0;
        for (int32_t m = from; m < to; ++m) held += f.audible_near(m, bin);
        if (to - from < shortest || held < p.present_share * (to - from)) return;
        Run r;
        r.bin = bin;
        r.from = from;
        r.to = to;
        r.after_louder = after_louder;
        runs.push_back(r);
    };
    int32_t m = 0;
    while (m < frames) {
        if (!f.audible_near(m, bin)) {
            ++m;
            continue;
        }
        const int32_t from = m;
        int32_t last = m;
        for (; m < frames && m - last <= kGapFrames; ++m)
            if (f.audible_near(m, bin)) last = m;
        m = last + 1;
        // A stretch too short for a run holds no run however it is parted, and parting
        // it reads every frame's peaks.
        if (m - from < shortest) continue;
        const Switched at = switch_points(p, f, bin, from, m, shortest);
        keep(from, at.on);
        keep(at.on, at.off, at.under_louder);
        keep(at.off, m);
    }
    return runs;
}

Run part_of(const DetectParams& p, const Frames& f, const Run& r, int32_t shortest)
{
    const Readings x = readings_of(p, f, r);
    const int32_t n = int32_t(x.frame.size()), near = kSwitchFrames;
    const auto middle = [&](const std::vector<double>& v, int32_t from, int32_t to) {
        return median(std::vector<double>(v.begin() + from, v.begin() + to));
    };
    // How far the readings step at each reading, from the medians of the few before it
    // to those of the few from it on: in level, against tone_db, and in frequency,
    // against half a bin.
    std::vector<double> step(size_t(n), 0);
    for (int32_t i = near; i + near <= n; ++i) {
        const double level = std::fabs(middle(x.level, i, i + near) - middle(x.level, i - near, i)) / p.tone_db;
        const double hz = std::fabs(middle(x.hz, i, i + near) - middle(x.hz, i - near, i)) / (f.bin_hz() / 2);
        step[size_t(i)] = std::max(level, hz);
    }
    // One step reads over the few readings on either side: it parts the run where it is
    // steepest.
    std::vector<int32_t> at{0};
    for (int32_t i = near; i + near <= n; ++i) {
        const auto around = step.begin() + std::max(0, i - near), past = step.begin() + std::min(n, i + near + 1);
        if (step[size_t(i)] >= 1 && step[size_t(i)] == *std::max_element(around, past)) at.push_back(i);
    }
    at.push_back(n);
    // The longest stretch between two steps (or an end) beside which the readings lie
    // under its own level by more than a steady sound's level spreads: they are not the
    // tone's. Its readings as quiet at its ends are the quieter sound's too.
    Run part;
    for (size_t a = 0; a < at.size(); ++a)
        for (size_t b = a + 1; b < at.size(); ++b) {
            if (a == 0 && b + 1 == at.size()) continue;
            const double own = own_level(p, std::vector<double>(x.level.begin() + at[a], x.level.begin() + at[b]));
            const auto quieter = [&](int32_t i, int32_t j) {
                return i == j || quantile(std::vector<double>(x.level.begin() + i, x.level.begin() + j),
                                          kBesideQuantile) < own - p.level_range_db;
            };
            if (!quieter(0, at[a]) || !quieter(at[b], n)) continue;
            int32_t first = at[a], last = at[b];
            while (first < last && x.level[size_t(first)] < own - p.level_range_db) ++first;
            while (last > first && x.level[size_t(last - 1)] < own - p.level_range_db) --last;
            if (first == last) continue;
            const int32_t from = first ? x.frame[size_t(first)] : r.from;
            const int32_t to = last < n ? x.frame[size_t(last - 1)] + 1 : r.to;
            if (to - from < shortest || to - from <= part.to - part.from) continue;
            int32_t held = 0;
            for (int32_t m = from; m < to; ++m) held += f.audible_near(m, r.bin);
            if (held < p.present_share * (to - from)) continue;
            part.bin = r.bin;
            part.from = from;
            part.to = to;
        }
    return part;
}

namespace {

// The bins worth following: those holding a peak, loud enough to hear, in enough
// frames (with their neighbours) to make a run, and at least as often as either
// neighbour.
std::vector<int32_t> busy_bins(const DetectParams& p, const Frames& f, int32_t shortest)
{
    const int32_t bins = f.n / 2 + 1;
    std::vector<int32_t> hits(size_t(bins), 0);
    for (const std::vector<Peak>& frame : f.peaks)
        for (const Peak& peak : frame) hits[peak.bin] += peak.level_dbfs >= p.quietest_dbfs;
    std::vector<int32_t> busy;
    for (int32_t b = 1; b + 1 < bins; ++b) {
        if (hits[b - 1] + hits[b] + hits[b + 1] < shortest) continue;
        if (hits[b] < hits[b - 1] || hits[b] < hits[b + 1] || hits[b] == 0) continue;
        busy.push_back(b);
    }
    return busy;
}

}  // namespace

std::vector<Run> runs_over(const Context& c)
{
    std::vector<Run> runs;
    for (const int32_t b : busy_bins(c.p, c.f, c.shortest))
        for (Run& r : runs_at(c.p, c.f, b, c.shortest)) runs.push_back(std::move(r));
    return runs;
}

} // namespace detection
