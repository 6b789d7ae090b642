#include "tool/analysis/detect.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect_parts.h"

using namespace detection;

int32_t analysis_length(int32_t rate)
{
    int32_t n = 256;
    while (rate / double(n) > kWidestBinHz) n *= 2;
    return n;
}

int64_t shortest_region(int32_t rate) { return analysis_length(rate) + int64_t(kShortestSeconds * rate); }

int64_t surround_length(int32_t rate) { return int64_t(kSurroundSeconds * rate); }

namespace {

Detection tones_within(const Audio& audio, int64_t first, int64_t count)
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

    // A tone between two bins can pass at both; the runs then overlap and read one
    // frequency, and the more prominent one stands for it. Runs two bins apart that read
    // frequencies over a bin apart are two lines (a hum's fundamental beside a partial
    // that pulled its peak at times, or a note that ends as a tone starts), and each is
    // judged on its own.
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return quantile(a.above, 0.5) > quantile(b.above, 0.5); });
    std::vector<Run> kept;
    for (const Run& r : runs) {
        bool twin = false;
        for (const Run& k : kept)
            twin = twin || (std::abs(k.bin - r.bin) <= 2 && std::min(k.to, r.to) > std::max(k.from, r.from) &&
                            std::fabs(quantile(k.hz, 0.5) - quantile(r.hz, 0.5)) <= f.bin_hz());
        if (!twin) kept.push_back(r);
    }

    for (size_t i = 0, found = kept.size(); i < found; ++i) {
        Run low;
        if (!fundamental_below(f, kept[i], &low)) continue;
        // Two harmonics may give one fundamental. A run of its own at its frequency does
        // not stand for it: that run is judged on its own readings, which the program over
        // it pulls, and where both pass they are joined as pieces of one tone.
        bool known = false;
        for (size_t j = found; j < kept.size(); ++j)
            known = known || (std::abs(kept[j].bin - low.bin) <= 2 &&
                              std::min(kept[j].to, low.to) > std::max(kept[j].from, low.from));
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
        // A fundamental stands on its harmonics, and falls with them.
        if (r.harmonic >= 0 && !family_stands(f, kept, taken_up, r)) continue;
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
        if (!taken[i]) gather_harmonics(f, runs_of_tones[i], shortest, &tones[i], &tones, &taken);
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
Detection detect_tones(const Audio& audio, int64_t first, int64_t count)
{
    Detection d = tones_within(audio, first, count);
    const int64_t from = std::max<int64_t>(0, first - surround_length(audio.rate));
    const int64_t to = std::min(audio.frames(), first + count + surround_length(audio.rate));
    if (d.tones.empty() || (from == first && to == first + count)) return d;
    const Detection around = tones_within(audio, from, to - from);
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

Tone tone_near(const Detection& d, double hz, int64_t first, int64_t count, bool* detected)
{
    *detected = true;
    for (const Tone& t : d.tones)
        if (std::fabs(t.hz - hz) <= 2 * d.resolution_hz) return t;
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
