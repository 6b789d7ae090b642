#pragma once
// Command-line options shared by the commands that drive or describe the plug-in:
// the sliders and check box by name, --hz, where the stretch starts, the video rate
// and the module's path.
#include <cstdint>
#include <string>

#include "tool/analysis/settings.h"
#include "tool/session/detect_use_case.h"
#include "tool/session/placement.h"

struct FilterTable;

namespace CLI {
class App;
}

struct SettingOptions {
    int32_t slider[kSliderCount] = {};
    bool given[kSliderCount] = {};
    bool window = false;
    bool no_window = false;
    double hz = 0;
    bool hz_given = false;
    int64_t start_frame = 0;
    bool start_frame_given = false;
    std::string start;       // a time, e.g. 1.25s
    std::string fps = "30/1";
    bool fps_given = false;  // the default rate is a guess the text owns up to
    std::string plugin;      // empty: the module beside the executable
};

enum OptionSet {
    kAllSettings,      // every slider, --hz and the check box
    kMeasureSettings,  // as kAllSettings, and --hz may name the tone beside --frequency
    kStretchSettings,  // only what shapes the stretch and the notch's width: --seconds,
                       // --fft-order, --width
    kPlacementOnly,    // no sliders: only where the stretch starts
};

// Registers the settings of `set`, and always --start/--start-frame, --fps and --plugin.
// With `table` (may be null) every slider's help line gives the plug-in's range and
// default.
void add_setting_options(CLI::App* app, SettingOptions* options, OptionSet set, const FilterTable* table);

// Registers --plot, which takes only a name ending in .svg (or -), on `app`.
void add_plot_option(CLI::App* app, std::string* plot);

// Registers --plugin, the module to load, on `app`.
void add_plugin_option(CLI::App* app, std::string* plugin);

// The module's path: --plugin or the default.
std::string plugin_path(const std::string& plugin);
std::string plugin_path(const SettingOptions& options);

// The plug-in's defaults with the user's values applied, checked against the slider
// ranges, checked against what the plug-in's 32-bit arithmetic can serve at this rate
// and channel count, and --hz resolved for this sampling rate (an error names the
// reachable range when it lies outside; with --frequency given too, --hz only names a
// tone and leaves the frequency as given). Throws ToolError.
Settings resolve_settings(const FilterTable& table, const SettingOptions& options, int32_t rate,
                          int32_t channels = 1);

// The video rate and the selection's first frame (from --start-frame, or --start
// rounded down to the frame that holds that time). Throws ToolError.
// A --start between two frames' starts gets one note on stderr unless `quiet`.
Placement resolve_placement(const SettingOptions& options, bool quiet = false);

// detect's request for the file `name` at `rate` with `channels`: the placement, the
// length to look at (a time; empty: to the end) and the tone named, if any, once the
// plug-in's default settings are known to serve that rate. Throws ToolError.
DetectRequest detect_request(const FilterTable& table, const std::string& name, const SettingOptions& options,
                             const std::string& length, bool hz_given, double hz, int32_t rate, int32_t channels);
