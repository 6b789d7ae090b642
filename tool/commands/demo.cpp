#include <fmt/format.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "tool/analysis/demo_signal.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/io/audio_file.h"
#include "tool/io/output_file.h"
#include "tool/report/report.h"
#include "tool/report/svg_plot.h"
#include "tool/session/fit.h"

namespace {

constexpr const char* kFolder = "tulm-demo";
// Written first into a folder the demo makes; without it the folder is someone else's.
constexpr const char* kMark = "tulm-demo/.made-by-tulm-demo";
constexpr double kCleanCutDb = 40;
constexpr double kCleanOutsideDb = 0.1;

// The demo's own folder: made here, or made by an earlier demo. A folder of that name
// without the mark is left alone, and so is everything in it.
void claim_folder()
{
    if (mkdir(kFolder, 0777) == 0) {
        OutputFile mark(kMark);
        mark.write_text("written by tulm demo, which rewrites this folder's files on every run\n");
        mark.commit();
        return;
    }
    struct stat st;
    if (errno != EEXIST)
        throw ToolError(std::string("cannot make the folder ") + kFolder + ": " + std::strerror(errno));
    if (stat(kMark, &st) != 0)
        throw ToolError(std::string(kFolder) + " exists but was not made by tulm demo, so the demo leaves it alone; "
                                               "run the demo in another folder");
}

} // namespace

int run_demo(const DemoOptions& o)
{
    PluginSession plugin(plugin_path(o.plugin));
    const DemoClip clip;
    DemoClip quiet = clip;
    quiet.tone_amplitude = 0;
    const Audio in = synthesise_demo(clip);
    const Audio program = synthesise_demo(quiet);

    const Detection d = detect_tones(in, 0, in.frames());
    if (d.tones.empty()) throw ToolError("the demo clip's tone was not found; the analysis is broken");
    const Tone& tone = d.tones.front();
    const Fit fit = fit_settings(plugin.table(), in, in.frames(), tone, 30, 1);
    const Audio out = run_plugin(plugin.table(), in, fit.settings, fit.placement, false);
    const Audio out_program = run_plugin(plugin.table(), program, fit.settings, fit.placement, false);
    const Measurement m = measure(in, out, fit.stretch_first, fit.notch, tone.hz);
    const int64_t tone_first = std::lround(clip.tone_on * clip.rate), tone_end = std::lround(clip.tone_off * clip.rate);
    const double cut = tone_cut_db(in, program, out, out_program, tone_first, tone_end);

    claim_folder();
    OutputFile in_file(std::string(kFolder) + "/in.wav"), out_file(std::string(kFolder) + "/out.wav"),
        plot_file(std::string(kFolder) + "/plot.svg");
    plot_file.write_text(svg_plot(in, out, m, "tulm demo - " + settings_line(fit.settings)));
    write_audio(&in_file, in);
    write_audio(&out_file, out);
    plot_file.commit();

    fmt::print("demo: {:.0f} s of {}-channel {} Hz audio, a {:.0f} Hz tone from {:.1f} s to {:.1f} s\n",
               clip.seconds, clip.channels, clip.rate, clip.tone_hz, clip.tone_on, clip.tone_off);
    fmt::print("{}", detection_text(d, in.rate, 30, 1));
    fmt::print("{}", fit_text(fit, tone, in.rate, std::string(kFolder) + "/in.wav"));
    fmt::print("chosen:  {} --start-frame {}\n", settings_line(fit.settings), fit.placement.start_frame);
    fmt::print("{}", measurement_text(m, in.rate));

    const bool cut_ok = cut >= kCleanCutDb;
    const bool edges_ok = m.jump_start <= m.input_jump_start && m.jump_end <= m.input_jump_end;
    const bool outside_ok = std::fabs(m.outside_change_db) <= kCleanOutsideDb;
    fmt::print("\nclean?\n");
    fmt::print("  tone over its whole extent ({:.1f} s to {:.1f} s): cut by {:.1f} dB (needs {:g}): {}\n", clip.tone_on,
               clip.tone_off, cut, kCleanCutDb, cut_ok ? "yes" : "NO");
    fmt::print("  steps at the stretch's edges: start {:.4f} (input {:.4f}), end {:.4f} (input {:.4f}): {}\n",
               m.jump_start, m.input_jump_start, m.jump_end, m.input_jump_end, edges_ok ? "yes" : "NO");
    fmt::print("  level outside the notch: {:+.3f} dB (needs within {:g} dB): {}\n", m.outside_change_db,
               kCleanOutsideDb, outside_ok ? "yes" : "NO");
    fmt::print("wrote {0}/in.wav, {0}/out.wav and {0}/plot.svg\n", kFolder);
    if (!(cut_ok && edges_ok && outside_ok)) throw ToolError("the demo did not come out clean");
    return 0;
}
