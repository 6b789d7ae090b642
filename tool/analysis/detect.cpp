#include "tool/analysis/detect.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect_parts.h"

using namespace detection;

int32_t analysis_length(int32_t rate)
{
    int32_t n = kSmallestBlock;
    while (rate / double(n) > kWidestBinHz) n *= 2;
    return n;
}

int64_t shortest_region(int32_t rate, const DetectParams& p)
{
    return analysis_length(rate) + int64_t(p.shortest_seconds * rate);
}

int64_t surround_length(int32_t rate, const DetectParams& p) { return int64_t(p.surround_seconds * rate); }

namespace {

// A run dropped before it became a tone, spanning its frames' block centres.
Dropped dropped_run(const Frames& f, const Run& r, double hz, DropReason reason, double figure, double limit,
                    double other_hz = 0)
{
    return Dropped{reason, hz, frame_centre(f, r.from), frame_centre(f, r.to - 1), figure, limit, other_hz};
}

Dropped dropped_tone(const Tone& t, const Verdict& v)
{
    return Dropped{v.reason, t.hz, t.first, t.end, v.figure, v.limit, v.other_hz};
}

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

// Runs at the busy bins, and which of them hold still at one of the looks. A run whose
// median prominence is under tone_db is no candidate; one that stands clear but holds
// still at none of the looks is kept among the unsteady.
Looks look_at_runs(const DetectParams& p, const Audio& audio, const Frames& f, int64_t first, int64_t count,
                   int32_t shortest, std::vector<Dropped>* dropped)
{
    Looks looks;
    std::vector<Run> failed;
    for (const int32_t b : busy_bins(p, f, shortest)) {
        for (Run& r : runs_at(p, f, b, shortest)) {
            const Readings x = readings_of(p, f, r);
            r.level = x.level;
            r.above = x.above;
            const double prominence = median(r.above);
            if (prominence < p.tone_db) {
                dropped->push_back(dropped_run(f, r, median(x.hz), DropReason::kTooQuiet, prominence, p.tone_db));
                continue;
            }
            Steadiness s = steadiness(p, f, r, x, f.bin_hz());
            r.hz = std::move(s.hz);
            r.drift_hz = s.drift_hz;
            r.range_db = s.range_db;
            (s.holds ? looks.steady : failed).push_back(r);
        }
    }
    const Looks again = second_look(p, audio, f, first, count, failed);
    looks.steady.insert(looks.steady.end(), again.steady.begin(), again.steady.end());
    looks.unsteady = again.unsteady;
    for (const Run& r : looks.unsteady) {
        const double limit = p.steady_hz;
        const bool drifts = r.drift_hz > limit;
        if (drifts)
            dropped->push_back(dropped_run(f, r, median(r.hz), DropReason::kNotSteady, r.drift_hz, limit));
        else
            dropped->push_back(
                dropped_run(f, r, median(r.hz), DropReason::kLevelScatters, r.range_db, p.level_range_db));
    }
    return looks;
}

// A tone between two bins can pass at both; the runs then overlap and read one
// frequency, and the more prominent one stands for it. Runs two bins apart that read
// frequencies over a bin apart are two lines (a hum's fundamental beside a partial that
// pulled its peak at times, or a note that ends as a tone starts), and each is judged
// on its own.
std::vector<Run> without_twins(const Frames& f, std::vector<Run> runs,
                               std::vector<Dropped>* dropped)
{
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
        dropped->push_back(dropped_run(f, r, median(r.hz), DropReason::kTwin,
                                       std::fabs(median(twin->hz) - median(r.hz)), f.bin_hz(),
                                       median(twin->hz)));
    }
    return kept;
}

// A hum's fundamental can be weaker than its harmonics: the runs found under them are
// added as lines of their own. Two harmonics may give one fundamental. A run of its own
// at its frequency does not stand for it: that run is judged on its own readings, which
// the program over it pulls, and where both pass they are joined as pieces of one tone.
std::vector<Run> with_fundamentals(const DetectParams& p, const Frames& f, std::vector<Run> runs)
{
    for (size_t i = 0, found = runs.size(); i < found; ++i) {
        Run low;
        if (!fundamental_below(p, f, runs[i], &low)) continue;
        bool known = false;
        for (size_t j = found; j < runs.size(); ++j)
            known = known || (std::abs(runs[j].bin - low.bin) <= kLobeBins / 2 &&
                              std::min(runs[j].to, low.to) > std::max(runs[j].from, low.from));
        low.under_harmonic = true;
        if (!known) runs.push_back(low);
    }
    return runs;
}

