#pragma once
// The tool's commands. Each returns the process's exit status and reports a user's
// mistake by throwing ToolError, before any output file is in place.
#include <string>

#include "cli/options.h"

// Exit statuses besides 0.
constexpr int kExitError = 1;          // a ToolError
constexpr int kExitUsage = 2;          // the command line did not parse
constexpr int kExitNotCutEnough = 3;   // measure --min-attenuation was not met

struct RenderOptions {
    SettingOptions settings;
    std::string in, out, diff, plot;
    std::string encoding; // empty: the input's own
    bool preview = false;
    bool quiet = false;
};

struct DetectOptions {
    SettingOptions settings;
    std::string in;
};

struct MeasureOptions {
    SettingOptions settings;
    std::string in, out, plot;
    bool json = false;
    double min_attenuation = 0;
    bool min_attenuation_given = false;
};

struct DemoOptions {
    std::string plugin;
};

int run_render(const RenderOptions& options);
int run_detect(const DetectOptions& options);
int run_measure(const MeasureOptions& options);
int run_demo(const DemoOptions& options);
