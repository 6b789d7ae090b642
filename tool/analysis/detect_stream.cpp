#include "tool/analysis/detect_stream.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect_parts.h"

namespace {

constexpr int64_t kChunkSamples = 6'000'000;  // 16-bit samples of one chunk: 12 MB
constexpr double kChunkSeconds = 60;
constexpr double kOverlapSeconds = 6;  // four times the surround a chunk is judged with

// A candidate that two overlapping chunks both dropped, for one reason at one frequency
// over time they share, is one candidate: listed once, over both extents.
bool same_candidate(const Dropped& a, const Dropped& b, double bin_hz)
{
    return a.reason == b.reason && std::fabs(a.hz - b.hz) <= bin_hz && std::min(a.end, b.end) > std::max(a.first, b.first);
}

// `all`'s entries [from, to) are the chunk before's.
void add_dropped(std::vector<Dropped>* all, size_t from, size_t to, Dropped x, double bin_hz)
{
    for (size_t i = from; i < to; ++i) {
        Dropped& y = (*all)[i];
        if (!same_candidate(y, x, bin_hz)) continue;
        y.first = std::min(y.first, x.first);
        y.end = std::max(y.end, x.end);
        return;
    }
    all->push_back(x);
}

} // namespace

ChunkPlan chunk_plan(int32_t rate, int32_t channels)
{
    ChunkPlan p;
    p.overlap = int64_t(kOverlapSeconds * rate);
    p.chunk = std::max(4 * p.overlap, std::min(int64_t(kChunkSeconds * rate), kChunkSamples / std::max(1, channels)));
    return p;
}

Detection detect_tones_in(const SampleSource& source, int64_t first, int64_t count, const ChunkPlan& plan,
                          const DetectParams& params, const std::function<void(int64_t frames)>& done)
{
    const int64_t around = surround_length(source.rate, params), end = first + count;
    if (count <= plan.chunk && first <= plan.overlap) {
        const Detection d =
            detect_tones(read_frames(source, 0, std::min(source.frames, end + around)), first, count, params);
        if (done) done(count);
        return d;
    }

    Detection whole;
    std::vector<Tone> pieces;
    size_t previous_chunk = 0;  // where the dropped candidates of the chunk before begin
    const int64_t chunk = std::min(plan.chunk, count);
    for (int64_t s = first, looked = first;; s += chunk - plan.overlap) {
        // The last chunk ends with the region, a whole chunk long.
        s = std::min(s, end - chunk);
        const int64_t from = std::max<int64_t>(0, s - around);
        const Audio a = read_frames(source, from, std::min(source.frames, s + chunk + around));
        const Detection d = detect_tones(a, s - from, chunk, params);
        whole.resolution_hz = d.resolution_hz;
        for (Tone t : d.tones) {
            t.first += from;
            t.end += from;
            pieces.push_back(t);
        }
        // What each chunk dropped, for --explain; only the chunk before overlaps this one.
        const size_t this_chunk = whole.dropped.size();
        for (Dropped x : d.dropped) {
            x.first += from;
            x.end += from;
            add_dropped(&whole.dropped, previous_chunk, this_chunk, x, d.resolution_hz);
        }
        previous_chunk = this_chunk;
        if (done) done(s + chunk - looked);
        looked = s + chunk;
        if (s + chunk == end) break;
    }

    std::stable_sort(pieces.begin(), pieces.end(), [](const Tone& a, const Tone& b) { return a.first < b.first; });
    const int64_t block = analysis_length(source.rate);
    for (const Tone& t : pieces) {
        Tone* same = nullptr;
        for (Tone& u : whole.tones)
            if (std::fabs(u.hz - t.hz) <= whole.resolution_hz && std::max(u.first, t.first) - std::min(u.end, t.end) <= block)
                same = &u;
        if (same) detection::join_tone(same, t);
        else whole.tones.push_back(t);
    }
    // A piece that sounds from a chunk's start is already sounding at the region's start
    // only when the chunk is the first.
    for (Tone& t : whole.tones) {
        t.from_region_start = t.from_region_start && t.first == first;
        t.to_region_end = t.to_region_end && t.end == end;
    }
    rank_by_audibility(&whole.tones, source.rate);
    return whole;
}

Detection detect_tones_in(const SampleSource& source, int64_t first, int64_t count, const ChunkPlan& plan,
                          const std::function<void(int64_t frames)>& done)
{
    return detect_tones_in(source, first, count, plan, DetectParams(), done);
}