// The rules that part a tone from program sound, in the order they are asked; the first
// that drops the line decides.
Verdict first_objection(const DetectParams& p, const Frames& f, const std::vector<Line>& lines, const Line& line,
                        const std::vector<Run>& unsteady, int32_t shortest)
{
    const Run& r = line.run;
    const Tone& t = line.tone;
    // A fundamental stands on its harmonics, and falls with them.
    if (r.under_harmonic)
        if (const Verdict v = family_stands(p, lines, r); v.drops) return v;
    // A held note's level scatters and moves as a whole; program sound over a tone
    // scatters its level without moving it.
    const bool beats = t.beat_db >= p.tone_db;
    if (!beats && t.level_range_db > p.level_range_db)
        return Verdict{true, DropReason::kLevelScatters, t.level_range_db, p.level_range_db, 0};
    if (!beats && t.level_range_db > p.covered_db && t.level_trend_db > p.held_move_db)
        return Verdict{true, DropReason::kHeldNote, t.level_trend_db, p.held_move_db, 0};
    if (!beats && t.level_slope_db > p.held_move_db)
        return Verdict{true, DropReason::kHeldNote, t.level_slope_db, p.held_move_db, 0};
    // A steady stretch in the middle of a partial that goes on at its frequency on
    // both sides is a piece of program sound, not a tone switched on and off.
    if (!t.from_region_start && !t.to_region_end && track_goes_on(p, f, t, true, shortest) &&
        track_goes_on(p, f, t, false, shortest))
        return Verdict{true, DropReason::kTrackGoesOn,
                       std::min(track_share(p, f, t, true, shortest), track_share(p, f, t, false, shortest)),
                       p.present_share, 0};
    if (const Verdict v = starts_with_another(p, f, lines, line, shortest); v.drops) return v;
    if (r.look != Look::kFirst)
        if (const Verdict v = unsteady_within(p, f, unsteady, r, t); v.drops) return v;
    return Verdict{};
}

// Each line as a tone, through the rules; a fundamental's verdict reads those of the
// lines before it, its harmonics among them.
std::vector<Confirmed> confirmed_tones(const DetectParams& p, const Audio& audio, const Frames& f,
                                       const std::vector<Run>& runs, const std::vector<Run>& unsteady, int64_t first,
                                       int64_t count, int32_t shortest, std::vector<Dropped>* dropped)
{
    std::vector<Line> lines;
    for (const Run& r : runs) lines.push_back(Line{r, tone_of(p, audio, f, r, first, count), false});
    std::vector<Confirmed> tones;
    for (Line& line : lines) {
        const Verdict v = first_objection(p, f, lines, line, unsteady, shortest);
        if (v.drops) {
            dropped->push_back(dropped_tone(line.tone, v));
            continue;
        }
        line.confirmed = true;
        tones.push_back(Confirmed{line.tone, line.run, false});
    }
    return tones;
}

// Families from the lowest tone up, so a hum's fundamental gathers its harmonics; the
// tones not taken into a family are the region's.
std::vector<Tone> families(const DetectParams& p, const Frames& f, std::vector<Confirmed> tones, int32_t shortest,
                           std::vector<Dropped>* dropped)
{
    std::vector<Confirmed*> order;
    for (Confirmed& c : tones) order.push_back(&c);
    std::sort(order.begin(), order.end(), [](const Confirmed* a, const Confirmed* b) { return a->tone.hz < b->tone.hz; });
    for (Confirmed* c : order)
        if (!c->in_family) gather_harmonics(p, f, shortest, c, &tones);
    std::vector<Tone> out;
    for (const Confirmed& c : tones) {
        if (!c.in_family) {
            out.push_back(c.tone);
            continue;
        }
        Dropped d{DropReason::kHarmonic, c.tone.hz, c.tone.first, c.tone.end, 0, 0, 0};
        for (const Confirmed& low : tones)
            for (const Harmonic& h : low.tone.harmonics)
                if (!low.in_family && h.hz == c.tone.hz) d.other_hz = low.tone.hz, d.figure = h.order;
        dropped->push_back(d);
    }
    return out;
}

