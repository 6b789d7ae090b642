#include "tool/analysis/detect.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect_parts.h"

using namespace detection;

int32_t analysis_length(int32_t rate, const DetectParams& p)
{
    int32_t n = p.smallest_block;
    while (rate / double(n) > p.widest_bin_hz) n *= 2;
    return n;
}

int64_t shortest_region(int32_t rate, const DetectParams& p)
{
    return analysis_length(rate, p) + int64_t(p.shortest_seconds * rate);
}

int64_t surround_length(int32_t rate, const DetectParams& p) { return int64_t(p.surround_seconds * rate); }

namespace {

Detection tones_within(const DetectParams& p, const Audio& audio, int64_t first, int64_t count)
{
    Detection d;
    const Frames f = frame_peaks_over(p, audio, first, count);
    d.resolution_hz = f.bin_hz();
    const int32_t bins = f.n / 2 + 1;
    const int32_t shortest = std::max(p.fewest_run_frames, int32_t(p.shortest_seconds * f.rate / f.hop));

    std::vector<int32_t> hits(size_t(bins), 0);
    for (const std::vector<Peak>& frame : f.peaks)
        for (const Peak& peak : frame) hits[peak.bin] += peak.level_dbfs >= p.quietest_dbfs;

    std::vector<Run> runs, failed;
    for (int32_t b = 1; b + 1 < bins; ++b) {
        if (hits[b - 1] + hits[b] + hits[b + 1] < shortest) continue;
        if (hits[b] < hits[b - 1] || hits[b] < hits[b + 1] || hits[b] == 0) continue;
        for (Run& r : runs_at(p, f, b, shortest)) {
            if (steady(p, f, &r)) runs.push_back(r);
            else if (median(r.above) >= p.tone_db) failed.push_back(r);
        }
    }
    second_look(p, audio, f, first, count, &failed, &runs);

    // A tone between two bins can pass at both; the runs then overlap and read one
    // frequency, and the more prominent one stands for it. Runs two bins apart that read
    // frequencies over a bin apart are two lines (a hum's fundamental beside a partial
    // that pulled its peak at times, or a note that ends as a tone starts), and each is
    // judged on its own.
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return median(a.above) > median(b.above); });
    std::vector<Run> kept;
    for (const Run& r : runs) {
        bool twin = false;
        for (const Run& k : kept)
            twin = twin || (std::abs(k.bin - r.bin) <= p.twin_bins && std::min(k.to, r.to) > std::max(k.from, r.from) &&
                            std::fabs(median(k.hz) - median(r.hz)) <= p.twin_hz_bins * f.bin_hz());
        if (!twin) kept.push_back(r);
    }

    for (size_t i = 0, found = kept.size(); i < found; ++i) {
        Run low;
        if (!fundamental_below(p, f, kept[i], &low)) continue;
        // Two harmonics may give one fundamental. A run of its own at its frequency does
        // not stand for it: that run is judged on its own readings, which the program over
        // it pulls, and where both pass they are joined as pieces of one tone.
        bool known = false;
        for (size_t j = found; j < kept.size(); ++j)
            known = known || (std::abs(kept[j].bin - low.bin) <= p.known_fundamental_bins &&
                              std::min(kept[j].to, low.to) > std::max(kept[j].from, low.from));
        low.harmonic = int32_t(i);
        if (!known) kept.push_back(low);
    }

    std::vector<Tone> candidates;
    for (const Run& r : kept) candidates.push_back(tone_of(p, audio, f, r, first, count));
    std::vector<Tone> tones;
    std::vector<Run> runs_of_tones;
    std::vector<bool> taken_up(kept.size(), false);
    for (size_t i = 0; i < kept.size(); ++i) {
        const Run& r = kept[i];
        const Tone& t = candidates[i];
        // A fundamental stands on its harmonics, and falls with them.
        if (r.harmonic >= 0 && !family_stands(p, f, kept, taken_up, r)) continue;
        // A held note's level scatters and moves as a whole; program sound over a
        // tone scatters its level without moving it.
        if (t.level_range_db > p.tone_level_range_db) continue;
        if (t.level_range_db > p.held_range_db && t.level_trend_db > p.held_trend_db) continue;
        if (t.level_slope_db > p.held_slope_db) continue;
        // A steady stretch in the middle of a partial that goes on at its frequency on
        // both sides is a piece of program sound, not a tone switched on and off.
        if (!t.from_region_start && !t.to_region_end && track_goes_on(p, f, t, true, shortest) &&
            track_goes_on(p, f, t, false, shortest))
            continue;
        if (starts_with_another(p, f, candidates, t, shortest)) continue;
        if (r.second_look && unsteady_within(p, f, failed, r, t)) continue;
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
        if (!taken[i]) gather_harmonics(p, f, runs_of_tones[i], shortest, &tones[i], &tones, &taken);
    for (size_t i = 0; i < tones.size(); ++i)
        if (!taken[i]) d.tones.push_back(tones[i]);
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
    if (d.tones.empty() || (from == first && to == first + count)) return d;
    const Detection around = tones_within(p, audio, from, to - from);
    std::vector<Tone> kept;
    for (const Tone& t : d.tones)
        if (stands_in(around, t)) kept.push_back(t);
    d.tones = kept;
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
