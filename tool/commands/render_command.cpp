#include <fmt/format.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

#include "tool/analysis/measure.h"
#include "tool/analysis/tool_error.h"
#include "tool/commands/commands.h"
#include "tool/io/audio_file.h"
#include "tool/io/output_file.h"
#include "tool/io/progress.h"
#include "tool/report/report.h"
#include "tool/report/svg_plot.h"

namespace {

// Frames read and written at a time outside the stretch.
constexpr int64_t kChunk = 65536;

// The render's outputs: OUT, and what was removed when --diff asks for it.
struct Outputs {
    AudioWriter* out;
    AudioWriter* diff;
    SampleBlock silence; // what --diff holds outside the stretch
};

// Copies `count` frames from the reader to the outputs as they are; returns the frames
// the file really had.
int64_t copy_through(AudioReader& reader, int64_t count, Outputs& to, SampleBlock* block, Progress& progress)
{
    int64_t done = 0;
    while (done < count) {
        const int64_t got = reader.read(block, std::min(kChunk, count - done));
        if (got == 0) break;
        progress.advance(got);
        to.out->write(*block, 0, got);
        if (to.diff) {
            to.silence.integer = block->integer;
            to.silence.channels = block->channels;
            if (to.silence.frames < got) to.silence.resize(got);
            to.diff->write(to.silence, 0, got);
        }
        progress.advance(got);
        done += got;
    }
    return done;
}

// input - output, sample by sample, in the input's own kind. The difference of two
// full-scale samples can reach twice full scale; what lies beyond it is clipped, and
// counted in *clipped. `integer_file`: the --diff file holds integers, so a
// floating-point difference beyond full scale is clipped there too.
SampleBlock difference(const SampleBlock& in, const SampleBlock& out, bool integer_file, int64_t* clipped)
{
    SampleBlock d = in;
    constexpr int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    for (size_t i = 0; i < d.ints.size(); ++i) {
        const int64_t v = int64_t(in.ints[i]) - out.ints[i];
        *clipped += v < lo || v > hi;
        d.ints[i] = int32_t(std::clamp(v, lo, hi));
    }
    for (size_t i = 0; i < d.reals.size(); ++i) {
        d.reals[i] = in.reals[i] - out.reals[i];
        *clipped += integer_file && !(d.reals[i] >= -1.0 && d.reals[i] <= 1.0);
    }
    return d;
}

} // namespace

