#include "tool/commands/options.h"
#include "tool/commands/parse_units.h"
#include "tool/session/plugin_session.h"

#include <CLI/CLI.hpp>

#include <climits>
#include <cmath>
#include <strings.h>

#include <fmt/format.h>

#include "render/plan_arithmetic.h"
#include "shell/host_interface.h"
#include "tool/analysis/tool_error.h"

namespace {
const char* const kSliderHelp[kSliderCount] = {
    nullptr, // frequency_help()
    "length of the processed stretch in seconds",
    "FFT block size as a power of two",
    "notch half-width in spectrum entries, about half a bin each",
    "fade-in from silence, in percent of the stretch",
};

// The frequency value is no number of Hz: the plug-in rounds value x 10 Hz to an entry
// of its spectrum, whose spacing depends on the rate and the FFT order.
std::string frequency_help()
{
    Settings s;
    s.slider[kSeconds] = 1;
    s.slider[kFrequency] = 68;
    s.slider[kFftOrder] = 13;
    const double a = notch_geometry(s, 48000).centre_hz;
    s.slider[kFrequency] = 100;
    s.slider[kFftOrder] = 11;
    const double b = notch_geometry(s, 48000).centre_hz;
    return fmt::format("the plug-in's frequency value, which sets the notch centre only roughly at value x 10 Hz: "
                       "at 48 kHz, 68 lands on {:.0f} Hz with --fft-order 13 and 100 on {:.0f} Hz with --fft-order "
                       "11; `tulm table` lists the real centres, and --hz picks the value for a tone",
                       a, b);
}

} // namespace

void add_setting_options(CLI::App* app, SettingOptions* o, OptionSet set, const FilterTable* table)
{
    for (int i = 0; i < kSliderCount; ++i) {
        if (set == kPlacementOnly) break;
        if (set == kStretchSettings && i != kSeconds && i != kFftOrder && i != kWidth) continue;
        const std::string range =
            table ? " (" + std::to_string(table->slider_minima[i]) + " to " + std::to_string(table->slider_maxima[i]) +
                        ", default " + std::to_string(table->slider_defaults[i]) + ")"
                  : " (range and default: the plug-in's own)";
        const std::string name = "--" + option_name(i);
        app->add_option_function<std::string>(
            name,
            [o, i, name](const std::string& v) {
                o->slider[i] = int32_t(parse_whole(name, v, INT32_MIN, INT32_MAX));
                o->given[i] = true;
            },
            (i == kFrequency ? frequency_help() : std::string(kSliderHelp[i])) + range)
            ->type_name("INT");
    }
    if (set == kAllSettings || set == kMeasureSettings) {
        CLI::Option* hz =
            app->add_option_function<std::string>(
                   "--hz",
                   [o](const std::string& v) {
                       o->hz = parse_real("--hz", v);
                       o->hz_given = true;
                   },
                   std::string("notch centre in Hz, within the centres the plug-in can reach at the "
                               "file's rate: picks the frequency value whose real centre lies nearest") +
                       (set == kMeasureSettings ? "; with --frequency, only names the tone to measure" : ""))
                ->type_name("FLOAT");
        if (set == kAllSettings) hz->excludes("--frequency");
        app->add_flag("--window", o->window, "shape the notch edges with a raised-cosine ramp (default: off)");
        app->add_flag("--no-window", o->no_window, "zero every entry inside the notch (the default)")
            ->excludes("--window");
    }
    CLI::Option* frame = app->add_option_function<std::string>(
        "--start-frame",
        [o](const std::string& v) {
            o->start_frame = parse_whole("--start-frame", v, 0, INT32_MAX);
            o->start_frame_given = true;
        },
        fmt::format("the selection's first video frame, where the stretch starts (0 to {}, default 0)", INT32_MAX))
        ->type_name("INT");
    app->add_option_function<std::string>(
           "--start",
           [o](const std::string& v) {
               parse_seconds(v);
               o->start = v;
           },
           "where the stretch starts, as a time (1.25s, 1250ms; default 0s); the stretch starts at the start of "
           "the video frame that holds it")
        ->excludes(frame);
    app->add_option("--fps", o->fps, "video rate, 1 to 1000000 over 1 to 1000000, e.g. 30 or 30000/1001")
        ->capture_default_str()
        ->each([o](const std::string&) { o->fps_given = true; });
    add_plugin_option(app, &o->plugin);
}

void add_plot_option(CLI::App* app, std::string* plot)
{
    app->add_option_function<std::string>(
        "--plot",
        [plot](const std::string& name) {
            const std::string tail = name.size() >= 4 ? name.substr(name.size() - 4) : "";
            if (name != "-" && strcasecmp(tail.c_str(), ".svg") != 0)
                throw UsageError("--plot " + name + ": the plot is an SVG drawing, so name it FILE.svg");
            *plot = name;
        },
        "also write an SVG drawing (FILE.svg) of the spectra and the stretch's edges");
}

void add_plugin_option(CLI::App* app, std::string* plugin)
{
    app->add_option("--plugin", *plugin,
                    "plug-in module to load, a path (a bare name is a file in this folder; default: the tulm.so "
                    "beside this program)");
}

