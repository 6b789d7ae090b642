#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/measure.h"
#include "cli/output_file.h"
#include "cli/report.h"
#include "cli/svg_plot.h"
#include "cli/tool_error.h"

int run_measure(const MeasureOptions& o)
{
    check_distinct_files({{o.in, "IN", false}, {o.out, "OUT", false}, {o.plot, "--plot", true}});
    PluginSession plugin(plugin_path(o.settings));
    const AudioShape shape = audio_shape(o.in);
    const Settings settings = resolve_settings(plugin.table(), o.settings, shape.rate, shape.channels);
    const int64_t first = stretch_first_frame(shape.rate, shape.frames, resolve_placement(o.settings));
    const NotchGeometry g = notch_geometry(settings, shape.rate);
    const int64_t from = first - plot_margin(shape.rate), to = first + g.length + plot_margin(shape.rate);
    int64_t in_frames = 0, out_frames = 0;
    const Audio in = read_region(o.in, from, to, &in_frames);
    const Audio out = read_region(o.out, from, to, &out_frames);
    if (in_frames != out_frames)
        throw ToolError("the two files differ in length, so one is not the other processed");
    Measurement m = measure(in, out, first - in.first_frame, g);

    if (!o.plot.empty()) {
        OutputFile plot(o.plot);
        plot.write_text(svg_plot(in, out, m, fmt::format("{} against {}", o.out, o.in)));
        plot.commit();
    }
    m.stretch_first += in.first_frame;
    m.middle_first += in.first_frame;
    if (o.json) {
        fmt::print("{}", measurement_json(m, settings, in.rate));
    } else {
        fmt::print("settings: {}\n", settings_line(settings));
        fmt::print("{}", measurement_text(m, in.rate));
    }

    if (o.min_attenuation_given) {
        if (!m.tone.found) {
            fmt::print(stderr, "tulm: no steady tone found in {}, so its cut cannot reach {:.1f} dB\n", o.in,
                       o.min_attenuation);
            return kExitNotCutEnough;
        }
        if (!(m.tone_attenuation_db >= o.min_attenuation)) {
            fmt::print(stderr, "tulm: the tone at {:.1f} Hz was cut by {:.1f} dB, less than the {:.1f} dB required\n",
                       m.tone.hz, m.tone_attenuation_db, o.min_attenuation);
            return kExitNotCutEnough;
        }
    }
    return 0;
}