int run_render(const RenderOptions& o)
{
    check_distinct_files({{o.in, "IN", false}, {o.out, "OUT", true}, {o.diff, "--diff", true}, {o.plot, "--plot", true}});
    PluginSession plugin(plugin_path(o.settings));
    AudioReader reader(o.in);
    const int32_t rate = reader.rate();
    const int32_t channels = reader.channels();
    const int64_t frames = reader.frames();
    if (const std::string cut = reader.cut_short_warning(); !cut.empty())
        fmt::print(stderr, "tulm: warning: {}\n", cut);
    const Settings settings = resolve_settings(plugin.table(), o.settings, rate, channels);
    const Placement placement = resolve_placement(o.settings, o.quiet);
    const int64_t first = stretch_first_frame(rate, frames, placement);
    const NotchGeometry g = notch_geometry(settings, rate);
    const int64_t stretch_end = std::min(frames, first + g.length);
    const int64_t window_first = std::max<int64_t>(0, first - plot_margin(rate));
    const int64_t window_end = std::min(
        frames, std::max(plugin_reads_until(rate, frames, placement, g.length), stretch_end + plot_margin(rate)));

    // Every destination is checked and claimed before the work, and only renamed into
    // place once all of them are complete.
    const int out_format = output_format_for(o.out, reader.format(), o.encoding, rate, channels);
    const int diff_format = o.diff.empty() ? 0 : output_format_for(o.diff, reader.format(), o.encoding, rate, channels);
    OutputFile out_file(o.out);
    std::unique_ptr<OutputFile> diff_file, plot_file;
    if (!o.diff.empty()) diff_file = std::make_unique<OutputFile>(o.diff);
    if (!o.plot.empty()) plot_file = std::make_unique<OutputFile>(o.plot);
    AudioWriter out(&out_file, out_format, rate, channels, frames, reader.metadata());
    std::unique_ptr<AudioWriter> diff;
    if (diff_file) diff = std::make_unique<AudioWriter>(diff_file.get(), diff_format, rate, channels, frames);
    Outputs to{&out, diff.get(), SampleBlock{}};

    // A stream's header may claim any length; the bar then just stays short of full.
    const int64_t work = frames < std::numeric_limits<int64_t>::max() / 4 ? 2 * frames + (stretch_end - first)
                                                                          : std::numeric_limits<int64_t>::max();
    Progress progress(o.preview ? "previewing" : "rendering", work, o.quiet);
    SampleBlock block;
    const int64_t before = copy_through(reader, window_first, to, &block, progress);

    // The window around the stretch: read as the file holds it, handed to the plug-in
    // in 16 bits, and its stretch written back from the plug-in's 16 bits.
    SampleBlock held;
    const int64_t window_frames = reader.read(&held, window_end - window_first);
    if (before < window_first || window_frames < window_end - window_first)
        throw ToolError(fmt::format("{}: the audio ends at sample {}, before the stretch's end at sample {}",
                                    reader.name(), before + std::max<int64_t>(window_frames, 0), window_end));
    progress.advance(window_frames);
    Audio in16;
    in16.rate = rate;
    in16.channels = channels;
    in16.first_frame = window_first;
    in16.samples.resize(size_t(window_frames) * size_t(channels));
    Narrowing stretch_narrowing, margin_narrowing;
    const int64_t at = first - window_first, count = stretch_end - first;
    to_16bit(held, 0, at, in16.samples.data(), &margin_narrowing);
    to_16bit(held, at, count, in16.samples.data() + at * channels, &stretch_narrowing);
    to_16bit(held, at + count, window_frames - at - count, in16.samples.data() + (at + count) * channels,
             &margin_narrowing);
    Audio out16 = in16;
    run_plugin_window(plugin.table(), &out16, frames, g.length, settings, placement, o.preview,
                      [&](int64_t frames) { progress.advance(frames); });
    SampleBlock result = held;
    from_16bit(out16.samples.data() + at * channels, count, &result, at);
    out.write(result, 0, window_frames);
    int64_t diff_clipped = 0;
    if (diff) {
        const bool integer_diff = (diff_format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT &&
                                  (diff_format & SF_FORMAT_SUBMASK) != SF_FORMAT_DOUBLE;
        diff->write(difference(held, result, integer_diff, &diff_clipped), 0, window_frames);
    }
    progress.advance(window_frames);
    copy_through(reader, std::numeric_limits<int64_t>::max(), to, &block, progress);
    progress.finish();

    out.close();
    if (diff) diff->close();
    if (plot_file) {
        const Measurement m = measure(in16, out16, at, g);
        plot_file->write_text(svg_plot(in16, out16, m, fmt::format("{} - {}", o.in, settings_line(settings))));
    }
    out_file.commit();
    if (diff_file) diff_file->commit();
    if (plot_file) plot_file->commit();

    if (!o.quiet) {
        // Standard output may be carrying the audio itself.
        std::FILE* report = o.out == "-" ? stderr : stdout;
        const std::string out_name = o.out == "-" ? "standard output" : o.out;
        const bool lossy = lossy_encoding(reader.format()) && o.encoding.empty();
        if (lossy)
            fmt::print(stderr, "tulm: note: {} holds {}, which cannot be encoded again without changing it; {} holds "
                       "the decoded audio in {}, the same length and bit for bit outside the stretch\n",
                       reader.name(), sample_description(reader.format()), out_name, sample_description(out_format));
        for (const std::string& note : out.notes()) fmt::print(stderr, "tulm: note: {}\n", note);
        if (diff)
            for (const std::string& note : diff->notes()) fmt::print(stderr, "tulm: note: {}\n", note);
        if (diff_clipped > 0)
            fmt::print(stderr, "tulm: note: {} of IN - OUT lay beyond full scale and were clipped in {}\n",
                       samples_count(diff_clipped), o.diff);
        if ((reader.wider_than_16bit() && !lossy) || stretch_narrowing.clipped > 0)
            fmt::print(stderr,
                       "tulm: note: {} holds {}; the plug-in works in 16 bits as the host does, so samples {} "
                       "to {} come back at 16-bit precision{}\n",
                       reader.name(), sample_description(reader.format()), first, stretch_end - 1,
                       stretch_narrowing.clipped > 0 ? fmt::format(", and {} beyond full scale there were clipped",
                                                                   samples_count(stretch_narrowing.clipped))
                                                     : std::string());
        fmt::print(report, "settings: {}{}\n", settings_line(settings), o.preview ? " (preview delivery)" : "");
        fmt::print(report, "{}", geometry_text(g, first, rate));
        if (first + g.length > frames)
            fmt::print(stderr, "tulm: note: the stretch runs {} past the end of the file\n",
                       samples_count(first + g.length - frames));
        fmt::print(report, "wrote:   {}{}{}\n", o.out, diff_file ? ", " + o.diff : "", plot_file ? ", " + o.plot : "");
    }
    return 0;
}