// A tone's extent is read after its run passed (where its amplitude crosses half its
// own), and may come out shorter than the run: no tone under shortest_seconds is
// reported, whatever stage shortened it.
std::vector<Confirmed> long_enough(const DetectParams& p, const Frames& f, std::vector<Confirmed> tones,
                                   std::vector<Dropped>* dropped)
{
    std::vector<Confirmed> kept;
    for (Confirmed& c : tones) {
        const double seconds = double(c.tone.end - c.tone.first) / f.rate;
        if (seconds >= p.shortest_seconds) kept.push_back(std::move(c));
        else
            dropped->push_back(Dropped{DropReason::kTooShort, c.tone.hz, c.tone.first, c.tone.end, seconds,
                                       p.shortest_seconds, 0});
    }
    return kept;
}

Detection tones_within(const DetectParams& p, const Audio& audio, int64_t first, int64_t count)
{
    Detection d;
    const Frames f = frame_peaks_over(p, audio, first, count);
    d.resolution_hz = f.bin_hz();
    const int32_t shortest = std::max(kHopsPerBlock, int32_t(p.shortest_seconds * f.rate / f.hop));
    const Looks looks = look_at_runs(p, audio, f, first, count, shortest, &d.dropped);
    const std::vector<Run> lines = with_fundamentals(p, f, without_twins(f, looks.steady, &d.dropped));
    std::vector<Confirmed> tones =
        confirmed_tones(p, audio, f, lines, looks.unsteady, first, count, shortest, &d.dropped);
    join_pieces(f, &tones, &d.dropped);
    d.tones = families(p, f, long_enough(p, f, std::move(tones), &d.dropped), shortest, &d.dropped);
    return d;
}

// Whether `around` holds a tone (or a hum's harmonic) at `t`'s frequency over part of
// its time.
bool stands_in(const Detection& around, const Tone& t)
{
    for (const Tone& u : around.tones) {
        if (std::min(u.end, t.end) <= std::max(u.first, t.first)) continue;
        if (std::fabs(u.hz - t.hz) <= around.resolution_hz) return true;
        for (const Harmonic& h : u.harmonics)
            if (std::fabs(h.hz - t.hz) <= around.resolution_hz) return true;
    }
    return false;
}

} // namespace

// A note or a chord that sounds into the region started, or goes on, outside it. Seen
// only within the region it can seem switched on at the region's start, with no partner
// starting beside it and no track going on before it, and pass for a tone. A tone
// switched on and off is a tone however much of the sound around it is heard, while a
// piece of a note is not: so a tone found in the region stands only where the region
// looked at together with the audio around it shows one at its frequency over the same
// time. Without audio around the region (a whole file) there is nothing more to hear.
Detection detect_tones(const Audio& audio, int64_t first, int64_t count, const DetectParams& p)
{
    Detection d = tones_within(p, audio, first, count);
    const int64_t from = std::max<int64_t>(0, first - surround_length(audio.rate, p));
    const int64_t to = std::min(audio.frames(), first + count + surround_length(audio.rate, p));
    if (!d.tones.empty() && (from != first || to != first + count)) {
        const Detection around = tones_within(p, audio, from, to - from);
        std::vector<Tone> kept;
        for (const Tone& t : d.tones) {
            if (stands_in(around, t)) kept.push_back(t);
            else d.dropped.push_back(Dropped{DropReason::kNotInSurround, t.hz, t.first, t.end, 0, 0, 0});
        }
        d.tones = kept;
    }
    measure_over_band(audio, &d.tones);
    rank_by_audibility(&d.tones, audio.rate);
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

Tone tone_near(const Detection& d, double hz, int64_t first, int64_t count, bool* detected)
{
    *detected = true;
    const Tone* nearest = nullptr;
    const Harmonic* of = nullptr;
    double off = 2 * d.resolution_hz;
    for (const Tone& t : d.tones) {
        if (std::fabs(t.hz - hz) <= off) nearest = &t, of = nullptr, off = std::fabs(t.hz - hz);
        for (const Harmonic& h : t.harmonics)
            if (std::fabs(h.hz - hz) <= off) nearest = &t, of = &h, off = std::fabs(h.hz - hz);
    }
    if (nearest && !of) return *nearest;
    if (nearest) {
        // A harmonic sounds as long as its family and drifts as many times as far.
        Tone t = *nearest;
        t.hz = of->hz;
        t.level_dbfs = of->level_dbfs;
        t.drift_hz = of->order * nearest->drift_hz;
        t.harmonics.clear();
        return t;
    }
    *detected = false;
    Tone t;
    t.found = true;
    t.hz = hz;
    t.resolution_hz = d.resolution_hz;
    t.first = first;
    t.end = first + count;
    t.from_region_start = t.to_region_end = true;
    return t;
}
