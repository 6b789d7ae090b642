#include <fmt/format.h>

#include "tool/analysis/measure.h"
#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/io/audio_file.h"
#include "tool/io/output_file.h"
#include "tool/report/report.h"
#include "tool/report/svg_plot.h"

int run_measure(const MeasureOptions& o)
{
    check_distinct_files({{o.in, "IN", false}, {o.out, "OUT", false}, {o.plot, "--plot", true}});
    PluginSession plugin(plugin_path(o.settings));
    AudioReader in_reader(o.in);
    if (const std::string cut = in_reader.cut_short_warning(); !cut.empty())
        fmt::print(stderr, "tulm: warning: {}\n", cut);
    const int32_t rate = in_reader.rate();
    const Settings settings = resolve_settings(plugin.table(), o.settings, rate, in_reader.channels());
    const int64_t first = stretch_first_frame(rate, in_reader.frames(), resolve_placement(o.settings));
    const NotchGeometry g = notch_geometry(settings, rate);
    const int64_t from = first - plot_margin(rate), to = first + g.length + plot_margin(rate);
    // A file damaged outside the stretch is refused as render refuses it.
    in_reader.check_decodes();
    const Audio in = read_region(in_reader, from, to);
    AudioReader out_reader(o.out);
    if (const std::string cut = out_reader.cut_short_warning(); !cut.empty())
        fmt::print(stderr, "tulm: warning: {}\n", cut);
    out_reader.check_decodes();
    const Audio out = read_region(out_reader, from, to);
    if (in_reader.frames() != out_reader.frames())
        throw ToolError("the two files differ in length, so one is not the other processed");
    Measurement m = measure(in, out, first - in.first_frame, g, o.settings.hz_given ? o.settings.hz : 0);

    if (!o.plot.empty()) {
        OutputFile plot(o.plot);
        plot.write_text(svg_plot(in, out, m, fmt::format("{} against {}", o.out, o.in)));
        plot.commit();
    }
    m.stretch_first += in.first_frame;
    m.middle_first += in.first_frame;
    m.tone_first += in.first_frame;
    m.tone_end += in.first_frame;
    if (o.json) {
        fmt::print("{}", measurement_json(m, settings, in.rate));
    } else {
        fmt::print("settings: {}\n", settings_line(settings));
        fmt::print("{}", measurement_text(m, in.rate));
    }

    if (o.min_attenuation_given) {
        if (!m.tone.found) {
            fmt::print(stderr, "tulm: {} {}, so no cut reaches --min-attenuation {:.1f} dB\n", no_tone_text(m), o.in,
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