std::string plugin_path(const std::string& plugin) { return plugin.empty() ? default_plugin_path() : plugin; }

std::string plugin_path(const SettingOptions& o) { return plugin_path(o.plugin); }

namespace {

void check_rate_served(const Settings& s, int32_t rate, int32_t channels)
{
    const int32_t highest = highest_rate_served(s, channels);
    if (rate > highest)
        throw ToolError(ErrorCode::kRateNotServed, {{"rate", double(rate)},
                                                    {"channels", double(channels)},
                                                    {"seconds", double(s.slider[kSeconds])},
                                                    {"highest", double(highest)}});
}

// The plug-in renders nothing, and so passes every sample untouched, where its buffer
// cannot hold the stretch and one video frame's audio: at a slow enough video rate one
// frame's audio outgrows it.
void check_frames_served(const Settings& s, const std::string& fps, int32_t rate, int32_t channels)
{
    int32_t num = 0, den = 0;
    parse_video_rate(fps, &num, &den);
    const int64_t span = notch_geometry(s, rate).length;
    if (plan_fits(span, plan_frame_capacity(rate, num, den), channels)) return;
    const int64_t longest = plan_longest_frame(span, channels);
    if (longest < 1)
        throw ToolError(ErrorCode::kStretchOverBuffer, {{"seconds", double(s.slider[kSeconds])},
                                                        {"rate", double(rate)},
                                                        {"channels", double(channels)}});
    throw UsageError(ErrorCode::kFrameTooLong, {{"fps", fps},
                                                {"frame_samples", double((int64_t(rate) * den + num - 1) / num)},
                                                {"rate", double(rate)},
                                                {"longest", double(longest)},
                                                {"channels", double(channels)},
                                                {"seconds", double(s.slider[kSeconds])},
                                                {"lowest_fps", double(rate) / double(longest)}});
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
    check_frames_served(s, o.fps, rate, channels);
    if (o.hz_given && o.given[kFrequency]) {
        if (!(o.hz > 0) || o.hz >= rate / 2.0)
            throw UsageError(ErrorCode::kHzOutsideHalfRate, {{"hz", o.hz}, {"half_rate", rate / 2.0}});
    } else if (o.hz_given) {
        double low = 0, high = 0;
        reachable_centres(s, ranges, rate, &low, &high);
        if (low < 0)
            throw ToolError(ErrorCode::kNoNotchInside,
                            {{"rate", double(rate)}, {"fft_order", double(s.slider[kFftOrder])}});
        if (o.hz < low || o.hz > high)
            throw UsageError(ErrorCode::kHzOutsideReach, {{"hz", o.hz},
                                                          {"rate", double(rate)},
                                                          {"fft_order", double(s.slider[kFftOrder])},
                                                          {"low", low},
                                                          {"high", high}});
        s.slider[kFrequency] = frequency_for_hz(o.hz, s, ranges, rate);
    }
    const NotchGeometry g = notch_geometry(s, rate);
    if (!g.inside)
        throw UsageError(ErrorCode::kNotchPastTop, {{"frequency", double(s.slider[kFrequency])},
                                                    {"rate", double(rate)},
                                                    {"fft_order", double(s.slider[kFftOrder])}});
    return s;
}

Placement resolve_placement(const SettingOptions& o, bool quiet)
{
    Placement p;
    parse_video_rate(o.fps, &p.video_rate_num, &p.video_rate_den);
    int64_t frame = o.start_frame;
    if (!o.start.empty()) {
        // The frame that holds this time; a hair of tolerance keeps 1.2s at 30 fps on
        // frame 36 despite binary fractions.
        const double seconds = parse_seconds(o.start);
        const double exact = seconds * p.video_rate_num / p.video_rate_den;
        const double at = std::floor(exact + 1e-9);
        if (!(at <= double(INT32_MAX))) throw UsageError(ErrorCode::kStartPastLastFrame, {{"start", o.start}});
        frame = int64_t(at);
        if (!quiet && exact - at > 1e-9)
            fmt::print(stderr, "tulm: note: --start {} lies inside video frame {} at {}/{} fps; the stretch starts "
                       "where that frame starts, {:.3f} s\n", o.start, frame, p.video_rate_num, p.video_rate_den,
                       at * p.video_rate_den / p.video_rate_num);
    }
    if (frame < 0 || frame > INT32_MAX) throw UsageError(ErrorCode::kNotFrameNumber, {{"frame", double(frame)}});
    p.start_frame = int32_t(frame);
    return p;
}

DetectRequest detect_request(const FilterTable& table, const std::string& name, const SettingOptions& o,
                             const std::string& length, bool hz_given, double hz, int32_t rate, int32_t channels)
{
    resolve_settings(table, o, rate, channels);
    DetectRequest r;
    r.name = name;
    r.placement = resolve_placement(o);
    r.length_given = !length.empty();
    if (r.length_given) r.length_seconds = parse_seconds(length);
    r.hz_given = hz_given;
    r.hz = hz;
    return r;
}
