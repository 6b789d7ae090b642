#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <climits>
#include <cmath>

#include "cli/tool_error.h"

namespace {
const char* const kSliderHelp[kSliderCount] = {
    "notch centre, in units of 10 Hz",
    "length of the processed stretch in seconds",
    "FFT block size as a power of two",
    "notch half-width in spectrum entries, about half a bin each",
    "fade-in from silence, in percent of the stretch",
};
}

void add_setting_options(CLI::App* app, SettingOptions* o, OptionSet set)
{
    for (int i = 0; i < kSliderCount; ++i) {
        if (set == kStretchSettings && i != kSeconds && i != kFftOrder && i != kWidth) continue;
        app->add_option_function<int32_t>(
            "--" + option_name(i),
            [o, i](const int32_t& v) {
                o->slider[i] = v;
                o->given[i] = true;
            },
            std::string(kSliderHelp[i]) + " (default and range: the plug-in's own)");
    }
    if (set == kAllSettings) {
        app->add_option_function<double>(
               "--hz", [o](const double& v) {
                   o->hz = v;
                   o->hz_given = true;
               },
               "notch centre in Hz: picks the frequency value whose real centre lies nearest")
            ->excludes("--frequency");
        app->add_flag("--window", o->window, "shape the notch edges with a raised-cosine ramp");
        app->add_flag("--no-window", o->no_window, "zero every entry inside the notch")->excludes("--window");
    }
    CLI::Option* frame = app->add_option_function<int64_t>(
        "--start-frame",
        [o](const int64_t& v) {
            o->start_frame = v;
            o->start_frame_given = true;
        },
        "the selection's first video frame, where the stretch starts (default 0)");
    app->add_option("--start", o->start, "where the stretch starts, as a time (1.25s, 1250ms)")->excludes(frame);
    app->add_option("--fps", o->fps, "video rate, e.g. 30 or 30000/1001")->capture_default_str();
    app->add_option("--plugin", o->plugin, "plug-in module to load (default: the one beside this program)");
}

std::string plugin_path(const SettingOptions& o) { return o.plugin.empty() ? default_plugin_path() : o.plugin; }

Settings resolve_settings(const FilterTable& table, const SettingOptions& o, int32_t rate)
{
    Settings s = default_settings(table);
    for (int i = 0; i < kSliderCount; ++i)
        if (o.given[i]) s.slider[i] = o.slider[i];
    if (o.window) s.use_window = 1;
    if (o.no_window) s.use_window = 0;
    const SliderRanges ranges = slider_ranges(table);
    check_ranges(s, ranges);
    if (o.hz_given) s.slider[kFrequency] = frequency_for_hz(o.hz, s, ranges, rate);
    const NotchGeometry g = notch_geometry(s, rate);
    if (!g.inside)
        throw ToolError("--frequency " + std::to_string(s.slider[kFrequency]) + " puts the notch past the top of the "
                        "spectrum at " + std::to_string(rate) + " Hz with --fft-order " +
                        std::to_string(s.slider[kFftOrder]) + "; lower the frequency or the FFT order");
    return s;
}

Placement resolve_placement(const SettingOptions& o)
{
    Placement p;
    parse_video_rate(o.fps, &p.video_rate_num, &p.video_rate_den);
    int64_t frame = o.start_frame;
    if (!o.start.empty()) {
        // The frame that holds this time; a hair of tolerance keeps 1.2s at 30 fps on
        // frame 36 despite binary fractions.
        const double seconds = parse_seconds(o.start);
        frame = int64_t(std::floor(seconds * p.video_rate_num / p.video_rate_den + 1e-9));
    }
    if (frame < 0 || frame > INT32_MAX)
        throw ToolError("the stretch's first frame " + std::to_string(frame) + " is not a frame number");
    p.start_frame = int32_t(frame);
    return p;
}
