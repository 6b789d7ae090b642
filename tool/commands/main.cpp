// tulm: runs the band-elimination plug-in over audio files through the host stand-in,
// and finds and measures the tone it is meant to remove.
#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <cctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/commands/error_words.h"
#include "tool/commands/parse_units.h"
#include "tool/session/plugin_session.h"

namespace {

const char* const kExamples =
    "\nExamples:\n"
    "  tulm detect interview.wav --start 12.5s\n"
    "  tulm render interview.wav clean.wav --start 12.5s --hz 1000 --fft-order 13 --diff removed.wav\n"
    "  tulm measure interview.wav clean.wav --start 12.5s --hz 1000 --fft-order 13 --min-attenuation 30\n"
    "  sox long.flac -t wav - | tulm render - - --start 95s --hz 440 | aplay\n";

// A cut that --min-attenuation may ask for lies within this many dB either way: past any
// cut a file can show (a cut to silence counts as endless), so a larger number is a slip.
constexpr double kMostAttenuationDb = 1000;

// The examples, and what each exit status means.
std::string footer()
{
    std::string text = kExamples;
    text += "\nExit status, for every command:\n";
    for (const ExitStatus& e : kExitStatuses) text += fmt::format("  {}  {}\n", e.status, e.meaning);
    return text;
}

// Edits (insertions, deletions, substitutions) that turn `a` into `b`.
size_t edit_distance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "did you mean" for a first word that is no subcommand but lies near one.
bool suggest_subcommand(const CLI::App& app, int argc, char** argv)
{
    if (argc < 2 || argv[1][0] == '-') return false;
    const std::string word = argv[1];
    std::string best;
    size_t best_distance = 3;
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_name() == word) return false;
        const size_t d = edit_distance(word, sub->get_name());
        if (d < best_distance) {
            best_distance = d;
            best = sub->get_name();
        }
    }
    if (best.empty()) return false;
    fmt::print(stderr, "tulm: error: '{}' is not a command; did you mean '{}'? (tulm --help lists them)\n", word, best);
    return true;
}

// The plug-in's registration record, when --help will show its ranges and defaults.
std::unique_ptr<PluginSession> plugin_for_help(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "--help-all")) {
            try {
                return std::make_unique<PluginSession>(default_plugin_path());
            } catch (const ToolError&) {
                return nullptr;
            }
        }
    return nullptr;
}

