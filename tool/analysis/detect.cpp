#include "tool/analysis/detect.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect_parts.h"

using namespace detection;

namespace {

// Bins no wider than this (Hz): a 50 Hz hum's harmonics then lie 8 bins or more apart,
// so between two main lobes (kLobeBins) stand bins of floor. The block is a power of two,
// so every width from 5.9 to 11.7 Hz gives the same block at 48 kHz: a bound of the
// method, not a figure fitted to recordings; a narrower bin costs time and smears a
// tone that moves.
constexpr double kWidestBinHz = 6.0;

}  // namespace

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

// The stages in order, each from the one before's result; every drop is noted by the
// stage that makes it.
Detection tones_within(const DetectParams& p, const Audio& audio, int64_t first, int64_t count, ProbeKernels* kernels)
{
    Detection d;
    const Frames f = frame_peaks_over(p, audio, first, count);
    d.resolution_hz = f.bin_hz();
    const int32_t shortest = std::max(kHopsPerBlock, int32_t(p.shortest_seconds * f.rate / f.hop));
    const Context c{p, audio, f, first, count, shortest, kernels};
    const Looks looks = look_at_runs(c, runs_over(c), &d.dropped);
    const std::vector<Run> lines = lines_of(c, looks.steady, &d.dropped);
    std::vector<Confirmed> tones = confirmed_tones(c, lines, looks.unsteady, &d.dropped);
    join_pieces(c, &tones, &d.dropped);
    d.tones = families(c, with_odd_fundamentals(c, long_enough(c, std::move(tones), &d.dropped)), &d.dropped);
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
    // The look around the region probes much the same frequencies as the first.
    ProbeKernels kernels;
    Detection d = tones_within(p, audio, first, count, &kernels);
    const int64_t from = std::max<int64_t>(0, first - surround_length(audio.rate, p));
    const int64_t to = std::min(audio.frames(), first + count + surround_length(audio.rate, p));
    if (!d.tones.empty() && (from != first || to != first + count)) {
        const Detection around = tones_within(p, audio, from, to - from, &kernels);
        std::vector<Tone> kept;
        for (const Tone& t : d.tones) {
            if (stands_in(around, t)) kept.push_back(t);
            else
                d.dropped.push_back(
                    Dropped{DropStage::kSurround, DropReason::kNotInSurround, t.hz, t.first, t.end, 0, 0, 0});
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
