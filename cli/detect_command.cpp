#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "cli/commands.h"
#include "cli/detect.h"
#include "cli/fit.h"
#include "cli/report.h"
#include "cli/tool_error.h"

namespace {

// The detected tone nearest `hz` when one lies within two bins of it; otherwise the
// tone as the user names it, taken to sound through the whole region.
Tone tone_at(const Detection& d, double hz, int64_t first, int64_t count)
{
    for (const Tone& t : d.tones)
        if (std::fabs(t.hz - hz) <= 2 * d.resolution_hz) return t;
    Tone t;
    t.found = true;
    t.hz = hz;
    t.resolution_hz = d.resolution_hz;
    t.first = first;
    t.end = first + count;
    t.from_region_start = t.to_region_end = true;
    return t;
}

} // namespace

int run_detect(const DetectOptions& o)
{
    PluginSession plugin(plugin_path(o.settings));
    // The region runs from the placement to the file's end (or --length), so the whole
    // file is read; a rate the plug-in cannot serve is refused before that.
    const AudioShape shape = audio_shape(o.in);
    resolve_settings(plugin.table(), o.settings, shape.rate, shape.channels);
    const Audio in = read_audio(o.in);
    const Placement placement = resolve_placement(o.settings);
    const int64_t first = stretch_first_frame(in, placement);
    int64_t count = in.frames() - first;
    if (!o.length.empty()) count = std::min<int64_t>(count, std::llround(parse_seconds(o.length) * in.rate));
    if (o.hz_given && (!(o.hz > 0) || o.hz >= in.rate / 2.0))
        throw ToolError(fmt::format("--hz {:g} is not between 0 and half the sampling rate ({:g} Hz)", o.hz,
                                    in.rate / 2.0));
    if (count < shortest_region(in.rate))
        throw ToolError(fmt::format("the region holds only {:.3f} s of audio, too little to tell a steady tone; "
                                    "detect needs {:.3f} s",
                                    double(std::max<int64_t>(count, 0)) / in.rate,
                                    double(shortest_region(in.rate)) / in.rate));

    const Detection d = detect_tones(in, first, count);
    fmt::print("region: {:.3f} s to {:.3f} s of {}\n", double(first) / in.rate, double(first + count) / in.rate,
               o.in);
    fmt::print("{}", detection_text(d, in.rate, placement.video_rate_num, placement.video_rate_den));
    if (d.tones.empty() && !o.hz_given) return kExitNoTone;

    const Tone tone = o.hz_given ? tone_at(d, o.hz, first, count) : d.tones.front();
    const Fit fit = fit_settings(plugin.table(), in, tone, placement.video_rate_num, placement.video_rate_den);
    fmt::print("{}", fit_text(fit, tone, in.rate, o.in));
    return 0;
}
