// `tulm table`: the slider values that cut each tone people commonly need to remove, for
// each sampling rate. The release ships its output as slider-table.txt.
#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/report/slider_table_text.h"
#include "tool/session/plugin_session.h"

namespace {

// Rates a sound track of the host can have; beyond them the table means nothing.
constexpr int32_t kLowestRate = 8000;
constexpr int32_t kHighestRate = 192000;

} // namespace

int run_table(const TableOptions& o)
{
    for (int32_t rate : o.rates)
        if (rate < kLowestRate || rate > kHighestRate)
            throw ToolError(fmt::format("--rate {} is not a sampling rate between {} and {} Hz", rate, kLowestRate,
                                        kHighestRate));
    PluginSession plugin(o.plugin.empty() ? default_plugin_path() : o.plugin);
    const SliderRanges ranges = slider_ranges(plugin.table());
    Settings base = default_settings(plugin.table());
    SliderTableRequest request;
    request.rates = o.rates.empty() ? kTableRates : o.rates;
    if (o.width_given) {
        base.slider[kWidth] = o.width;
        request.width = o.width;
    }
    check_ranges(base, ranges);
    request.tones = common_tones();
    for (double hz : o.tones) {
        if (!(hz > 0) || hz > 1e6) throw ToolError(fmt::format("--tone {:g} is not a frequency in Hz", hz));
        request.tones.push_back({hz, "指定の音", "asked for"});
    }
    std::stable_sort(request.tones.begin(), request.tones.end(),
                     [](const CommonTone& a, const CommonTone& b) { return a.hz < b.hz; });
    fmt::print("{}", slider_table_text(request, base, ranges));
    return 0;
}

CLI::App* add_table_command(CLI::App* app, TableOptions* o)
{
    CLI::App* t = app->add_subcommand(
        "table", "print the slider values that cut each common tone: a recommended block per sampling rate, then "
                 "frequency/width for every FFT order");
    t->add_option("--rate", o->rates,
                  fmt::format("sampling rate in Hz; may be given more than once (default: {})",
                              fmt::join(kTableRates, ", ")));
    t->add_option_function<int32_t>(
        "--width",
        [o](const int32_t& v) {
            o->width = v;
            o->width_given = true;
        },
        "use this width in every grid cell instead of the narrowest that covers the tone");
    t->add_option("--tone", o->tones, "also list this tone, in Hz; may be given more than once");
    t->add_option("--plugin", o->plugin, "plug-in module to load (default: the one beside this program)");
    t->footer("\n" + slider_table_legend());
    return t;
}
