#include "tool/session/detect_use_case.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect_stream.h"
#include "tool/analysis/tool_error.h"
#include "tool/session/fit.h"
#include "tool/session/plugin_session.h"

DetectAnswer detect_use_case(FilterTable& table, const DetectFile& file, const DetectRequest& rq,
                             const DetectProgress& progress)
{
    const int32_t rate = file.rate;
    const int64_t first = stretch_first_frame(rate, file.frames, rq.placement);
    int64_t count = file.frames - first;
    if (rq.length_given) count = std::min<int64_t>(count, std::llround(rq.length_seconds * rate));
    if (rq.hz_given && (!(rq.hz > 0) || rq.hz >= rate / 2.0))
        throw UsageError(fmt::format("--hz {:g} is not between 0 and half the sampling rate ({:g} Hz)", rq.hz,
                                    rate / 2.0));
    if (count < shortest_region(rate))
        throw ToolError(fmt::format("the region holds only {:.3f} s of audio, too little to tell a steady tone; "
                                    "detect needs {:.3f} s",
                                    double(std::max<int64_t>(count, 0)) / rate, double(shortest_region(rate)) / rate));

    // Only the fit holds more than a chunk: the audio around the chosen tone. Frames
    // count from where the region's surround and the fit's reach begin.
    const FrameRange reach = fit_reach(table, rate, file.frames, rq.placement, first + count);
    const int64_t origin = std::min(reach.first, std::max<int64_t>(0, first - surround_length(rate)));
    const SampleSource source = file.from(origin);
    const int64_t at = first - origin;
    if (progress) progress(0, count);
    const Detection d = detect_tones_in(source, at, count, chunk_plan(rate, file.channels), [&](int64_t more) {
        if (progress) progress(more, count);
    });

    DetectAnswer a;
    a.detection = in_file(d, origin);
    a.facts.path = rq.name;
    a.facts.rate = rate;
    a.facts.channels = file.channels;
    a.facts.frames = file.frames;
    a.facts.region_first = first;
    a.facts.region_end = first + count;
    a.facts.video_rate_num = rq.placement.video_rate_num;
    a.facts.video_rate_den = rq.placement.video_rate_den;
    // With nothing steady in the region, a named frequency has nothing to fit: settings
    // for noise would only cut a band of the program.
    if (d.tones.empty()) return a;
    a.chosen = choose_and_fit(table, source, origin, file.frames, rq.placement, d, rq.hz_given, rq.hz, at, count);
    a.chosen_given = true;
    return a;
}
