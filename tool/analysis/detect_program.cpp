#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>

namespace detection {
namespace {

// Whether `a` and `b` could be one hum's partials: one lies within multiple_hz of a
// whole multiple of the other. One tolerance wherever a family is gathered or a
// fundamental is looked for, so that they agree on who belongs.
bool harmonic_pair(const DetectParams& p, const Tone& a, const Tone& b)
{
    const Tone& low = a.hz < b.hz ? a : b;
    const Tone& high = a.hz < b.hz ? b : a;
    const double order = std::round(high.hz / low.hz);
    return order >= 1 && std::fabs(high.hz - order * low.hz) <= p.multiple_hz + order * low.drift_hz;
}

} // namespace

// The frames counted lie wholly before the start of `t` (`before`) or wholly after its
// end, and hold its frequency at any level; too few is under a block's frames.
double track_share(const DetectParams& p, const Frames& f, const Tone& t, bool before, int32_t span)
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
    if (to - from < kHopsPerBlock) return -1;
    int32_t held = 0;
    for (int32_t m = from; m < to; ++m) held += peak_near(p, f.peaks[m], bin, 1, true) != nullptr;
    return double(held) / (to - from);
}

// Whole multiples of `t` among the other tones join its family; multiples that hold a
// peak through most of its run without passing as tones themselves join it too.
void gather_harmonics(const DetectParams& p, const Frames& f, int32_t span, Confirmed* low,
                      std::vector<Confirmed>* all)
{
    Tone* t = &low->tone;
    const Run& run = low->run;
    const double nyquist = f.rate / 2.0;
    for (int32_t order = 2; order <= kHighestHarmonic && order * t->hz < kHighestShare * nyquist;
         ++order) {
        const double hz = order * t->hz;
        const double tolerance = p.multiple_hz + order * t->drift_hz;
        Harmonic h;
        h.order = order;
        // The multiple's peaks through the lower tone's run.
        std::vector<double> hzs, levels;
        const int32_t bin = int32_t(std::lround(hz / f.bin_hz()));
        for (int32_t m = run.from; m < run.to; ++m)
            if (const Peak* peak = peak_near(p, f.peaks[m], bin, 1 + int32_t(tolerance / f.bin_hz()))) {
                hzs.push_back(peak->at * f.bin_hz());
                levels.push_back(peak->level_dbfs);
            }
        const bool held_through = hzs.size() >= p.partial_present * (run.to - run.from);
        bool own_tone = false;
        for (Confirmed& other : *all) {
            const Tone& u = other.tone;
            const bool overlap = std::min(u.end, t->end) - std::max(u.first, t->first) > (u.end - u.first) / 2;
            if (other.in_family || &other == low || !overlap || std::fabs(u.hz - hz) > tolerance) continue;
            // A hum's partials come and go together; one switched on or off apart from
            // the lower tone is a tone of its own that happens to lie on a multiple of
            // it: a drone hides no beep in its family. A quieter one may be a piece of a
            // harmonic that speech or music over it broke, though: it lies on the
            // multiple as a harmonic does, and its track holds on beside it (in half the
            // frames or more) at least on one side, where a beep's was absent before it
            // and after it but for the program's stray peaks.
            const double apart = p.together_seconds * f.rate;
            const bool switched_apart =
                std::fabs(double(u.first - t->first)) > apart || std::fabs(double(u.end - t->end)) > apart;
            const bool on_multiple = std::fabs(u.hz - hz) <= p.steady_hz + order * t->drift_hz;
            const auto absent = [&](bool before) { return track_share(p, f, u, before, span) < kPieceBesideShare; };
            const bool piece = u.level_dbfs <= t->level_dbfs && on_multiple && !(absent(true) && absent(false));
            if (switched_apart && !piece) {
                own_tone = true;
                continue;
            }
            other.in_family = true;
            h.hz = u.hz;
            h.level_dbfs = u.level_dbfs;
        }
        if (own_tone && h.hz == 0) continue;
        if (h.hz == 0) {
            if (!held_through) continue;
            // A harmonic holds the family's frequency as the fundamental does; a partial
            // of the program a bin beside the multiple lifts the same bins but lies off it.
            h.hz = median(hzs);
            if (std::fabs(h.hz - hz) > p.steady_hz + order * t->drift_hz) continue;
            // A hum's partials are switched on and off together: a line that goes on past
            // both ends of the fundamental belongs to the program.
            Tone line = *t;
            line.hz = h.hz;
            if (track_goes_on(p, f, line, true, span) && track_goes_on(p, f, line, false, span)) continue;
            // Its level is its own, where nothing over it lifts its bin.
            h.level_dbfs = own_level(p, levels);
        }
        h.relative_db = h.level_dbfs - t->level_dbfs;
        t->harmonics.push_back(h);
    }
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
bool fundamental_below(const DetectParams& p, const Frames& f, const Run& r, Run* out)
{
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
        if (on.size() < p.partial_present * (r.to - r.from)) continue;
        const bool on_family = std::fabs(median(on) - family) <= p.steady_hz / 2;
        const bool holds = middle_spread(on) <= p.steady_hz;
        if (!on_family || !holds) continue;
        Run low;
        low.bin = bin;
        low.from = r.from;
        low.to = r.to;
        while (!reading(low.from)) ++low.from;
        while (!reading(low.to - 1)) --low.to;
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
        // Its frequency and drift are the family's, read off the harmonic that stood
        // clear, not off its own peaks, which the program over it pulls.
        for (const double x : r.hz) low.hz.push_back(x / k);
        *out = low;
        return true;
    }
    return false;
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

// A tone is switched on and off; a partial that only settles into a steady stretch was
// at that frequency, louder or softer, all along: its track goes on beyond the stretch.
bool track_goes_on(const DetectParams& p, const Frames& f, const Tone& t, bool before, int32_t span)
{
    return track_share(p, f, t, before, span) >= p.present_share;
}

// Whether another partial of the region, not of `t`'s own family, starts together with
// it: a chord's or a note's partials rise within a few tens of milliseconds of one
// another, while a tone mixed into program sound is switched independently of it. The
// other partial must be seen to start there, absent just before, not merely swell back
// over half its level.
Verdict starts_with_another(const DetectParams& p, const Frames& f, const std::vector<Line>& all, const Line& line,
                            int32_t span)
{
    const Tone& t = line.tone;
    if (t.from_region_start) return Verdict{};
    for (const Line& other : all) {
        const Tone& u = other.tone;
        if (&other != &line && !u.from_region_start && !harmonic_pair(p, t, u) &&
            std::fabs(double(u.first - t.first)) <= p.together_seconds * f.rate) {
            const double share = track_share(p, f, u, true, span);
            if (share >= 0 && share < p.present_share)
                return Verdict{true, DropReason::kChordPartner, std::fabs(double(u.first - t.first)) / f.rate,
                               p.together_seconds, u.hz};
        }
    }
    return Verdict{};
}

// Louder sound over a tone can break its run in two; the two pieces then lie at one
// frequency and their extents meet (or nearly: within a block), and are one tone.
void join_pieces(const Frames& f, std::vector<Confirmed>* tones, std::vector<Dropped>* dropped)
{
    for (size_t i = 0; i < tones->size(); ++i)
        for (size_t j = i + 1; j < tones->size(); ++j) {
            Tone& a = (*tones)[i].tone;
            const Tone& b = (*tones)[j].tone;
            const int64_t gap = std::max(a.first, b.first) - std::min(a.end, b.end);
            if (std::fabs(a.hz - b.hz) > f.bin_hz() || gap > f.n) continue;
            dropped->push_back(Dropped{DropReason::kPiece, b.hz, b.first, b.end, double(gap) / f.rate,
                                       double(f.n) / f.rate, a.hz});
            Run& ra = (*tones)[i].run;
            const Run& rb = (*tones)[j].run;
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
            j = i;  // the joined tone may now meet one passed over
        }
}

// Whether the tone's extent takes in a run at its frequency that failed to hold still
// at both looks. A tone holds still wherever it sounds, while a partial of program
// sound may settle for a while within a longer, unsteady life; a run that only the
// second look found steady is held to this, since its steadiness was seen so closely.
// (A tone the first look found may be broken by speech into pieces that fail both
// looks where the speech covers it, so it is not.)
Verdict unsteady_within(const DetectParams& p, const Frames& f, const std::vector<Run>& unsteady, const Run& r,
                        const Tone& t)
{
    for (const Run& u : unsteady) {
        if (std::abs(u.bin - r.bin) > 1) continue;
        // The tone itself where a partial within its bin jostles it, not a life of its
        // own: the same frequency, moved by no more than twice what a tone may drift,
        // and the same level under whatever covered it.
        if (!u.hz.empty() && std::fabs(median(u.hz) - t.hz) <= p.steady_hz / 2 &&
            spread(u.hz) <= 2 * p.steady_hz &&
            std::fabs(own_level(p, u.level) - t.level_dbfs) <= p.covered_db)
            continue;
        const int64_t from = frame_centre(f, u.from);
        const int64_t to = frame_centre(f, u.to - 1);
        const int64_t overlap = std::min(to, t.end) - std::max(from, t.first);
        if (overlap > (to - from) / 2)
            return Verdict{true, DropReason::kUnsteadyWithin, double(overlap) / f.rate, double((to - from) / 2) / f.rate,
                           median(u.hz)};
    }
    return Verdict{};
}

} // namespace detection
