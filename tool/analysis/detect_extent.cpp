#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"

namespace detection {
namespace {

// Walking to a crossing: after the coarse steps, fine steps a second (2.5 ms, well under
// the 1/15 s an extent is held to).
constexpr int32_t kCrossingStepsPerSecond = 400;
// The level's trend is its first third against its last; a robust line through it is
// made of at most this many frames (its pairs grow with the square).
constexpr int32_t kTrendParts = 3;
constexpr int32_t kSlopePoints = 200;
// A drifting tone's probe follows it, moved on whenever it falls this share of a bin
// behind (the level then reads at most a few hundredths of a dB low).
constexpr double kFollowBins = 0.125;

// A walk's step from block start `at` by `by` frames towards `to`, stopping there.
int64_t step_toward(int64_t at, int64_t to, int64_t by)
{
    return to < at ? std::max(at - by, to) : std::min(at + by, to);
}

// Where the tone's amplitude crosses half its steady value, walking from `inside`
// towards `limit` (both block starts), in coarse steps and then in `step`s over the
// last coarse one; the block's centre at that crossing is where the tone starts or
// stops, since a symmetric window sees half its weight on the tone exactly then.
// Returns -1 when the tone holds up to the limit. The walk stops as well where the
// amplitude reaches `louder` (another sound over the tone), and the tone is taken to
// start or stop there.
double crossing(const Audio& a, const Probe& probe, double half, int64_t inside, int64_t limit, int64_t step,
                double louder = HUGE_VAL)
{
    const auto within = [&](double amp) { return amp >= half && amp < louder; };
    const int64_t coarse = probe.n / kCrossingStepsPerBlock;
    int64_t at = inside;
    while (at != limit && within(probe.amplitude(a, step_toward(at, limit, coarse))))
        at = step_toward(at, limit, coarse);
    if (at == limit) return -1;
    double prev = probe.amplitude(a, at);
    for (;;) {
        const int64_t next = step_toward(at, limit, step);
        const double amp = probe.amplitude(a, next);
        if (amp >= louder) return double(at) + probe.n / 2.0;
        if (amp < half || next == limit) {
            const double share = prev > amp ? (prev - half) / (prev - amp) : 1.0 / 2;
            return double(at) + std::clamp(share, 0.0, 1.0) * double(next - at) + probe.n / 2.0;
        }
        prev = amp;
        at = next;
    }
}

// A run may reach on past the tone into program sound that holds a peak at its bin
// though quieter (a chant going on at a hum's frequency after the hum stops): the walk
// to the crossing then starts where the tone no longer sounds. So it starts instead from
// the first block, in coarse steps from `inside` towards `middle`, whose amplitude
// reaches half the tone's.
int64_t within_tone(const Audio& a, const Probe& probe, double half, int64_t inside, int64_t middle)
{
    const int64_t coarse = probe.n / kCrossingStepsPerBlock;
    while (inside != middle && probe.amplitude(a, inside) < half) inside = step_toward(inside, middle, coarse);
    return inside;
}

// A block's centre comes no nearer the region's edge than half a block, so a tone
// switched on (or off) within that of the edge reads as sounding from it. Where the walk
// reaches the edge still over half, probes each half as long as the one before, down to
// kSmallestBlock, come nearer: the first whose block at the edge hears less than half of
// the tone walks from where the long block's centre stood to the crossing. None does for
// a tone that sounds from the edge itself; returns -1 then. `limit` is the long block's
// start nearest the edge. A shorter probe is heard only while it still tells the tone
// from what sounds around it: its bin no wider than half the tone's frequency (so a
// hum's neighbouring harmonics stay out), and it hears the tone within kEdgeProbeDb of
// the same level (so the band's noise, which a shorter probe takes in more of, does not
// pass for the tone's switching off) at the long block's centre or in its half away
// from the edge: the centre may lie within a short block of the tone's switching, and
// that half, which lies on the tone wherever the long block heard it over half, may
// lie under a word.
double crossing_near_edge(const Audio& a, double hz, double half, int64_t limit, bool start_side, int32_t n,
                          int64_t step)
{
    constexpr double kEdgeProbeDb = 3;
    const double least = 4.0 * a.rate / hz;
    for (int32_t m = n / 2; m >= kSmallestBlock && m >= least; m /= 2) {
        const Probe shorter(m, hz, a.rate);
        const int64_t inside = limit + (n - m) / 2, edge = start_side ? limit : limit + n - m;
        const auto hears_tone = [&](int64_t at) {
            return std::fabs(20 * std::log10(shorter.amplitude(a, at) / (2 * half))) <= kEdgeProbeDb;
        };
        if (!hears_tone(inside) && !hears_tone(start_side ? limit + n - m : limit)) return -1;
        if (shorter.amplitude(a, edge) >= half) continue;
        return crossing(a, shorter, half, inside, edge, step);
    }
    return -1;
}

// A beating pair's level sinks under half its own at every null, though the pair sounds
// on past it, and a pair switched on or off a little before or after a null leaves a
// swell there too short to make a run of its own. So from a crossing at `edge` (a
// block's centre) the walk goes on in coarse steps towards `limit` (the region's last
// block start on that side, `other` the one on the other side), from a block inside the
// crossing (or the extent's middle), while the level stays under `half`, for no longer
// than `longest` frames (the extent read so far: a null is shorter than the swells
// beside it). Where it rises over half again, the swell beyond is the pair's, and its
// crossing stands, when
// - the level changes no faster than two tones `widest_beat_hz` apart can move one
//   that swells to `swell` (a switch's edge, a note's attack are sudden);
// - the dip is a beat's null, a V whose arms the beat's rates make: the level lies under
//   a quarter of `half` for less than half the time it lies under half (the block
//   rounds its bottom, where a gap between a switch and other sound lies at the
//   program's level for most of it);
// - the swell beyond holds over half for a quarter of a block or more (less is a click
//   or a note's blip, which tells nothing of the pair), and falls under half again
//   within `shortest` frames (a longer one made a run, and the pieces are joined or
//   not on their own).
// Returns `edge` where no such swell follows, and -1 where one reaches the limit.
double past_null(const Audio& a, const Probe& probe, double half, double swell, double edge, int64_t limit,
                 int64_t other, int64_t longest, int64_t shortest, int64_t step, double widest_beat_hz)
{
    const int64_t coarse = probe.n / kCrossingStepsPerBlock;
    const double fastest = M_PI * widest_beat_hz * swell * double(coarse) / a.rate;
    const int64_t dir = limit < other ? -1 : 1;
    const int64_t from =
        std::clamp<int64_t>(std::llround(edge - probe.n / 2.0), std::min(limit, other), std::max(limit, other));
    int64_t at = std::clamp<int64_t>(from - dir * std::min<int64_t>(probe.n, longest / 2), std::min(limit, other),
                                     std::max(limit, other));
    double prev = probe.amplitude(a, at);
    int32_t under = 0, bottom = 0;
    bool again = false;
    while (!again && dir * (at - from) < longest && at != limit) {
        at = step_toward(at, limit, coarse);
        const double amp = probe.amplitude(a, at);
        if (std::fabs(amp - prev) > fastest) return edge;
        prev = amp;
        if (dir * (at - from) <= 0) continue;
        again = amp >= half;
        under += !again;
        bottom += amp < half / 4;
    }
    if (!again || 2 * bottom >= under) return edge;
    const double beyond = crossing(a, probe, half, at, limit, step);
    const double reach = std::fabs((beyond < 0 ? double(limit) : beyond - probe.n / 2.0) - double(at));
    if (reach < probe.n / 4.0 || reach >= double(shortest)) return edge;
    return beyond;
}

// How far the level moves from the first part of the frames (a third) to the last, each
// part by its median so that a stray frame does not count: a held note swells or
// decays, while program sound over a tone only scatters its level.
double level_trend(const std::vector<double>& levels)
{
    const size_t part = levels.size() / size_t(kTrendParts);
    if (part == 0) return 0;
    const std::vector<double> head(levels.begin(), levels.begin() + part);
    const std::vector<double> tail(levels.end() - part, levels.end());
    return std::fabs(median(tail) - median(head));
}

// Where a tone's run reaches into program sound at its frequency before the tone is
// switched on or after it is switched off (a note before it, a partial going on after
// it), the program's level there scatters the tone's. The tone sounds where its level
// stays at half its amplitude or over: the longest stretch of `levels` that does,
// [*from, *to). Only a side where the level beyond the stretch rises again, by more than
// a steady sound's level spreads, from where it sank, is cut off: there another sound
// follows a gap, where a note's own tail only sinks on, and stays with it.
void sounding_stretch(const DetectParams& p, const std::vector<double>& levels, double level_dbfs, size_t* from,
                      size_t* to)
{
    const double half = level_dbfs - to_db(4);
    size_t a = 0, b = 0;
    for (size_t i = 0, start = 0; i <= levels.size(); ++i) {
        if (i < levels.size() && levels[i] >= half) continue;
        if (i - start > b - a) a = start, b = i;
        start = i + 1;
    }
    const auto rises_again = [&](auto first, auto last) {
        double lowest = HUGE_VAL;
        for (auto l = first; l != last; ++l) {
            if (*l > lowest + p.level_range_db) return true;
            lowest = std::min(lowest, *l);
        }
        return false;
    };
    *from = rises_again(levels.rbegin() + std::ptrdiff_t(levels.size() - a), levels.rend()) ? a : 0;
    *to = rises_again(levels.begin() + std::ptrdiff_t(b), levels.end()) ? b : levels.size();
}

}  // namespace

// How far the level moves over the frames by the median of the slopes between every
// pair of frames (a robust straight line): a note's decay or swell moves it frame after
// frame, while program sound over a tone only lifts some frames, which the median of
// the slopes passes over.
// At most kSlopePoints frames, spread evenly, make the line: a long tone's pairs would
// otherwise grow with the square of its length.
double level_slope_change(const std::vector<double>& levels)
{
    const size_t points = size_t(kSlopePoints);
    const size_t stride = std::max<size_t>(1, (levels.size() + points - 1) / points);
    std::vector<double> slopes;
    for (size_t i = 0; i < levels.size(); i += stride)
        for (size_t j = i + stride; j < levels.size(); j += stride)
            slopes.push_back((levels[j] - levels[i]) / double(j - i));
    if (slopes.empty()) return 0;
    return std::fabs(median(slopes)) * double(levels.size() - 1);
}

// Two tones a fraction of a Hz apart beat, their sum's level falling towards nothing
// and rising back, while a held note's level moves one way. A note struck again dips
// and rises too, but its attack is sudden, while the amplitude of two tones beating
// `widest_beat_hz` apart or closer changes by at most pi times that, times its peak, a
// second. The levels are smoothed over a block's frames (the block sees no narrower
// dip), so a frame of other sound over the tone neither makes a dip nor fills one.
// Every dip is asked, not only the lowest level: the levels may take in quieter sound
// before or after the tone (beat_around's), whose lowest point lies outside the pair.
// 0 when no dip lies between two higher levels, or the level moves faster than a beat.
double beat_depth(const std::vector<double>& levels, int32_t block_frames, double hop_seconds, double widest_beat_hz,
                  double peaks_apart_db)
{
    const int32_t n = int32_t(levels.size()), h = block_frames / 2;
    std::vector<double> smooth;
    for (int32_t i = 0; i < n; ++i)
        smooth.push_back(median(std::vector<double>(levels.begin() + std::max(0, i - h),
                                                    levels.begin() + std::min(n, i + h + 1))));
    double deepest = 0;
    for (auto low = smooth.begin(); low != smooth.end(); ++low) {
        if ((low != smooth.begin() && low[-1] <= *low) || (low + 1 != smooth.end() && low[1] < *low)) continue;
        const auto before = std::max_element(smooth.begin(), low + 1);
        const auto after = std::max_element(low, smooth.end());
        const double depth = std::min(*before, *after) - *low;
        if (depth <= deepest || std::fabs(*before - *after) > peaks_apart_db) continue;
        const double fastest = M_PI * widest_beat_hz * amplitude_of(std::max(*before, *after)) * hop_seconds;
        bool smooth_enough = true;
        for (auto i = before; i != after && smooth_enough; ++i)
            smooth_enough = std::fabs(amplitude_of(i[1]) - amplitude_of(i[0])) <= fastest;
        if (smooth_enough) deepest = depth;
    }
    return deepest;
}

bool beats(const DetectParams& p, double depth_db) { return depth_db > p.level_range_db; }

// A pair's run breaks at the beat's nulls, where its peak sinks under the floor, and a
// piece between two nulls only swells and fades: its beat shows beside it. So the level
// at `hz` is read over the run and as long again on each side (within the region), the
// neighbouring swells of the same pair with it; a note's attack out of other sound
// there is sudden, and no beat. The run alone is asked too, a block in from its ends
// (which only partly cover it), where the sound around a whole pair would hide its dip.
void beat_span(const Context& c, int32_t from, int32_t to, int32_t* lo, int32_t* hi)
{
    const int32_t frames = int32_t(c.f.peaks.size()), length = to - from;
    *lo = std::max(0, from - length);
    *hi = std::min(frames, to + length);
}

double beat_in(const Context& c, const std::vector<double>& levels, int32_t lo, int32_t from, int32_t to)
{
    const Frames& f = c.f;
    const int32_t edge = f.n / f.hop;
    int32_t outer_lo = 0, outer_hi = 0;
    beat_span(c, from, to, &outer_lo, &outer_hi);
    const auto depth = [&](int32_t a, int32_t b) {
        if (b - a <= edge) return 0.0;
        const std::vector<double> part(levels.begin() + (a - lo), levels.begin() + (b - lo));
        return beat_depth(part, edge, double(f.hop) / c.audio.rate, c.p.steady_hz, c.p.held_move_db);
    };
    return std::max(depth(from + edge, to - edge), depth(outer_lo, outer_hi));
}

double beat_around(const Context& c, double hz, int32_t from, int32_t to)
{
    int32_t lo = 0, hi = 0;
    beat_span(c, from, to, &lo, &hi);
    return beat_in(c, probe_levels(c, Probe(c.f.n, hz, c.audio.rate, c.kernels), lo, hi), lo, from, to);
}

namespace {

// beat_around's depth where the levels at `hz` over frames [known_from, known_from +
// known.size()), within its span, are read already (a tone's own, read frame by frame):
// only the frames beside them are read, and each level is the one it would read.
double beat_around_known(const Context& c, double hz, int32_t from, int32_t to, const std::vector<double>& known,
                         int32_t known_from)
{
    int32_t lo = 0, hi = 0;
    beat_span(c, from, to, &lo, &hi);
    const Probe probe(c.f.n, hz, c.audio.rate, c.kernels);
    const int32_t known_to = known_from + int32_t(known.size());
    std::vector<double> levels = probe_levels(c, probe, lo, known_from);
    levels.insert(levels.end(), known.begin(), known.end());
    const std::vector<double> after = probe_levels(c, probe, known_to, hi);
    levels.insert(levels.end(), after.begin(), after.end());
    return beat_in(c, levels, lo, from, to);
}

}  // namespace

Tone tone_of(const Context& c, const Run& r)
{
    const DetectParams& p = c.p;
    const Audio& a = c.audio;
    const Frames& f = c.f;
    const int64_t first = c.first, count = c.count;
    Tone t;
    t.found = true;
    t.resolution_hz = f.bin_hz();
    t.hz = median(r.hz);
    t.above_floor_db = median(r.above);
    t.drift_hz = spread(r.hz);

    // The level frame by frame at the tone's own frequency, over the frames that lie
    // wholly on it: a held note swells or decays, a tone does not. A whine that drifts
    // (as fast as a look allowed it) is followed, its median frequency lying at the
    // run's middle, so that a long look reads its level as a short one does.
    const int64_t lowest = first, highest = first + count - f.n;
    const int32_t mid = (r.from + r.to) / 2;
    const auto hz_at = [&](int64_t m) { return t.hz + r.hz_per_s * double(m - mid) * f.hop / a.rate; };
    Probe probe(f.n, t.hz, a.rate, c.kernels);
    const auto follow = [&](int64_t m) {
        if (std::fabs(hz_at(m) - probe.hz) > kFollowBins * f.bin_hz()) probe = Probe(f.n, hz_at(m), a.rate, c.kernels);
    };
    const int64_t edge = f.n / f.hop;
    std::vector<double> levels;
    const int64_t last = std::max<int64_t>(r.to - 1 - edge, mid);
    bool followed = false;  // whether the probe moved off the tone's frequency
    for (int64_t m = std::min<int64_t>(r.from + edge, mid); m <= last;) {
        follow(m);
        followed = followed || probe.hz != t.hz;
        // The frames up to where the probe next moves on are read together.
        int64_t end = m + 1;
        while (end <= last && !(std::fabs(hz_at(end) - probe.hz) > kFollowBins * f.bin_hz())) ++end;
        const std::vector<double> part = probe_levels(c, probe, int32_t(m), int32_t(end));
        levels.insert(levels.end(), part.begin(), part.end());
        m = end;
    }
    t.level_trend_db = level_trend(levels);
    t.level_slope_db = level_slope_change(levels);
    t.beat_db =
        std::max(r.beat_db, beat_depth(levels, int32_t(edge), double(f.hop) / a.rate, p.steady_hz, p.held_move_db));
    // The tone's own level and its spread, read where no louder sound lifts its bin.
    const double own = own_level(p, levels);
    std::vector<double> uncovered;
    for (const double l : levels)
        if (!covered(p, l, own)) uncovered.push_back(l);
    t.level_range_db = spread(uncovered);
    t.level_dbfs = median(uncovered);
    // A run between two of a pair's nulls only swells and fades, and its level holds
    // between its crossings as a tone's does: only the swells beside it show the beat,
    // and with it that the pair sounds on past those nulls.
    if (!beats(p, t.beat_db)) {
        const int32_t read_from = int32_t(std::min<int64_t>(r.from + edge, mid));
        t.beat_db = std::max(t.beat_db, followed ? beat_around(c, t.hz, r.from, r.to)
                                                 : beat_around_known(c, t.hz, r.from, r.to, levels, read_from));
    }
    // A level that scatters may be the program's beside the tone: the tone is read
    // again where it sounds.
    if (!beats(p, t.beat_db) && t.level_range_db > p.level_range_db) {
        size_t from = 0, to = 0;
        sounding_stretch(p, levels, t.level_dbfs, &from, &to);
        const int32_t read_from = int32_t(std::min<int64_t>(r.from + edge, mid));
        Run sounding = r;
        sounding.from = read_from + int32_t(from) - int32_t(edge);
        sounding.to = read_from + int32_t(to) + int32_t(edge);
        if (to - from < levels.size() && sounding.to - sounding.from >= c.shortest) return tone_of(c, sounding);
    }
    const double steady_amp = amplitude_of(t.level_dbfs);

    const int64_t step = std::max(1, a.rate / kCrossingStepsPerSecond);
    const int64_t start_inside = f.first + int64_t(std::min<int64_t>(r.from + edge, mid)) * f.hop;
    const int64_t end_inside = f.first + int64_t(std::max<int64_t>(r.to - 1 - edge, mid)) * f.hop;
    follow(std::min<int64_t>(r.from + edge, mid));
    // A tone that a louder sound at its bin died away into was switched on somewhere
    // under that sound, where its level shows nothing of it: walking on through the
    // louder sound would find that sound's start. So its walk stops where that sound
    // stands over it by more than a steady sound's level spreads.
    const double louder = !r.after_louder ? HUGE_VAL : amplitude_of(t.level_dbfs + p.level_range_db);
    // A pair's level sinks under half at its nulls while it sounds on: a block under half
    // at its run's end tells nothing of where it stops.
    const int64_t middle = beats(p, t.beat_db) ? -1 : f.first + int64_t(mid) * f.hop;
    const auto inside = [&](int64_t at) { return middle < 0 ? at : within_tone(a, probe, steady_amp / 2, at, middle); };
    double start = crossing(a, probe, steady_amp / 2, inside(start_inside), lowest, step, louder);
    if (start < 0) start = crossing_near_edge(a, probe.hz, steady_amp / 2, lowest, true, f.n, step);
    follow(std::max<int64_t>(r.to - 1 - edge, mid));
    double end = crossing(a, probe, steady_amp / 2, inside(end_inside), highest, step);
    if (end < 0) end = crossing_near_edge(a, probe.hz, steady_amp / 2, highest, false, f.n, step);
    if (beats(p, t.beat_db) && start >= 0 && end >= 0) {
        const int64_t longest = int64_t(end - start);
        const double swell = amplitude_of(*std::max_element(levels.begin(), levels.end()));
        const int64_t shortest = int64_t(p.shortest_seconds * a.rate);
        start =
            past_null(a, probe, steady_amp / 2, swell, start, lowest, highest, longest, shortest, step, p.steady_hz);
        end = past_null(a, probe, steady_amp / 2, swell, end, highest, lowest, longest, shortest, step, p.steady_hz);
    }
    t.from_region_start = start < 0;
    t.to_region_end = end < 0;
    t.first = t.from_region_start ? first : int64_t(std::lround(start));
    t.end = t.to_region_end ? first + count : int64_t(std::lround(end));
    if (!beats(p, t.beat_db) && !r.pair.fitted) in_step_ends(c, r, &t);
    if (r.pair.fitted) reach_pair_ends(c, r, r.pair, &t);
    else if (PairReading pair; beats(p, t.beat_db) && holds_as_pair(c, r, &pair)) reach_pair_ends(c, r, pair.fit, &t);
    else if (!beats(p, t.beat_db) && (t.level_trend_db > p.held_move_db || t.level_slope_db > p.held_move_db))
        swells_past_null(c, r, &t);
    return t;
}

// A tone's extent is read after its run passed (where its amplitude crosses half its
// own), and may come out shorter than the run: no tone under shortest_seconds is
// reported, whatever stage shortened it.
std::vector<Confirmed> long_enough(const Context& c, std::vector<Confirmed> tones, std::vector<Dropped>* dropped)
{
    const DetectParams& p = c.p;
    std::vector<Confirmed> kept;
    for (Confirmed& t : tones) {
        const double seconds = double(t.tone.end - t.tone.first) / c.f.rate;
        if (seconds >= p.shortest_seconds) kept.push_back(std::move(t));
        else
            dropped->push_back(Dropped{DropStage::kExtent, DropReason::kTooShort, t.tone.hz, t.tone.first, t.tone.end,
                                       seconds, p.shortest_seconds, 0});
    }
    return kept;
}

}  // namespace detection
