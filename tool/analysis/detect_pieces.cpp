#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/statistics.h"

namespace detection {

// One merge for every two pieces of a tone: those louder sound broke apart here, and
// those neighbouring chunks of a long region report (detect_stream.cpp).
void join_tone(Tone* a, const Tone& b)
{
    if (b.above_floor_db > a->above_floor_db) {
        a->hz = b.hz;
        a->level_dbfs = b.level_dbfs;
        a->above_floor_db = b.above_floor_db;
        a->harmonics = b.harmonics;
    }
    // The piece that sounded longer had its program measured over more of it.
    if (b.end - b.first > a->end - a->first) a->over_band_db = b.over_band_db;
    a->drift_hz = std::max(a->drift_hz, b.drift_hz);
    a->level_range_db = std::max(a->level_range_db, b.level_range_db);
    a->level_trend_db = std::max(a->level_trend_db, b.level_trend_db);
    a->level_slope_db = std::max(a->level_slope_db, b.level_slope_db);
    a->beat_db = std::max(a->beat_db, b.beat_db);
    if (b.first < a->first) {
        a->first = b.first;
        a->from_region_start = b.from_region_start;
    }
    if (b.end > a->end) {
        a->end = b.end;
        a->to_region_end = b.to_region_end;
    }
}

namespace {

// The longest gap two pieces of one tone may leave (samples): a block, what louder sound
// over it hides at once; and two swells of a beating pair, which its null parts for a
// third of the beat or so (its level under half of its swells'), a shorter time than
// either swell sounds.
int64_t bridged(const Context& c, const Tone& a, const Tone& b)
{
    if (!beats(c.p, a.beat_db) || !beats(c.p, b.beat_db)) return c.f.n;
    return std::max<int64_t>(c.f.n, std::min(a.end - a.first, b.end - b.first));
}

// Whether the gap [from, to) between two pieces at one frequency stays as loud there as
// the quieter piece (within level_range_db): a hum goes on under the bass note that broke
// its run, where a beep switched off leaves its frequency quiet until the next.
bool gap_covered(const Context& c, const Tone& a, const Tone& b, int64_t from, int64_t to)
{
    const Frames& f = c.f;
    const int32_t frames = int32_t(f.peaks.size());
    const auto frame_at = [&](int64_t sample) {
        return int32_t(std::clamp<int64_t>((sample - f.n / 2 - f.first) / f.hop, 0, frames));
    };
    const int32_t lo = frame_at(from), hi = std::max(frame_at(to), lo + 1);
    if (hi > frames) return false;
    const std::vector<double> levels = probe_levels(c, Probe(f.n, (a.hz + b.hz) / 2, c.audio.rate, c.kernels), lo, hi);
    return median(levels) >= std::min(a.level_dbfs, b.level_dbfs) - c.p.level_range_db;
}

}  // namespace

// Louder sound over a tone can break its run in two; the two pieces then lie at one
// frequency and their extents meet (or nearly: within a block), and are one tone.
void join_pieces(const Context& c, std::vector<Confirmed>* tones, std::vector<Dropped>* dropped)
{
    const Frames& f = c.f;
    for (size_t i = 0; i < tones->size(); ++i)
        for (size_t j = i + 1; j < tones->size(); ++j) {
            Tone& a = (*tones)[i].tone;
            const Tone& b = (*tones)[j].tone;
            const int64_t gap = std::max(a.first, b.first) - std::min(a.end, b.end);
            int64_t reach = bridged(c, a, b);
            if (std::fabs(a.hz - b.hz) > f.bin_hz()) continue;
            // A longer gap, as short as either piece, that louder sound at the tone's frequency filled.
            const int64_t longest = std::min(a.end - a.first, b.end - b.first);
            if (gap > reach && gap <= longest &&
                gap_covered(c, a, b, std::min(a.end, b.end), std::max(a.first, b.first)))
                reach = longest;
            if (gap > reach) continue;
            dropped->push_back(Dropped{DropStage::kPieces, DropReason::kPiece, b.hz, b.first, b.end,
                                       double(gap) / f.rate, double(reach) / f.rate, a.hz});
            join_tone(&a, b);
            Run& ra = (*tones)[i].run;
            const Run& rb = (*tones)[j].run;
            ra.from = std::min(ra.from, rb.from);
            ra.to = std::max(ra.to, rb.to);
            ra.hz.insert(ra.hz.end(), rb.hz.begin(), rb.hz.end());
            tones->erase(tones->begin() + std::ptrdiff_t(j));
            j = i;  // the joined tone may now meet one passed over
        }
}

}  // namespace detection
