#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"

namespace detection {

// The frames counted lie wholly before the start of `t` (`before`) or wholly after its
// end, and hold its frequency at any level; too few is under a block's frames.
double track_share(const Context& c, const Tone& t, bool before, double* level_dbfs)
{
    const Frames& f = c.f;
    const int32_t span = c.shortest;
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
    if (to - from < kHopsPerBlock) return -1;
    std::vector<double> hz, levels;
    for (int32_t m = from; m < to; ++m)
        if (const Peak* k = peak_near(c.p, f.peaks[m], bin, 1, true)) {
            hz.push_back(k->at * f.bin_hz());
            levels.push_back(k->level_dbfs);
        }
    if (level_dbfs) *level_dbfs = levels.empty() ? -HUGE_VAL : median(levels);
    // Peaks that lie a bin or more off the tone's frequency for the most part are another
    // partial's (a bass note a semitone away, held beside it), not its own track.
    if (!hz.empty() && std::fabs(median(hz) - t.hz) > f.bin_hz()) return 0;
    return double(hz.size()) / (to - from);
}

// A tone is switched on and off; a partial that only settles into a steady stretch was
// at that frequency, louder or softer, all along: its track goes on beyond the stretch.
bool track_goes_on(const Context& c, const Tone& t, bool before)
{
    return track_share(c, t, before) >= c.p.present_share;
}

namespace {

// A tone switched on over quieter sound at its bin steps up by tone_db or more (as the
// runs are parted at such a step), and back down where it stops: the quieter sound
// that goes on on both sides, a chime's ring under a beep, is another's, not its track.
// A partial that settles for a while within its own life, a ring's tail, has its louder
// sound on one side at least.
bool stands_over_its_track(const Context& c, const Tone& t)
{
    double before = 0, after = 0;
    track_share(c, t, true, &before);
    track_share(c, t, false, &after);
    return std::max(before, after) <= t.level_dbfs - c.p.tone_db;
}

}  // namespace

bool clips_within(const Audio& a, int64_t first, int64_t end)
{
    const size_t from = size_t(std::clamp<int64_t>(first, 0, a.frames())) * size_t(a.channels);
    const size_t to = size_t(std::clamp<int64_t>(end, 0, a.frames())) * size_t(a.channels);
    for (size_t i = from; i < to; ++i)
        if (a.samples[i] >= 32767 || a.samples[i] <= -32768) return true;
    return false;
}

namespace {

// A line a rule dropped, over its extent as a tone.
Dropped dropped_tone(const Tone& t, const Verdict& v)
{
    return Dropped{DropStage::kRules, v.reason, t.hz, t.first, t.end, v.figure, v.limit, v.other_hz};
}

// A fundamental found under one harmonic stands while any harmonic of its family
// passed as a tone over its frames: speech may break the one it was found under, and a
// single harmonic's verdict is no more than one member's. It stands too on two or more
// harmonics that held their frequency there though each failed a later test: several
// lines at whole multiples of one frequency that hold still together are a hum, which
// speech over each by turns cannot make, and the fundamental still faces every test a
// tone does over its own run.
Verdict family_stands(const DetectParams& p, const std::vector<Line>& lines, const Run& low)
{
    const double hz = median(low.hz);
    std::vector<double> held;
    for (const Line& line : lines) {
        const Run& u = line.run;
        if (u.under_harmonic || std::min(u.to, low.to) <= std::max(u.from, low.from)) continue;
        const double order = std::round(median(u.hz) / hz);
        if (order < 2 || std::fabs(median(u.hz) - order * hz) > p.multiple_hz) continue;
        if (line.confirmed) return Verdict{};
        if (std::find(held.begin(), held.end(), order) == held.end()) held.push_back(order);
    }
    const size_t enough = 2;
    if (held.size() >= enough) return Verdict{};
    return Verdict{true, DropReason::kNoFamily, double(held.size()), double(enough), 0};
}

// Of two partials' levels over the frames they share, the share of one's variance that
// follows the other's must be over half (a correlation of 0.71) for them to move
// together: a note's partials decay as one, while a steady tone's level only scatters
// under the program, which a decay beside it does not follow.
constexpr double kTogetherCorrelation = 0.71;

// Whether `a` and `b` lie on one harmonic series: a common fundamental (kLowestHz or
// higher, each an order up to kHighestHarmonic) that puts both within a bin of a whole
// multiple of it.
bool on_one_series(double a, double b, double bin_hz)
{
    for (int32_t j = 1; j <= kHighestHarmonic && b / j >= kLowestHz; ++j) {
        const double f0 = b / j;
        const double i = std::round(a / f0);
        if (i >= 1 && i <= kHighestHarmonic && std::fabs(a - i * f0) <= bin_hz) return true;
    }
    return false;
}

double correlation(const std::vector<double>& x, const std::vector<double>& y)
{
    const double n = double(x.size());
    double mx = 0, my = 0;
    for (size_t i = 0; i < x.size(); ++i) mx += x[i] / n, my += y[i] / n;
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
}

// How the levels of `a` and `b` move together over the frames both runs hold, a block in
// from their ends (the attack and the release are each one's own): their correlation,
// where `b`'s level moves as a note's does (over held_move_db from its first part to its
// last, or along a robust line); 0 where it holds its level, or the two share too few
// frames to tell.
double moves_with(const Context& c, const Line& a, const Line& b)
{
    const int32_t edge = c.f.n / c.f.hop;
    const int32_t from = std::max(a.run.from, b.run.from) + edge, to = std::min(a.run.to, b.run.to) - edge;
    const Tone& u = b.tone;
    if (to - from < 2 * kHopsPerBlock || std::max(u.level_trend_db, u.level_slope_db) <= c.p.held_move_db) return 0;
    return correlation(probe_levels(c, Probe(c.f.n, a.tone.hz, c.audio.rate, c.kernels), from, to),
                       probe_levels(c, Probe(c.f.n, u.hz, c.audio.rate, c.kernels), from, to));
}

// Whether `line` is a note's partial: another partial starts with it (absent just before,
// not merely swelling back), on one harmonic series with it, and their levels decay or
// move together. Partials that only start together are no note: two tones switched on
// at once (a telephone's pair, a ringing tone, a beep that starts with a beat of music)
// each hold their level while a note's partials fall as one.
Verdict note_partial(const Context& c, const std::vector<Line>& all, const Line& line)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    const Tone& t = line.tone;
    if (t.from_region_start) return Verdict{};
    for (const Line& other : all) {
        const Tone& u = other.tone;
        // A line within a bin of it is the same partial read twice (a fundamental found
        // under a harmonic beside its own run), not a partner.
        if (&other == &line || u.from_region_start || std::fabs(u.hz - t.hz) <= f.bin_hz() ||
            std::fabs(double(u.first - t.first)) > p.together_seconds * f.rate ||
            !on_one_series(t.hz, u.hz, f.bin_hz()))
            continue;
        const double share = track_share(c, u, true);
        if (share < 0 || share >= p.present_share) continue;
        const double r = moves_with(c, line, other);
        if (r < kTogetherCorrelation) continue;
        // A tone that reaches full scale has harmonics its clipping makes, quieter than
        // it, which start with it and move with it as the clipping deepens: no note's.
        // (The samples are read only for a partner that would drop it.)
        if (u.level_dbfs < t.level_dbfs && clips_within(c.audio, t.first, t.end)) continue;
        return Verdict{true, DropReason::kNotePartial, r, kTogetherCorrelation, u.hz};
    }
    return Verdict{};
}

// Whether the tone's extent takes in a run at its frequency that failed to hold still
// at both looks. A tone holds still wherever it sounds, while a partial of program
// sound may settle for a while within a longer, unsteady life; a run that only the
// second look found steady is held to this, since its steadiness was seen so closely.
// (A tone the first look found may be broken by speech into pieces that fail both
// looks where the speech covers it, so it is not.)
Verdict unsteady_within(const Context& c, const std::vector<Run>& unsteady, const Run& r, const Tone& t)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    for (const Run& u : unsteady) {
        if (std::abs(u.bin - r.bin) > 1) continue;
        // The tone itself where a partial within its bin jostles it, not a life of its
        // own: the same frequency, moved by no more than twice what a tone may drift,
        // and the same level under whatever covered it.
        if (!u.hz.empty() && std::fabs(median(u.hz) - t.hz) <= p.steady_hz / 2 && spread(u.hz) <= 2 * p.steady_hz &&
            std::fabs(own_level(p, u.level) - t.level_dbfs) <= p.covered_db)
            continue;
        const int64_t from = frame_centre(f, u.from);
        const int64_t to = frame_centre(f, u.to - 1);
        const int64_t overlap = std::min(to, t.end) - std::max(from, t.first);
        if (overlap > (to - from) / 2)
            return Verdict{true, DropReason::kUnsteadyWithin, double(overlap) / f.rate,
                           double((to - from) / 2) / f.rate, median(u.hz)};
    }
    return Verdict{};
}

