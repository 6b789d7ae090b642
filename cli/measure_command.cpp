#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/measure.h"
#include "cli/output_file.h"
#include "cli/report.h"
#include "cli/svg_plot.h"
#include "cli/tool_error.h"

int run_measure(const MeasureOptions& o)
{
    PluginSession plugin(plugin_path(o.settings));
    const Audio in = read_audio(o.in);
    const Audio out = read_audio(o.out);
    const Settings settings = resolve_settings(plugin.table(), o.settings, in.rate);
    const int64_t first = stretch_first_frame(in, resolve_placement(o.settings));
    const NotchGeometry g = notch_geometry(settings, in.rate);
    const Measurement m = measure(in, out, first, g);

    if (!o.plot.empty()) {
        OutputFile plot(o.plot);
        plot.write_text(svg_plot(in, out, m, fmt::format("{} against {}", o.out, o.in)));
        plot.commit();
    }
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
