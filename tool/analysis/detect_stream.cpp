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

std::vector<ChunkSpan> chunk_spans(int64_t frames, int32_t rate, int64_t first, int64_t count, const ChunkPlan& plan,
                                   const DetectParams& params)
{
    const int64_t around = surround_length(rate, params), end = first + count;
    if (count <= plan.chunk && first <= plan.overlap)
        return {ChunkSpan{0, std::min(frames, end + around), first, count}};
    std::vector<ChunkSpan> spans;
    const int64_t chunk = std::min(plan.chunk, count);
    for (int64_t s = first;; s += chunk - plan.overlap) {
        // The last chunk ends with the region, a whole chunk long.
        s = std::min(s, end - chunk);
        const int64_t from = std::max<int64_t>(0, s - around);
        spans.push_back(ChunkSpan{from, std::min(frames, s + chunk + around), s - from, chunk});
        if (s + chunk == end) break;
    }
    return spans;
}

int64_t chunk_adds(const std::vector<ChunkSpan>& spans, size_t k, int64_t first)
{
    const auto end_of = [&](size_t i) { return spans[i].from + spans[i].at + spans[i].count; };
    return end_of(k) - (k == 0 ? first : end_of(k - 1));
}

Detection detect_chunk(const Audio& audio, const ChunkSpan& span, const DetectParams& params)
{
    return detect_tones(audio, span.at, span.count, params);
}

Detection join_chunks(const std::vector<ChunkSpan>& spans, const std::vector<Detection>& chunks, int64_t first,
                      int64_t end, int32_t rate)
{
    // A region looked at whole is the detector's answer as it stands.
    if (spans.size() == 1 && spans[0].from == 0) return chunks[0];
    Detection whole;
    std::vector<Tone> pieces;
    size_t previous_chunk = 0;  // where the dropped candidates of the chunk before begin
    for (size_t k = 0; k < spans.size(); ++k) {
        const int64_t from = spans[k].from;
        const Detection& d = chunks[k];
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
    }

    // A whine that drifts moves on from chunk to chunk: each piece is held to the
    // frequency of the latest piece joined to the tone, its neighbour in time, give or
    // take half of what each drifts over its own extent (two pieces of one drift that
    // meet lie no further apart), so the pieces chain however far it drifts in all; the
    // tone then lies at the middle of its pieces' frequencies and drifts over all of
    // them, which a cut must cover.
    std::stable_sort(pieces.begin(), pieces.end(), [](const Tone& a, const Tone& b) { return a.first < b.first; });
    const int64_t block = analysis_length(rate);
    std::vector<double> latest_hz, latest_drift_hz, lowest_hz, highest_hz;
    for (const Tone& t : pieces) {
        size_t same = whole.tones.size();
        for (size_t i = 0; i < whole.tones.size(); ++i) {
            const Tone& u = whole.tones[i];
            if (std::fabs(latest_hz[i] - t.hz) <= whole.resolution_hz + (latest_drift_hz[i] + t.drift_hz) / 2 &&
                std::max(u.first, t.first) - std::min(u.end, t.end) <= block)
                same = i;
        }
        if (same < whole.tones.size()) {
            detection::join_tone(&whole.tones[same], t);
            latest_hz[same] = t.hz;
            latest_drift_hz[same] = t.drift_hz;
            lowest_hz[same] = std::min(lowest_hz[same], t.hz);
            highest_hz[same] = std::max(highest_hz[same], t.hz);
        } else {
            whole.tones.push_back(t);
            latest_hz.push_back(t.hz);
            latest_drift_hz.push_back(t.drift_hz);
            lowest_hz.push_back(t.hz);
            highest_hz.push_back(t.hz);
        }
    }
    for (size_t i = 0; i < whole.tones.size(); ++i) {
        Tone& t = whole.tones[i];
        if (highest_hz[i] - lowest_hz[i] <= whole.resolution_hz) continue;
        t.hz = (lowest_hz[i] + highest_hz[i]) / 2;
        t.drift_hz += highest_hz[i] - lowest_hz[i];
    }
    // A piece that sounds from a chunk's start is already sounding at the region's start
    // only when the chunk is the first.
    for (Tone& t : whole.tones) {
        t.from_region_start = t.from_region_start && t.first == first;
        t.to_region_end = t.to_region_end && t.end == end;
    }
    rank_by_audibility(&whole.tones, rate);
    return whole;
}

Detection detect_tones_in(const SampleSource& source, int64_t first, int64_t count, const ChunkPlan& plan,
                          const DetectParams& params, const std::function<void(int64_t frames)>& done)
{
    const std::vector<ChunkSpan> spans = chunk_spans(source.frames, source.rate, first, count, plan, params);
    std::vector<Detection> chunks;
    for (size_t k = 0; k < spans.size(); ++k) {
        chunks.push_back(detect_chunk(read_frames(source, spans[k].from, spans[k].to), spans[k], params));
        if (done) done(chunk_adds(spans, k, first));
    }
    return join_chunks(spans, chunks, first, first + count, source.rate);
}

Detection detect_tones_in(const SampleSource& source, int64_t first, int64_t count, const ChunkPlan& plan,
                          const std::function<void(int64_t frames)>& done)
{
    return detect_tones_in(source, first, count, plan, DetectParams(), done);
}
