// `tulm table`: for each sampling rate and FFT order, the frequency slider value whose
// real notch centre lies nearest each tone people commonly need to remove. The release
// ships its output as slider-table.txt, so it is plain text that reads the same in a
// terminal and in a Windows editor, and it holds nothing that changes between runs.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/commands/parse_units.h"
#include "tool/session/plugin_session.h"

namespace {

struct CommonTone {
    double hz;
    const char* what;
};

// Mains hum and its harmonics up to the fifth, the usual test and tuning tones, the
// line whine of 625-line and 525-line picture tubes, and a few round values.
const CommonTone kTones[] = {
    {50, "hum 50 Hz"},        {60, "hum 60 Hz"},        {100, "hum 50 Hz x2"},   {120, "hum 60 Hz x2"},
    {150, "hum 50 Hz x3"},    {180, "hum 60 Hz x3"},    {200, "hum 50 Hz x4"},   {240, "hum 60 Hz x4"},
    {250, "hum 50 Hz x5"},    {300, "hum 60 Hz x5"},    {440, "tuning tone A"},  {500, "round value"},
    {1000, "test tone"},      {2000, "round value"},    {5000, "round value"},   {10000, "round value"},
    {15625, "CRT line 625/50"}, {15734, "CRT line 525/60"},
};

// One row: the tone, the slider value, the real centre, how far it lies from the tone,
// the band the notch covers, and "*" when the centre misses the tone by more than half
// that band (the tone then lies at or outside the notch's edge).
std::string row_text(const CommonTone& tone, const Settings& base, const SliderRanges& ranges, int32_t rate)
{
    const std::string head = fmt::format("{:>9.0f}", tone.hz);
    if (tone.hz >= rate / 2.0) return fmt::format("{}  {:>6}  above half the sampling rate   {}\n", head, "-", tone.what);
    Settings s = base;
    try {
        s.slider[kFrequency] = frequency_for_hz(tone.hz, s, ranges, rate);
    } catch (const ToolError&) {
        return fmt::format("{}  {:>6}  no slider value places the notch   {}\n", head, "-", tone.what);
    }
    const NotchGeometry g = notch_geometry(s, rate);
    const bool missed = std::fabs(g.centre_hz - tone.hz) > (g.high_hz - g.low_hz) / 2;
    return fmt::format("{}  {:>6}  {:>9.1f}  {:>+7.1f}  {:>8.1f} - {:<8.1f} {:1}  {}\n", head,
                       s.slider[kFrequency], g.centre_hz, g.centre_hz - tone.hz, g.low_hz, g.high_hz,
                       missed ? "*" : "", tone.what);
}

std::string slider_table(const std::vector<CommonTone>& tones, const Settings& base, const SliderRanges& ranges,
                         int32_t rate)
{
    std::string out = fmt::format("== {} Hz, 幅 (width) {} ==\n", rate, base.slider[kWidth]);
    for (int32_t order = ranges.minimum[kFftOrder]; order <= ranges.maximum[kFftOrder]; ++order) {
        Settings s = base;
        s.slider[kFftOrder] = order;
        const int32_t n = int32_t(1) << order;
        out += fmt::format("\n{} Hz, FFT {} (block of {} samples, one bin {:.2f} Hz)\n", rate, order, n,
                           double(rate) / n);
        out += "  tone Hz  周波数  centre Hz   off Hz  band the notch covers, Hz\n";
        for (const CommonTone& tone : tones) out += row_text(tone, s, ranges, rate);
    }
    return out;
}

} // namespace

int run_table(const TableOptions& o)
{
    PluginSession plugin(plugin_path(o.plugin));
    const SliderRanges ranges = slider_ranges(plugin.table());
    Settings base = default_settings(plugin.table());
    if (o.width_given) base.slider[kWidth] = o.width;
    check_ranges(base, ranges);
    // The rates render takes for a mono file at the plug-in's default length.
    const int32_t highest = highest_rate_served(base, 1);
    for (int32_t rate : o.rates)
        if (rate < kLowestRate || rate > highest)
            throw UsageError(fmt::format("--rate {} is not a sampling rate the tool takes ({} to {} Hz)", rate,
                                         kLowestRate, highest));
    std::vector<CommonTone> tones(std::begin(kTones), std::end(kTones));
    for (double hz : o.tones) {
        if (!(hz > 0) || hz > 1e6) throw UsageError(fmt::format("--tone {:g} is not a frequency in Hz", hz));
        tones.push_back({hz, "asked for"});
    }
    std::stable_sort(tones.begin(), tones.end(),
                     [](const CommonTone& a, const CommonTone& b) { return a.hz < b.hz; });

    fmt::print("The 周波数 (frequency) value whose real notch centre lies nearest each common tone.\n"
               "centre: where the notch really lands; off: centre minus tone; band: the bins the notch\n"
               "touches at this 幅 (width); * marks a tone the centre misses by more than half that band.\n");
    for (int32_t rate : o.rates) fmt::print("\n{}", slider_table(tones, base, ranges, rate));
    return 0;
}

CLI::App* add_table_command(CLI::App* app, TableOptions* o)
{
    CLI::App* t = app->add_subcommand("table", "print the frequency value that puts the notch nearest each common tone");
    t->add_option_function<std::vector<std::string>>(
        "--rate",
        [o](const std::vector<std::string>& rates) {
            o->rates.clear();
            for (const std::string& r : rates) o->rates.push_back(int32_t(parse_whole("--rate", r, INT32_MIN, INT32_MAX)));
        },
        fmt::format("sampling rate in Hz; may be given more than once (default: {} and {})", o->rates[0], o->rates[1]))
        ->type_name("INT");
    t->add_option_function<std::string>(
        "--width",
        [o](const std::string& v) {
            o->width = int32_t(parse_whole("--width", v, INT32_MIN, INT32_MAX));
            o->width_given = true;
        },
        "notch half-width in spectrum entries (default: the plug-in's)")
        ->type_name("INT");
    t->add_option("--tone", o->tones, "also list this tone, in Hz; may be given more than once");
    add_plugin_option(t, &o->plugin);
    return t;
}
