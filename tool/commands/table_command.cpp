// `tulm table`: the slider values that cut each tone people commonly need to remove, for
// each sampling rate. The release ships its output as slider-table.txt.
#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/commands/parse_units.h"
#include "tool/report/slider_table_json.h"
#include "tool/report/slider_table_text.h"
#include "tool/session/plugin_session.h"

int run_table(const TableOptions& o)
{
    PluginSession plugin(plugin_path(o.plugin));
    const SliderRanges ranges = slider_ranges(plugin.table());
    Settings base = default_settings(plugin.table());
    SliderTableRequest request;
    request.rates = o.rates.empty() ? kTableRates : o.rates;
    if (o.width_given) {
        base.slider[kWidth] = o.width;
        request.width = o.width;
    }
    check_ranges(base, ranges);
    // The rates render takes for a mono file at the plug-in's default length.
    const int32_t highest = highest_rate_served(base, 1);
    for (int32_t rate : request.rates)
        if (rate < kLowestRate || rate > highest)
            throw UsageError(fmt::format("--rate {} is not a sampling rate the tool takes ({} to {} Hz)", rate,
                                         kLowestRate, highest));
    request.tones = common_tones();
    for (double hz : o.tones) {
        if (!(hz > 0) || hz > 1e6) throw UsageError(fmt::format("--tone {:g} is not a frequency in Hz", hz));
        request.tones.push_back({hz, "指定の音", "asked for"});
    }
    std::stable_sort(request.tones.begin(), request.tones.end(),
                     [](const CommonTone& a, const CommonTone& b) { return a.hz < b.hz; });
    fmt::print("{}", o.json ? slider_table_json(request, base, ranges) : slider_table_text(request, base, ranges));
    return 0;
}

CLI::App* add_table_command(CLI::App* app, TableOptions* o)
{
    CLI::App* t = app->add_subcommand(
        "table", "print the slider values that cut each common tone: a recommended block per sampling rate, then "
                 "frequency/width for every FFT order");
    t->add_option_function<std::vector<std::string>>(
         "--rate",
         [o](const std::vector<std::string>& rates) {
             o->rates.clear();
             for (const std::string& r : rates)
                 o->rates.push_back(int32_t(parse_whole("--rate", r, INT32_MIN, INT32_MAX)));
         },
         fmt::format("sampling rate in Hz; may be given more than once (default: {})", fmt::join(kTableRates, ", ")))
        ->type_name("INT");
    t->add_option_function<std::string>(
         "--width",
         [o](const std::string& v) {
             o->width = int32_t(parse_whole("--width", v, INT32_MIN, INT32_MAX));
             o->width_given = true;
         },
         "use this width in every grid cell instead of the narrowest that covers the tone")
        ->type_name("INT");
    t->add_option("--tone", o->tones, "also list this tone, in Hz; may be given more than once");
    t->add_flag("--json", o->json, "print the same cells as JSON in place of the text");
    add_plugin_option(t, &o->plugin);
    t->footer("\n" + slider_table_legend());
    return t;
}
