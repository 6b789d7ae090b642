#include "tool/session/detect_use_case.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/conversion_clipping.h"
#include "tool/analysis/detect_stream.h"
#include "tool/analysis/settings.h"
#include "tool/analysis/tool_error.h"
#include "tool/session/fit.h"
#include "tool/session/plugin_session.h"

DetectJob detect_job(FilterTable& table, const DetectFile& file, const DetectRequest& rq)
{
    const int32_t rate = file.rate;
    const int64_t first = stretch_first_frame(rate, file.frames, rq.placement);
    int64_t count = file.frames - first;
    if (rq.length_given) count = std::min<int64_t>(count, std::llround(rq.length_seconds * rate));
    if (rq.hz_given && (!(rq.hz > 0) || rq.hz >= rate / 2.0))
        throw UsageError(ErrorCode::kHzOutsideHalfRate, {{"hz", rq.hz}, {"half_rate", rate / 2.0}});
    if (rq.hz_given) {
        // The fit may choose any FFT order: beyond every order's centres no settings cut it.
        const SliderRanges ranges = slider_ranges(table);
        Settings s = default_settings(table);
        double low = -1, high = -1;
        for (int32_t order = ranges.minimum[kFftOrder]; order <= ranges.maximum[kFftOrder]; ++order) {
            s.slider[kFftOrder] = order;
            double l = 0, h = 0;
            reachable_centres(s, ranges, rate, &l, &h);
            if (l < 0) continue;
            low = low < 0 ? l : std::min(low, l);
            high = std::max(high, h);
        }
        if (low >= 0 && (rq.hz < low || rq.hz > high))
            throw UsageError(ErrorCode::kHzOutsideReach,
                             {{"hz", rq.hz}, {"rate", double(rate)}, {"low", low}, {"high", high}});
    }
    if (count < shortest_region(rate))
        throw ToolError(ErrorCode::kRegionTooShort, {{"seconds", double(std::max<int64_t>(count, 0)) / rate},
                                                     {"needed", double(shortest_region(rate)) / rate}});

    // Only the fit holds more than a chunk: the audio around the chosen tone. Frames
    // count from where the region's surround and the fit's reach begin.
    const FrameRange reach = fit_reach(table, rate, file.frames, rq.placement, first + count);
    const int64_t origin = std::min(reach.first, std::max<int64_t>(0, first - surround_length(rate)));
    DetectJob job;
    job.origin = origin;
    job.first = first;
    job.count = count;
    job.chunks = chunk_spans(file.frames - origin, rate, first - origin, count, chunk_plan(rate, file.channels));
    return job;
}

DetectAnswer detect_answer(FilterTable& table, const DetectFile& file, const DetectRequest& rq, const DetectJob& job,
                           const SampleSource& source, const std::vector<Detection>& chunks)
{
    const int64_t origin = job.origin, first = job.first, count = job.count, at = first - origin;
    Detection d = join_chunks(job.chunks, chunks, at, at + count, file.rate);
    // Every chunk has been read: whether the conversion clipped is known for the region.
    const bool clips = file.clipped && file.clipped();
    const int32_t left_out = clips ? leave_out_conversion_harmonics(&d, source) : 0;

    DetectAnswer a;
    a.detection = in_file(d, origin);
    a.facts.path = rq.name;
    a.facts.rate = file.rate;
    a.facts.channels = file.channels;
    a.facts.frames = file.frames;
    a.facts.region_first = first;
    a.facts.region_end = first + count;
    a.facts.video_rate_num = rq.placement.video_rate_num;
    a.facts.video_rate_den = rq.placement.video_rate_den;
    a.facts.clips = clips;
    a.facts.conversion_harmonics = left_out;
    // With nothing steady in the region, a named frequency has nothing to fit: settings
    // for noise would only cut a band of the program.
    if (d.tones.empty()) return a;
    a.chosen = choose_and_fit(table, source, origin, file.frames, rq.placement, d, rq.hz_given, rq.hz, at, count);
    a.chosen_given = true;
    return a;
}

DetectAnswer detect_use_case(FilterTable& table, const DetectFile& file, const DetectRequest& rq,
                             const DetectProgress& progress)
{
    const DetectJob job = detect_job(table, file, rq);
    const SampleSource source = file.from(job.origin);
    if (progress) progress(0, job.count);
    std::vector<Detection> chunks;
    for (size_t k = 0; k < job.chunks.size(); ++k) {
        const ChunkSpan& c = job.chunks[k];
        chunks.push_back(detect_chunk(read_frames(source, c.from, c.to), c));
        if (progress) progress(chunk_adds(job.chunks, k, job.first - job.origin), job.count);
    }
    return detect_answer(table, file, rq, job, source, chunks);
}
