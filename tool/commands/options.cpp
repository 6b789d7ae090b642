#include "tool/commands/options.h"
#include "tool/commands/parse_units.h"
#include "tool/session/plugin_session.h"

#include <CLI/CLI.hpp>

#include <climits>
#include <cmath>

#include <fmt/format.h>

#include "shell/host_interface.h"
#include "tool/analysis/tool_error.h"

namespace {
const char* const kSliderHelp[kSliderCount] = {
    "notch centre, in units of 10 Hz",
    "length of the processed stretch in seconds",
    "FFT block size as a power of two",
    "notch half-width in spectrum entries, about half a bin each",
    "fade-in from silence, in percent of the stretch",
};
}

double finite_option(const std::string& name, double value)
{
    if (!std::isfinite(value)) throw CLI::ValidationError(name, "must be a finite number");
    return value;
}

void add_setting_options(CLI::App* app, SettingOptions* o, OptionSet set, const FilterTable* table)
{
    for (int i = 0; i < kSliderCount; ++i) {
        if (set == kPlacementOnly) break;
        if (set == kStretchSettings && i != kSeconds && i != kFftOrder && i != kWidth) continue;
        const std::string range =
            table ? " (" + std::to_string(table->slider_minima[i]) + " to " + std::to_string(table->slider_maxima[i]) +
                        ", default " + std::to_string(table->slider_defaults[i]) + ")"
                  : " (range and default: the plug-in's own)";
        app->add_option_function<int32_t>(
            "--" + option_name(i),
            [o, i](const int32_t& v) {
                o->slider[i] = v;
                o->given[i] = true;
            },
            std::string(kSliderHelp[i]) + range);
    }
    if (set == kAllSettings) {
        app->add_option_function<double>(
               "--hz", [o](const double& v) {
                   o->hz = finite_option("--hz", v);
                   o->hz_given = true;
               },
               "notch centre in Hz, within the centres the plug-in can reach at the file's rate: picks the "
               "frequency value whose real centre lies nearest")
            ->excludes("--frequency");
        app->add_flag("--window", o->window, "shape the notch edges with a raised-cosine ramp (default: off)");
        app->add_flag("--no-window", o->no_window, "zero every entry inside the notch (the default)")
            ->excludes("--window");
    }
    CLI::Option* frame = app->add_option_function<int64_t>(
        "--start-frame",
        [o](const int64_t& v) {
            o->start_frame = v;
            o->start_frame_given = true;
        },
        "the selection's first video frame, where the stretch starts (0 to 2147483647, default 0)");
    app->add_option("--start", o->start, "where the stretch starts, as a time (1.25s, 1250ms; default 0s)")
        ->excludes(frame);
    app->add_option("--fps", o->fps, "video rate, 1 to 1000000 over 1 to 1000000, e.g. 30 or 30000/1001")
        ->capture_default_str();
    app->add_option("--plugin", o->plugin, "plug-in module to load (default: the one beside this program)");
}

std::string plugin_path(const SettingOptions& o) { return o.plugin.empty() ? default_plugin_path() : o.plugin; }

namespace {

// The plug-in holds the stretch and its capture buffer with 32-bit counts: (seconds + 1)
// x channels x rate samples must fit, or it would overrun them.
void check_rate_served(const Settings& s, int32_t rate, int32_t channels)
{
    const int64_t per_hz = int64_t(s.slider[kSeconds] + 1) * channels;
    const int64_t highest = INT32_MAX / per_hz;
    if (rate > highest)
        throw ToolError("a sampling rate of " + std::to_string(rate) + " Hz is more than the plug-in can serve with " +
                        std::to_string(channels) + " channels and --seconds " + std::to_string(s.slider[kSeconds]) +
                        " (at most " + std::to_string(highest) + " Hz)");
}

// The lowest and highest notch centres (Hz) any frequency value reaches at this rate.
void reachable_centres(const Settings& s, const SliderRanges& ranges, int32_t rate, double* low, double* high)
{
    Settings trial = s;
    *low = -1;
    *high = -1;
    for (int32_t f = ranges.minimum[kFrequency]; f <= ranges.maximum[kFrequency]; ++f) {
        trial.slider[kFrequency] = f;
        const NotchGeometry g = notch_geometry(trial, rate);
        if (!g.inside) continue;
        if (*low < 0 || g.centre_hz < *low) *low = g.centre_hz;
        if (g.centre_hz > *high) *high = g.centre_hz;
    }
}

} // namespace

Settings resolve_settings(const FilterTable& table, const SettingOptions& o, int32_t rate, int32_t channels)
{
    Settings s = default_settings(table);
    for (int i = 0; i < kSliderCount; ++i)
        if (o.given[i]) s.slider[i] = o.slider[i];
    if (o.window) s.use_window = 1;
    if (o.no_window) s.use_window = 0;
    const SliderRanges ranges = slider_ranges(table);
    check_ranges(s, ranges);
    check_rate_served(s, rate, channels);
    if (o.hz_given) {
        double low = 0, high = 0;
        reachable_centres(s, ranges, rate, &low, &high);
        if (low < 0 || o.hz < low || o.hz > high)
            throw ToolError(fmt::format("--hz {:g} is outside the notch centres the plug-in reaches at {} Hz with "
                                        "--fft-order {} ({:.1f} to {:.1f} Hz)",
                                        o.hz, rate, s.slider[kFftOrder], low, high));
        s.slider[kFrequency] = frequency_for_hz(o.hz, s, ranges, rate);
    }
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
        const double at = std::floor(seconds * p.video_rate_num / p.video_rate_den + 1e-9);
        if (!(at <= double(INT32_MAX)))
            throw ToolError("--start " + o.start + " lies past the last frame the host can select");
        frame = int64_t(at);
    }
    if (frame < 0 || frame > INT32_MAX)
        throw ToolError("the stretch's first frame " + std::to_string(frame) + " is not a frame number");
    p.start_frame = int32_t(frame);
    return p;
}