// CLI11 reads "-" and any character as a short option, so a file named "-.flac" could
// not be named at all. No option of the tool starts with "-" and a character other than
// a letter, and a value such as "-5" or "-.5" is a number: any other such word is a file
// name, parsed as "./-.flac" and given back as typed.
std::vector<std::string> file_names_kept(int argc, char** argv, std::set<std::string>* kept)
{
    std::vector<std::string> args(argv, argv + argc);
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto is = [&a](size_t k, int (*test)(int)) { return a.size() > k && test((unsigned char)a[k]); };
        if (a.size() < 2 || a[0] != '-' || a[1] == '-' || is(1, isalnum) || (a[1] == '.' && is(2, isdigit))) continue;
        args[i] = "./" + a;
        kept->insert(args[i]);
    }
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"tulm: cuts a steady tone out of a stretch of audio with the tulm plug-in.\n"
                 "A file name of - is standard input or output; `tulm demo` shows it at work."};
    app.name("tulm");
    app.require_subcommand(0, 1);
    app.set_version_flag("-V,--version", fmt::format("tulm {} ({})", TULM_VERSION, sf_version_string()));
    app.footer(footer());
    const std::unique_ptr<PluginSession> help_plugin = plugin_for_help(argc, argv);
    const FilterTable* table = help_plugin ? &help_plugin->table() : nullptr;

    RenderOptions render;
    CLI::App* r = app.add_subcommand("render", "run the plug-in over IN as the host's output pass, write OUT");
    r->add_option("IN", render.in, "input audio file, or - for standard input")->required();
    r->add_option("OUT", render.out,
                  "output file, or - for standard output; the input's format and samples unless the extension or "
                  "--encoding says otherwise")
        ->required();
    add_setting_options(r, &render.settings, kAllSettings, table);
    r->add_option("--encoding", render.encoding, "samples of OUT and --diff (default: the input's own)")
        ->check(CLI::IsMember({"8", "16", "24", "32", "float", "double"}));
    r->add_flag("--preview", render.preview, "deliver as the host's preview instead of its output pass");
    r->add_option("--diff", render.diff, "also write IN - OUT: what the plug-in removed");
    add_plot_option(r, &render.plot);
    r->add_flag("-q,--quiet", render.quiet, "print nothing on success, and no progress bar");

    DetectOptions detect;
    CLI::App* d = app.add_subcommand(
        "detect", "find the steady tones from --start on, where they start and stop, and the settings that cut the "
                  "most audible; exit status 4 when there is none");
    d->add_option("IN", detect.in, "input audio file, or - for standard input")->required();
    add_setting_options(d, &detect.settings, kPlacementOnly, table);
    d->add_option("--length", detect.length, "how much to analyse, as a time (default: to the file's end)");
    d->add_option_function<std::string>(
         "--hz",
         [&detect](const std::string& v) {
             detect.hz = parse_real("--hz", v);
             detect.hz_given = true;
         },
         "fit the settings to the tone (or a hum's harmonic) at this frequency instead of the most audible")
        ->type_name("FLOAT");
    d->add_flag("-q,--quiet", detect.quiet, "no progress bar");
    d->add_flag("--json", detect.json, "print JSON in place of the text");
    d->add_flag("--explain", detect.explain,
                "also list every other candidate, the stage that dropped it and the figure against its limit");

    MeasureOptions measure;
    CLI::App* m = app.add_subcommand("measure", "compare IN with its processed version OUT over the stretch");
    m->add_option("IN", measure.in, "the original")->required();
    m->add_option("OUT", measure.out, "the processed file")->required();
    add_setting_options(m, &measure.settings, kMeasureSettings, table);
    m->add_flag("--json", measure.json, "print JSON");
    m->add_option_function<std::string>(
         "--min-attenuation",
         [&measure](const std::string& v) {
             measure.min_attenuation = parse_real("--min-attenuation", v, -kMostAttenuationDb, kMostAttenuationDb);
             measure.min_attenuation_given = true;
         },
         fmt::format("exit with status 3 when the tone was cut by less than this many dB ({:g} to {:g}; default: "
                     "no check)",
                     -kMostAttenuationDb, kMostAttenuationDb))
        ->type_name("FLOAT");
    add_plot_option(m, &measure.plot);

    DemoOptions demo;
    CLI::App* e = app.add_subcommand("demo", "synthesise a clip with a 1 kHz tone, find and remove it, write tulm-demo/in.wav, out.wav and plot.svg");
    add_plugin_option(e, &demo.plugin);

    TableOptions table_options;
    CLI::App* t = add_table_command(&app, &table_options);
    GuideOptions guide_options;
    CLI::App* g = add_guide_command(&app, &guide_options);

    if (suggest_subcommand(app, argc, argv)) return kExitUsage;
    try {
        std::set<std::string> kept;
        std::vector<std::string> args = file_names_kept(argc, argv, &kept);
        std::reverse(args.begin(), args.end());
        args.pop_back();  // the program's name
        app.parse(args);
        for (std::string* name : {&render.in, &render.out, &render.diff, &render.plot, &detect.in, &measure.in,
                                  &measure.out, &measure.plot})
            if (kept.count(*name)) name->erase(0, 2);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        fmt::print(stderr, "tulm: error: {}\n", e.what());
        return kExitUsage;
    } catch (const UsageError& e) {
        fmt::print(stderr, "tulm: error: {}\n", error_sentence(e));
        return kExitUsage;
    }

    // A failure is worded with the options of the command that met it.
    const OptionSet words = d->parsed() ? kPlacementOnly : kAllSettings;
    try {
        if (r->parsed()) return run_render(render);
        if (d->parsed()) return run_detect(detect);
        if (m->parsed()) return run_measure(measure);
        if (t->parsed()) return run_table(table_options);
        if (g->parsed()) return run_guide(guide_options);
        if (e->parsed()) return run_demo(demo);
        // Without a command there is nothing asked for: the help says what there is.
        fmt::print("{}", app.help());
        return kExitUsage;
    } catch (const UsageError& e) {
        fmt::print(stderr, "tulm: error: {}\n", error_sentence(e, words));
        return kExitUsage;
    } catch (const ToolError& e) {
        fmt::print(stderr, "tulm: error: {}\n", error_sentence(e, words));
        return kExitError;
    } catch (const std::bad_alloc&) {
        fmt::print(stderr, "tulm: error: out of memory\n");
        return kExitError;
    }
}
