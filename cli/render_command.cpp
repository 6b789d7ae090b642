#include <fmt/format.h>

#include <algorithm>
#include <memory>

#include "cli/commands.h"
#include "cli/measure.h"
#include "cli/output_file.h"
#include "cli/report.h"
#include "cli/svg_plot.h"
#include "cli/tool_error.h"

namespace {

// What was removed: input minus output, held to 16 bits so it can be listened to.
Audio difference(const Audio& in, const Audio& out)
{
    Audio d = in;
    for (size_t i = 0; i < d.samples.size(); ++i)
        d.samples[i] = int16_t(std::clamp(int32_t(in.samples[i]) - int32_t(out.samples[i]), -32768, 32767));
    return d;
}

} // namespace

int run_render(const RenderOptions& o)
{
    PluginSession plugin(plugin_path(o.settings));
    Audio in = read_audio(o.in);
    const Settings settings = resolve_settings(plugin.table(), o.settings, in.rate);
    const Placement placement = resolve_placement(o.settings);
    const int64_t first = stretch_first_frame(in, placement);
    const NotchGeometry g = notch_geometry(settings, in.rate);

    // Every destination is checked and claimed before the work, and only renamed into
    // place once all of them are complete.
    output_format_for(o.out);
    if (!o.diff.empty()) output_format_for(o.diff);
    OutputFile out_file(o.out);
    std::unique_ptr<OutputFile> diff_file, plot_file;
    if (!o.diff.empty()) diff_file = std::make_unique<OutputFile>(o.diff);
    if (!o.plot.empty()) plot_file = std::make_unique<OutputFile>(o.plot);

    const bool keep_input = diff_file || plot_file;
    const Audio out = keep_input ? run_plugin(plugin.table(), in, settings, placement, o.preview)
                                 : run_plugin(plugin.table(), std::move(in), settings, placement, o.preview);
    write_audio(out_file.temp_path(), o.out, out);
    if (diff_file) write_audio(diff_file->temp_path(), o.diff, difference(in, out));
    if (plot_file) {
        const Measurement m = measure(in, out, first, g);
        plot_file->write_text(svg_plot(in, out, m, fmt::format("{} - {}", o.in, settings_line(settings))));
    }
    out_file.commit();
    if (diff_file) diff_file->commit();
    if (plot_file) plot_file->commit();

    if (!o.quiet) {
        fmt::print("settings: {}{}\n", settings_line(settings), o.preview ? " (preview delivery)" : "");
        fmt::print("{}", geometry_text(g, first, out.rate));
        if (first + g.length > out.frames())
            fmt::print("note:    the stretch runs {} frames past the end of the file\n", first + g.length - out.frames());
        fmt::print("wrote:   {}{}{}\n", o.out, diff_file ? ", " + o.diff : "", plot_file ? ", " + o.plot : "");
    }
    return 0;
}
