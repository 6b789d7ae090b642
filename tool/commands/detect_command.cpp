#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect.h"
#include "tool/analysis/detect_stream.h"
#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/commands/parse_units.h"
#include "tool/io/audio_file.h"
#include "tool/io/file_samples.h"
#include "tool/io/progress.h"
#include "tool/report/detect_json.h"
#include "tool/report/explain.h"
#include "tool/report/report.h"
#include "tool/session/cut_check.h"
#include "tool/session/fit.h"

int run_detect(const DetectOptions& o)
{
    PluginSession plugin(plugin_path(o.settings));
    AudioReader reader(o.in);
    if (const std::string cut = reader.cut_short_warning(); !cut.empty())
        fmt::print(stderr, "tulm: warning: {}\n", cut);
    // A file damaged outside the region is refused as render refuses it.
    reader.check_decodes();
    const int32_t rate = reader.rate();
    const int64_t frames = reader.frames();
    resolve_settings(plugin.table(), o.settings, rate, reader.channels());
    const Placement placement = resolve_placement(o.settings);
    const int64_t first = stretch_first_frame(rate, frames, placement);
    int64_t count = frames - first;
    if (!o.length.empty()) count = std::min<int64_t>(count, std::llround(parse_seconds(o.length) * rate));
    if (o.hz_given && (!(o.hz > 0) || o.hz >= rate / 2.0))
        throw UsageError(fmt::format("--hz {:g} is not between 0 and half the sampling rate ({:g} Hz)", o.hz,
                                    rate / 2.0));
    if (count < shortest_region(rate))
        throw ToolError(fmt::format("the region holds only {:.3f} s of audio, too little to tell a steady tone; "
                                    "detect needs {:.3f} s",
                                    double(std::max<int64_t>(count, 0)) / rate,
                                    double(shortest_region(rate)) / rate));

    // The region is looked at a chunk at a time, read from the file as the analysis
    // asks; only the fit holds more than a chunk: the audio around the chosen tone.
    // Frames count from where the region's surround and the fit's reach begin.
    const FrameRange reach = fit_reach(plugin.table(), rate, frames, placement, first + count);
    const int64_t origin = std::min(reach.first, std::max<int64_t>(0, first - surround_length(rate)));
    FileSamples samples(reader, origin);
    const int64_t at = first - origin;
    Progress progress("detecting", count, o.quiet);
    const Detection d = detect_tones_in(samples.source(), at, count, chunk_plan(rate, reader.channels()),
                                        [&](int64_t looked) { progress.advance(looked); });
    progress.finish();
    const Detection shown = in_file(d, origin);
    if (!o.json) {
        fmt::print("region: {:.3f} s to {:.3f} s of {}\n", double(first) / rate, double(first + count) / rate, o.in);
        fmt::print("{}", detection_text(shown, rate, placement.video_rate_num, placement.video_rate_den));
        if (samples.clipped())
            fmt::print("note: the input goes over full scale, and its conversion to the plug-in's 16 bits clips it: "
                       "the harmonics of a tone that reaches over it are this tool's, not the file's\n");
        if (o.explain) fmt::print("{}", explain_text(shown, rate));
    }
    DetectFacts facts;
    facts.path = o.in;
    facts.rate = rate;
    facts.channels = reader.channels();
    facts.frames = frames;
    facts.clips = samples.clipped();
    facts.region_first = first;
    facts.region_end = first + count;
    facts.video_rate_num = placement.video_rate_num;
    facts.video_rate_den = placement.video_rate_den;
    // With nothing steady in the region, a named frequency has nothing to fit: settings
    // for noise would only cut a band of the program.
    if (d.tones.empty()) {
        if (o.json) fmt::print("{}", detect_json(facts, shown, nullptr));
        else if (o.hz_given) fmt::print("nothing steady sounds at --hz {:g}, so no settings are suggested\n", o.hz);
        return kExitNoTone;
    }

    const ChosenTone chosen = choose_and_fit(plugin.table(), samples.source(), origin, frames, placement, d,
                                             o.hz_given, o.hz, at, count);
    if (o.json)
        fmt::print("{}", detect_json(facts, shown, &chosen));
    else
        fmt::print("{}", fit_text(chosen.fit, chosen.tone, rate, o.in, chosen.checked ? &chosen.check : nullptr));
    return 0;
}
