// tulm: runs the band-elimination plug-in over audio files through the host stand-in,
// and finds and measures the tone it is meant to remove.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/tool_error.h"

int main(int argc, char** argv)
{
    CLI::App app{"tulm: cuts a steady tone out of a stretch of audio with the tulm plug-in.\n"
                 "Without a command it runs the demo."};
    app.name("tulm");
    app.require_subcommand(0, 1);

    RenderOptions render;
    CLI::App* r = app.add_subcommand("render", "run the plug-in over IN as the host's output pass, write OUT");
    r->add_option("IN", render.in, "input audio file")->required();
    r->add_option("OUT", render.out, "output file, 16-bit PCM; format from the extension")->required();
    add_setting_options(r, &render.settings, kAllSettings);
    r->add_flag("--preview", render.preview, "deliver as the host's preview instead of its output pass");
    r->add_option("--diff", render.diff, "also write IN - OUT: what the plug-in removed");
    r->add_option("--plot", render.plot, "also write an SVG of the spectra and the stretch's edges");
    r->add_flag("-q,--quiet", render.quiet, "print nothing on success");

    DetectOptions detect;
    CLI::App* d = app.add_subcommand("detect", "find the strongest steady tone in the stretch and the settings for it");
    d->add_option("IN", detect.in, "input audio file")->required();
    add_setting_options(d, &detect.settings, kStretchSettings);

    MeasureOptions measure;
    CLI::App* m = app.add_subcommand("measure", "compare IN with its processed version OUT over the stretch");
    m->add_option("IN", measure.in, "the original")->required();
    m->add_option("OUT", measure.out, "the processed file")->required();
    add_setting_options(m, &measure.settings, kAllSettings);
    m->add_flag("--json", measure.json, "print JSON");
    m->add_option_function<double>(
        "--min-attenuation",
        [&measure](const double& v) {
            measure.min_attenuation = v;
            measure.min_attenuation_given = true;
        },
        "exit with status 3 when the tone was cut by less than this many dB");
    m->add_option("--plot", measure.plot, "also write an SVG of the spectra and the stretch's edges");

    DemoOptions demo;
    CLI::App* e = app.add_subcommand("demo", "synthesise a clip with a 1 kHz tone, remove it, write demo-*.wav and demo.svg");
    e->add_option("--plugin", demo.plugin, "plug-in module to load (default: the one beside this program)");

    TableOptions table;
    CLI::App* t = add_table_command(&app, &table);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        fmt::print(stderr, "tulm: error: {}\n", e.what());
        return kExitUsage;
    }

    try {
        if (r->parsed()) return run_render(render);
        if (d->parsed()) return run_detect(detect);
        if (m->parsed()) return run_measure(measure);
        if (t->parsed()) return run_table(table);
        return run_demo(demo);
    } catch (const ToolError& e) {
        fmt::print(stderr, "tulm: error: {}\n", e.what());
        return kExitError;
    } catch (const std::bad_alloc&) {
        fmt::print(stderr, "tulm: error: out of memory\n");
        return kExitError;
    }
}
