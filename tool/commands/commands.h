#pragma once
// The tool's commands. Each returns the process's exit status and reports a user's
// mistake by throwing ToolError, before any output file is in place.
#include <string>
#include <vector>

#include "tool/commands/options.h"

// Exit statuses besides 0, the same for every command.
constexpr int kExitError = 1;          // a ToolError
constexpr int kExitUsage = 2;          // the command line is wrong: CLI11's errors and a UsageError
constexpr int kExitNotCutEnough = 3;   // measure --min-attenuation was not met
constexpr int kExitNoTone = 4;         // detect found no steady tone, or none near --hz

// What each status means, as --help and the README list it.
struct ExitStatus {
    int status;
    const char* meaning;
};
constexpr ExitStatus kExitStatuses[] = {
    {0, "done"},
    {kExitError, "the files do not allow the work: missing, unreadable, not audio, not writable, too short for "
                 "the stretch, or at a rate the plug-in cannot serve; or the plug-in module does not load"},
    {kExitUsage, "the command line is wrong: an unknown command or option, a missing argument, or a value that "
                 "does not parse or lies outside its range"},
    {kExitNotCutEnough, "measure: the tone was cut by less than --min-attenuation, or there was no tone to cut"},
    {kExitNoTone, "detect: no steady tone found, or none near --hz"},
};

struct RenderOptions {
    SettingOptions settings;
    std::string in, out, diff, plot;
    std::string encoding; // empty: the input's own
    bool preview = false;
    bool quiet = false;
};

struct DetectOptions {
    SettingOptions settings;  // where the region starts, the video rate, the module
    std::string in;
    std::string length;       // how much to analyse, as a time; empty: to the file's end
    double hz = 0;            // fit the settings to this tone instead of the most audible
    bool hz_given = false;
    bool quiet = false;       // no progress bar
    bool json = false;        // print JSON (docs/detect-json.md) in place of the text
    bool explain = false;     // also say why each other candidate is not a tone
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

struct TableOptions {
    std::vector<int32_t> rates;  // empty: the table's own
    std::vector<double> tones;   // besides the common ones
    int32_t width = 0;
    bool width_given = false;
    bool json = false;           // print JSON (the cells, not the text's columns)
    std::string plugin;
};

struct GuideOptions {
    std::string in;     // the template; empty with --list
    bool list = false;
    std::string plugin;
};

int run_render(const RenderOptions& options);
int run_detect(const DetectOptions& options);
int run_measure(const MeasureOptions& options);
int run_demo(const DemoOptions& options);
int run_table(const TableOptions& options);
int run_guide(const GuideOptions& options);

// Registers `table` and its options on `app`; returns the subcommand.
CLI::App* add_table_command(CLI::App* app, TableOptions* options);
CLI::App* add_guide_command(CLI::App* app, GuideOptions* options);
