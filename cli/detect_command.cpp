#include <fmt/format.h>

#include <algorithm>

#include "cli/commands.h"
#include "cli/detect.h"
#include "cli/report.h"
#include "cli/suggest.h"
#include "cli/tool_error.h"

int run_detect(const DetectOptions& o)
{
    PluginSession plugin(plugin_path(o.settings));
    const AudioShape shape = audio_shape(o.in);
    const Settings settings = resolve_settings(plugin.table(), o.settings, shape.rate, shape.channels);
    const int64_t first = stretch_first_frame(shape.rate, shape.frames, resolve_placement(o.settings));
    const NotchGeometry g = notch_geometry(settings, shape.rate);
    const int64_t count = std::min<int64_t>(g.length, shape.frames - first);
    if (count < 1024)
        throw ToolError("the stretch holds only " + std::to_string(count) + " frames of audio, too few to analyse");

    int64_t file_frames = 0;
    const Audio in = read_region(o.in, first, first + count, &file_frames);
    const Tone tone = detect_tone(in, 0, count);
    fmt::print("stretch: frames {} to {} ({:.3f} s to {:.3f} s) of {}\n", first, first + count - 1,
               double(first) / in.rate, double(first + count) / in.rate, o.in);
    fmt::print("{}", tone_text(tone));
    if (!tone.found) return 0;

    fmt::print("\nsettings that centre the notch on {:.2f} Hz (covers: the band the notch touches at width {};\n"
               "cover width: the narrowest width reaching {:g} of the plug-in's bins past the tone and its drift)\n",
               tone.hz, settings.slider[kWidth], kGuardBins);
    fmt::print("{:>9} {:>9} {:>11} {:>21} {:>11} {:>21}\n", "fft-order", "frequency", "centre Hz", "covers Hz",
               "cover width", "cover width covers Hz");
    const SliderRanges ranges = slider_ranges(plugin.table());
    for (const Suggestion& s : suggest_settings(tone, settings, ranges, in.rate)) {
        if (!s.placed) {
            fmt::print("{:>9} {:>9}\n", s.settings.slider[kFftOrder], "-");
            continue;
        }
        const std::string covers = fmt::format("{:.1f} - {:.1f}", s.notch.low_hz, s.notch.high_hz);
        const std::string cover_width = s.cover_width ? std::to_string(s.cover_width) : "-";
        const std::string cover_covers =
            s.cover_width ? fmt::format("{:.1f} - {:.1f}", s.cover.low_hz, s.cover.high_hz) : "beyond the slider";
        fmt::print("{:>9} {:>9} {:>11.1f} {:>21} {:>11} {:>21}\n", s.settings.slider[kFftOrder],
                   s.settings.slider[kFrequency], s.notch.centre_hz, covers, cover_width, cover_covers);
    }
    return 0;
}
