// `tulm guide TEMPLATE`: a guide with every figure it quotes computed here, from the
// plug-in loaded as the host loads it. The release runs it over release/README-*.txt,
// so a change to the arithmetic reaches the guides; `--list` prints the figures.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <fstream>
#include <sstream>

#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/report/guide_figures.h"
#include "tool/session/plugin_session.h"

int run_guide(const GuideOptions& o)
{
    if (o.list == !o.in.empty())
        throw ToolError("guide needs either a template to fill or --list");
    std::string text;
    if (!o.list) {
        std::ifstream in(o.in, std::ios::binary);
        if (!in) throw ToolError("cannot read the guide template " + o.in);
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    PluginSession plugin(o.plugin.empty() ? default_plugin_path() : o.plugin);
    const GuideExample example = run_guide_example(plugin.table());
    const std::vector<GuideFigure> figures = guide_figures(plugin.table(), example);
    if (o.list) {
        for (const GuideFigure& f : figures) fmt::print("{}={}\n", f.name, f.value);
        return 0;
    }
    fmt::print("{}", fill_guide(text, figures));
    return 0;
}

CLI::App* add_guide_command(CLI::App* app, GuideOptions* o)
{
    CLI::App* g = app->add_subcommand(
        "guide", "print a guide template with its @figures@ computed: the slider ranges, where the notch lands, "
                 "and the worked example fitted and measured through the plug-in");
    g->add_option("TEMPLATE", o->in, "the guide template, e.g. release/README-ja.txt");
    g->add_flag("--list", o->list, "print every figure as name=value instead");
    g->add_option("--plugin", o->plugin, "plug-in module to load (default: the one beside this program)");
    return g;
}
