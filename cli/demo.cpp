#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/demo_signal.h"
#include "cli/detect.h"
#include "cli/measure.h"
#include "cli/output_file.h"
#include "cli/report.h"
#include "cli/suggest.h"
#include "cli/svg_plot.h"
#include "cli/tool_error.h"

namespace {

// The demo starts its stretch a quarter second into the tone, so the whole stretch
// lies on the tone, and keeps the fade-in short, so the measured middle is long.
constexpr double kStartSeconds = 1.25;
constexpr int32_t kDemoFade = 5;

// The FFT size whose covering notch is narrowest in Hz, among blocks no longer than a
// quarter second (longer blocks smear the stretch's start and end).
const Suggestion* pick(const std::vector<Suggestion>& suggestions, int32_t rate)
{
    const Suggestion* best = nullptr;
    for (const Suggestion& s : suggestions) {
        if (!s.placed || s.cover_width == 0 || s.cover.n > rate / 4) continue;
        if (!best || s.cover.high_hz - s.cover.low_hz < best->cover.high_hz - best->cover.low_hz) best = &s;
    }
    return best;
}

} // namespace

int run_demo(const DemoOptions& o)
{
    PluginSession plugin(o.plugin.empty() ? default_plugin_path() : o.plugin);
    const DemoClip clip;
    const Audio in = synthesise_demo(clip);

    Placement placement;
    placement.start_frame = int32_t(kStartSeconds * placement.video_rate_num / placement.video_rate_den);
    const int64_t first = stretch_first_frame(in, placement);
    Settings settings = default_settings(plugin.table());
    settings.slider[kFade] = kDemoFade;
    const int64_t look = int64_t(settings.slider[kSeconds]) * in.rate;
    const Tone tone = detect_tone(in, first, look);
    if (!tone.found) throw ToolError("the demo clip's tone was not found; the analysis is broken");

    const SliderRanges ranges = slider_ranges(plugin.table());
    const std::vector<Suggestion> suggestions = suggest_settings(tone, settings, ranges, in.rate);
    const Suggestion* choice = pick(suggestions, in.rate);
    if (!choice) throw ToolError("no FFT size can place the notch on the demo's tone");
    settings = choice->settings;
    settings.slider[kWidth] = choice->cover_width;
    check_ranges(settings, ranges);
    const NotchGeometry g = notch_geometry(settings, in.rate);

    OutputFile in_file("demo-in.wav"), out_file("demo-out.wav"), plot_file("demo.svg");
    const Audio out = run_plugin(plugin.table(), in, settings, placement, false);
    const Measurement m = measure(in, out, first, g);
    plot_file.write_text(svg_plot(in, out, m, "tulm demo - " + settings_line(settings)));
    write_audio(&in_file, in);
    write_audio(&out_file, out);
    plot_file.commit();

    fmt::print("demo: {:.0f} s of {}-channel {} Hz audio, a {:.0f} Hz tone from {:.1f} s to {:.1f} s\n",
               clip.seconds, clip.channels, clip.rate, clip.tone_hz, clip.tone_on, clip.tone_off);
    fmt::print("{}", tone_text(tone));
    fmt::print("chosen:  {} --start-frame {}\n", settings_line(settings), placement.start_frame);
    fmt::print("{}", geometry_text(g, first, in.rate));
    fmt::print("{}", measurement_text(m, in.rate));
    fmt::print("wrote demo-in.wav, demo-out.wav and demo.svg\n");
    return 0;
}