// Whether two or more lines at whole multiples of `t` (orders up to kHighestHarmonic)
// start and end with it, each switched on and off (its track absent on both sides): a
// buzz's or a hum's harmonics, switched with their fundamental. Then the fundamental was
// switched too, and what sounds at its frequency around it is the program's (a drum's
// low partial, a bass note), not the fundamental going on.
bool switched_with_harmonics(const Context& c, const std::vector<Line>& lines, const Tone& t)
{
    const DetectParams& p = c.p;
    const double apart = p.together_seconds * c.f.rate;
    int32_t with = 0;
    for (const Line& line : lines) {
        const Tone& u = line.tone;
        const double order = std::round(u.hz / t.hz);
        if (order < 2 || order > kHighestHarmonic || std::fabs(u.hz - order * t.hz) > p.multiple_hz ||
            std::fabs(double(u.first - t.first)) > apart || std::fabs(double(u.end - t.end)) > apart ||
            track_goes_on(c, u, true) || track_goes_on(c, u, false))
            continue;
        ++with;
    }
    const int32_t enough = 2;
    return with >= enough;
}

// The rules that part a tone from program sound, in the order they are asked; the first
// that drops the line decides.
Verdict first_objection(const Context& c, const std::vector<Line>& lines, const Line& line,
                        const std::vector<Run>& unsteady)
{
    const DetectParams& p = c.p;
    const Run& r = line.run;
    const Tone& t = line.tone;
    // A fundamental stands on its harmonics, and falls with them.
    if (r.under_harmonic)
        if (const Verdict v = family_stands(p, lines, r); v.drops) return v;
    // A held note's level scatters and moves as a whole; program sound over a tone
    // scatters its level without moving it.
    const bool beats = detection::beats(p, t.beat_db);
    if (!beats && t.level_range_db > p.level_range_db)
        return Verdict{true, DropReason::kLevelScatters, t.level_range_db, p.level_range_db, 0};
    if (!beats && t.level_range_db > p.covered_db && t.level_trend_db > p.held_move_db)
        return Verdict{true, DropReason::kHeldNote, t.level_trend_db, p.held_move_db, 0};
    if (!beats && t.level_slope_db > p.held_move_db)
        return Verdict{true, DropReason::kHeldNote, t.level_slope_db, p.held_move_db, 0};
    // A steady stretch in the middle of a partial that goes on at its frequency on
    // both sides is a piece of program sound, not a tone switched on and off.
    // The louder sound that died away into a tone is another sound, not its track.
    if (!t.from_region_start && !t.to_region_end && !r.after_louder && track_goes_on(c, t, true) &&
        track_goes_on(c, t, false) && !stands_over_its_track(c, t) && !switched_with_harmonics(c, lines, t))
        return Verdict{true, DropReason::kTrackGoesOn, std::min(track_share(c, t, true), track_share(c, t, false)),
                       p.present_share, 0};
    if (const Verdict v = note_partial(c, lines, line); v.drops) return v;
    if (r.look != Look::kFirst)
        if (const Verdict v = unsteady_within(c, unsteady, r, t); v.drops) return v;
    return Verdict{};
}

}  // namespace

// Each line as a tone, through the rules; a fundamental's verdict reads those of the
// lines before it, its harmonics among them.
std::vector<Confirmed> confirmed_tones(const Context& c, const std::vector<Run>& runs, const std::vector<Run>& unsteady,
                                       std::vector<Dropped>* dropped)
{
    std::vector<Line> lines;
    for (const Run& r : runs) lines.push_back(Line{r, tone_of(c, r), false});
    std::vector<Confirmed> tones;
    for (Line& line : lines) {
        const Verdict v = first_objection(c, lines, line, unsteady);
        if (v.drops) {
            dropped->push_back(dropped_tone(line.tone, v));
            continue;
        }
        line.confirmed = true;
        tones.push_back(Confirmed{line.tone, line.run});
    }
    return tones;
}

}  // namespace detection
