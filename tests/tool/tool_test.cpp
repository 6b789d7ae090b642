// The built tool, run as a user runs it, on files made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "host/host_process.h"
#include "host/plugin_loader.h"
#include "render/plan_arithmetic.h"
#include "render/slider_table.h"
#include "tool_runner.h"

namespace {

double db(double ratio) { return 20 * std::log10(ratio); }

// The first number after the first `label` in `text` that follows `after` (when
// given); NaN when absent. Plain searches: std::regex trips a false uninitialised-use
// warning of g++ 12 under the sanitizers.
double number_after(const std::string& text, const std::string& label, const std::string& after = "")
{
    const size_t from = after.empty() ? 0 : text.find(after);
    if (from == std::string::npos) return NAN;
    const size_t at = text.find(label, from);
    if (at == std::string::npos) return NAN;
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// The rest of the line after `label`; empty when absent.
std::string line_after(const std::string& text, const std::string& label)
{
    const size_t at = text.find(label);
    if (at == std::string::npos) return "";
    const size_t start = at + label.size();
    return text.substr(start, text.find('\n', start) - start);
}

struct SliderSet {
    int32_t frequency, seconds, fft_order, width, fade, window;
};

std::vector<std::string> slider_args(const SliderSet& s)
{
    std::vector<std::string> a = {"--frequency", std::to_string(s.frequency), "--seconds", std::to_string(s.seconds),
                                  "--fft-order", std::to_string(s.fft_order), "--width", std::to_string(s.width),
                                  "--fade", std::to_string(s.fade)};
    a.push_back(s.window ? "--window" : "--no-window");
    return a;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

// The demo runs detect's loop on its own clip and must come out clean: the tone cut by
// 40 dB over its whole extent, no step at the stretch's edges beyond the input's own,
// the level outside the notch within 0.1 dB. Checked from its report, again with the
// tool's measure, and once more with a single-frequency DFT written here.
TEST(Demo, ComesOutClean)
{
    TempFolder dir;
    const ToolRun demo = run_tool({"demo"}, dir.path());
    ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"tulm-demo"});
    ASSERT_TRUE(file_exists(dir / "tulm-demo/in.wav") && file_exists(dir / "tulm-demo/out.wav"));
    EXPECT_NE(read_text(dir / "tulm-demo/plot.svg").find("</svg>"), std::string::npos);

    EXPECT_GE(number_after(demo.out, "cut by ", "tone over its whole extent"), 40) << demo.out;
    const double start = number_after(demo.out, "start ", "steps at the stretch's edges");
    const double start_in = number_after(demo.out, "(input ", "steps at the stretch's edges");
    const double end = number_after(demo.out, "end ", "steps at the stretch's edges");
    EXPECT_LE(start, start_in) << demo.out;
    EXPECT_LE(end, number_after(demo.out, "(input ", "), end ")) << demo.out;
    EXPECT_LE(std::fabs(number_after(demo.out, "level outside the notch: ")), 0.1) << demo.out;

    const std::string chosen = line_after(demo.out, "chosen:  ");
    ASSERT_NE(chosen.find("--frequency"), std::string::npos) << demo.out;
    std::vector<std::string> args = {"measure", "tulm-demo/in.wav", "tulm-demo/out.wav", "--json", "--min-attenuation",
                                     "40"};
    std::istringstream words(chosen);
    for (std::string w; words >> w;) args.push_back(w);
    const ToolRun m = run_tool(args, dir.path());
    EXPECT_EQ(m.status, 0) << m.out << m.err;
    EXPECT_LT(std::fabs(number_after(m.out, "\"outside_change_db\": ")), 0.1) << m.out;

    // The tone from 1.0 s to 3.5 s, and the partials beside it.
    const Audio in = read_audio(dir / "tulm-demo/in.wav");
    const Audio out = read_audio(dir / "tulm-demo/out.wav");
    EXPECT_GT(db(tone_amplitude(in, 1000, 48000, 120000) / tone_amplitude(out, 1000, 48000, 120000)), 40);
    for (double partial : {131.0, 317.5, 2473.0, 5891.0})
        EXPECT_LT(std::fabs(db(tone_amplitude(out, partial, 48000, 120000) / tone_amplitude(in, partial, 48000, 120000))),
                  0.1)
            << partial;

    // A second run rewrites its own folder.
    EXPECT_EQ(run_tool({"demo"}, dir.path()).status, 0);
}

// A tulm-demo folder the demo did not make is not the demo's to write in.
TEST(Demo, LeavesAFolderItDidNotMakeAlone)
{
    TempFolder dir;
    const std::string mine = dir / "tulm-demo";
    ASSERT_EQ(mkdir(mine.c_str(), 0777), 0);
    std::ofstream(mine + "/in.wav") << "keep";
    const ToolRun demo = run_tool({"demo"}, dir.path());
    EXPECT_EQ(demo.status, 1);
    EXPECT_NE(demo.err.find("was not made by tulm demo"), std::string::npos) << demo.err;
    EXPECT_EQ(read_text(mine + "/in.wav"), "keep");
}

// `render` hands back exactly what the host stand-in's own pass gets from the plug-in:
// the output pass from the selection's first frame (or the preview), with the frames
// before it untouched.
struct RenderCase {
    const char* name;
    int32_t rate, channels;
    const char* fps;
    int32_t fps_num, fps_den;
    int32_t start_frame;
    double file_seconds;
    SliderSet sliders;
    bool defaults;  // pass no slider options: the plug-in's defaults apply
    bool preview;
    bool extras;    // also ask for --diff and --plot
};

void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }

class RenderAsHost : public ::testing::TestWithParam<RenderCase> {};
TEST_P(RenderAsHost, SameSamplesAsTheHostStandin)
{
    const RenderCase c = GetParam();
    TempFolder dir;
    const Audio in = sine_audio(c.rate, c.channels, c.file_seconds, 1000, 0.3, 0.05);
    write_audio(dir / "in.wav", in);
    std::vector<std::string> args = {"render", "in.wav", "out.wav", "--fps", c.fps, "--start-frame",
                                     std::to_string(c.start_frame)};
    if (!c.defaults) args = concat(args, slider_args(c.sliders));
    if (c.preview) args.push_back("--preview");
    if (c.extras) args = concat(args, {"--diff", "diff.flac", "--plot", "plot.svg"});
    const ToolRun run = run_tool(args, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = read_audio(dir / "out.wav");

    PluginModule module;
    std::string why;
    ASSERT_TRUE(plugin_load(TULM_MODULE, &module, &why)) << why;
    HostEdit edit;
    edit.media.audio = in.samples;
    edit.media.audio_rate = c.rate;
    edit.media.channels = c.channels;
    edit.media.video_rate_num = c.fps_num;
    edit.media.video_rate_den = c.fps_den;
    host_load_defaults(&edit, module.table);
    if (!c.defaults) {
        const int32_t values[] = {c.sliders.frequency, c.sliders.seconds, c.sliders.fft_order, c.sliders.width,
                                  c.sliders.fade};
        std::copy(values, values + 5, edit.slider_values);
        edit.check_values[0] = c.sliders.window;
    }
    edit.selection_first = c.start_frame;
    edit.selection_last = int32_t(media_frame_count(edit.media) - 1);
    std::vector<int16_t> expected;
    if (c.preview) host_run_preview(&edit, module.table, &expected, nullptr, nullptr);
    else host_run_output(&edit, module.table, &expected, nullptr, nullptr);
    plugin_unload(&module);

    ASSERT_EQ(out.rate, c.rate);
    ASSERT_EQ(out.channels, c.channels);
    ASSERT_EQ(out.samples.size(), expected.size());
    const auto miss = std::mismatch(out.samples.begin(), out.samples.end(), expected.begin());
    EXPECT_EQ(miss.first, out.samples.end())
        << "first difference at sample frame " << (miss.first - out.samples.begin()) / c.channels;

    const int64_t first = media_frame_start(edit.media, c.start_frame) * c.channels;
    EXPECT_TRUE(std::equal(in.samples.begin(), in.samples.begin() + first, out.samples.begin()))
        << "audio before the selection must pass untouched";
    EXPECT_FALSE(std::equal(in.samples.begin() + first, in.samples.end(), out.samples.begin() + first))
        << "the stretch was not processed at all";

    if (c.extras) {
        const Audio diff = read_audio(dir / "diff.flac");
        ASSERT_EQ(diff.samples.size(), in.samples.size());
        for (size_t i = 0; i < diff.samples.size(); ++i)
            ASSERT_EQ(diff.samples[i], std::clamp(in.samples[i] - out.samples[i], -32768, 32767)) << i;
        EXPECT_NE(read_text(dir / "plot.svg").find("</svg>"), std::string::npos);
    }
}
INSTANTIATE_TEST_SUITE_P(
    Cases, RenderAsHost,
    ::testing::Values(RenderCase{"defaults", 48000, 2, "30", 30, 1, 0, 3.0, {}, true, false, false},
                      RenderCase{"ntsc_from_frame_20", 48000, 2, "30000/1001", 30000, 1001, 20, 3.0,
                                 {85, 1, 12, 20, 10, 1}, false, false, true},
                      RenderCase{"mono_44k_24fps", 44100, 1, "24/1", 24, 1, 12, 4.0, {50, 3, 13, 40, 0, 0}, false,
                                 false, false},
                      RenderCase{"preview", 48000, 2, "30", 30, 1, 15, 3.0, {100, 2, 11, 30, 25, 0}, false, true, true},
                      RenderCase{"six_channels", 48000, 6, "25", 25, 1, 5, 2.0, {120, 1, 10, 16, 50, 1}, false,
                                 false, false},
                      RenderCase{"stretch_past_the_end", 44100, 2, "30", 30, 1, 60, 2.5, {100, 1, 11, 30, 25, 0},
                                 false, false, false}),
    [](const ::testing::TestParamInfo<RenderCase>& info) { return std::string(info.param.name); });

// --hz picks the slider value whose real notch centre is nearest: tried here over the
// whole slider range with the plug-in's own placement (entry e lies at
// e x rate / (2 x block size) Hz; a tie goes to the value nearer in name). The render
// must then cut the tone, and where the truncated spacing moves the centre far from
// value x 10 Hz the naive value must miss it.
static int32_t nearest_value(int32_t rate, int32_t order, double hz)
{
    const int64_t n = plan_block_size(order);
    int32_t best = kSliderMinima[kFrequency];
    double best_miss = 1e300;
    for (int32_t v = kSliderMinima[kFrequency]; v <= kSliderMaxima[kFrequency]; ++v) {
        const int64_t entry = plan_notch_entry(v, rate, n);
        const double miss = std::fabs(double(entry) * rate / (2.0 * double(n)) - hz);
        const bool tie_nearer = miss <= best_miss + 1e-9 && std::fabs(v * 10 - hz) < std::fabs(best * 10 - hz);
        if (entry < n && (miss < best_miss - 1e-9 || tie_nearer)) best = v, best_miss = miss;
    }
    return best;
}

struct HzCase {
    int32_t rate, fft_order;
    double hz;
    double file_seconds;
    bool naive_misses;
};

void PrintTo(const HzCase& c, std::ostream* os) { *os << c.hz << " Hz at " << c.rate << " Hz, order " << c.fft_order; }

class HzOption : public ::testing::TestWithParam<HzCase> {};
TEST_P(HzOption, PicksTheNearestCentreAndCutsTheTone)
{
    const HzCase c = GetParam();
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(c.rate, 1, c.file_seconds, c.hz, 0.5, 0.0));
    const std::vector<std::string> common = {"--fft-order", std::to_string(c.fft_order), "--width", "5",
                                             "--fade", "0", "--seconds", "1"};
    const ToolRun run = run_tool(concat({"render", "in.wav", "hz.wav", "--hz", std::to_string(c.hz)}, common), dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const int32_t chosen = int32_t(number_after(run.out, "--frequency "));
    EXPECT_EQ(chosen, nearest_value(c.rate, c.fft_order, c.hz));

    const double start = number_after(run.out, "stretch: samples "), end = number_after(run.out, " to ", "stretch: ");
    ASSERT_FALSE(std::isnan(start) || std::isnan(end)) << run.out;
    const int64_t quarter = (int64_t(1) << c.fft_order) / 4;
    const int64_t first = int64_t(start) + quarter, last = int64_t(end) - quarter;
    auto remaining = [&](int32_t frequency) {
        const std::string name = "f" + std::to_string(frequency) + ".wav";
        const ToolRun r = run_tool(concat({"render", "in.wav", name, "--frequency", std::to_string(frequency)}, common),
                                   dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        return tone_amplitude(read_audio(dir / name), c.hz, first, last - first);
    };
    const double at = tone_amplitude(read_audio(dir / "hz.wav"), c.hz, first, last - first);
    EXPECT_DOUBLE_EQ(at, remaining(chosen)) << "--hz must render exactly as its frequency value";
    EXPECT_GT(db(0.5 / at), 20);
    if (c.naive_misses) {
        EXPECT_LT(db(0.5 / remaining(int32_t(std::lround(c.hz / 10)))), 3);
    }
}
INSTANTIATE_TEST_SUITE_P(Rates, HzOption,
                         ::testing::Values(HzCase{44100, 13, 1000, 3.0, true}, HzCase{48000, 11, 440, 3.0, false},
                                           HzCase{22050, 9, 3000, 3.0, false}, HzCase{48000, 14, 5000, 3.0, true},
                                           // s = 0: the plug-in uses the exact spacing here.
                                           HzCase{8000, 14, 1000, 4.0, false}));

// detect looks from --start on and says where each tone starts and stops, to a video
// frame: here 700 Hz for the first two seconds, then a quieter 1830.5 Hz to the end.
// It reads only the region and what the fit needs around it, from a file or a stream.
struct DetectRun {
    std::vector<std::string> args;
    std::vector<double> hz, from, to;  // tones in the order reported; seconds
    bool from_stdin = false;
};
void PrintTo(const DetectRun& c, std::ostream* os)
{
    *os << "args";
    for (const std::string& a : c.args) *os << ' ' << a;
    if (c.from_stdin) *os << " (from standard input)";
}

class DetectCommand : public ::testing::TestWithParam<DetectRun> {};
TEST_P(DetectCommand, ReportsEachToneWithItsExtent)
{
    const DetectRun c = GetParam();
    TempFolder dir;
    Audio a = sine_audio(48000, 2, 6.0, 1830.5, 0.1, 0.01);
    const Audio early = sine_audio(48000, 2, 2.0, 700, 0.4, 0.0);
    for (size_t i = 0; i < early.samples.size(); ++i) a.samples[i] = early.samples[i];
    write_audio(dir / "in.wav", a);
    ToolSetup setup;
    if (c.from_stdin) setup.stdin_path = dir / "in.wav";
    const ToolRun run = run_tool(concat({"detect", c.from_stdin ? "-" : "in.wav"}, c.args), dir.path(), setup);
    ASSERT_EQ(run.status, 0) << run.err;
    const double bin = number_after(run.out, "(analysis bins ");
    for (size_t i = 0; i < c.hz.size(); ++i) {
        const std::string label = "tone " + std::to_string(i + 1) + ": ";
        EXPECT_NEAR(number_after(run.out, label), c.hz[i], bin) << run.out;
        EXPECT_NEAR(number_after(run.out, "from ", label), c.from[i], 2.0 / 30) << run.out;
        EXPECT_NEAR(number_after(run.out, " to ", label), c.to[i], 2.0 / 30)
            << run.out;
    }
    EXPECT_TRUE(std::isnan(number_after(run.out, "tone " + std::to_string(c.hz.size() + 1) + ": "))) << run.out;
    // The render line it suggests is one the tool takes, and it cuts the strongest tone.
    std::vector<std::string> render;
    std::istringstream words(line_after(run.out, "  tulm "));
    for (std::string w; words >> w;) render.push_back(w);
    ASSERT_GT(render.size(), 4u) << run.out;
    ASSERT_EQ(run_tool(render, dir.path(), setup).status, 0);
    ASSERT_EQ(render[2], c.from_stdin ? "notch.wav" : "in-notch.wav");
    const Audio out = read_audio(dir / render[2]);
    const int64_t from = int64_t(std::max(c.from[0] + 0.2, 0.0) * 48000);
    const int64_t to = int64_t(std::min(c.to[0] - 0.2, 5.0) * 48000);
    EXPECT_GT(db(tone_amplitude(a, c.hz[0], from, to - from) / tone_amplitude(out, c.hz[0], from, to - from)), 40);
}
INSTANTIATE_TEST_SUITE_P(
    Regions, DetectCommand,
    ::testing::Values(DetectRun{{}, {700.0, 1830.5}, {0.0, 2.0}, {2.0, 6.0}},
                      DetectRun{{"--start", "3s"}, {1830.5}, {3.0}, {6.0}},
                      DetectRun{{"--start", "1s", "--length", "2s"}, {700.0, 1830.5}, {1.0, 2.0}, {2.0, 3.0}},
                      DetectRun{{"--start", "3s"}, {1830.5}, {3.0}, {6.0}, true}));

// --min-attenuation turns a weak cut into a failing exit status, for scripts.
TEST(MeasureCommand, MinAttenuationSetsTheExitStatus)
{
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(48000, 2, 3.0, 1000, 0.3, 0.01));
    ASSERT_EQ(run_tool({"render", "in.wav", "out.wav", "--hz", "1000", "--fade", "5"}, dir.path()).status, 0);
    const ToolRun cut = run_tool({"measure", "in.wav", "out.wav", "--hz", "1000", "--fade", "5", "--min-attenuation", "30"},
                                 dir.path());
    EXPECT_EQ(cut.status, 0) << cut.out << cut.err;
    EXPECT_NE(cut.out.find("the stretch without its fade-in and tail"), std::string::npos) << cut.out;
    const ToolRun same = run_tool({"measure", "in.wav", "in.wav", "--hz", "1000", "--fade", "5", "--min-attenuation", "3"},
                                  dir.path());
    EXPECT_EQ(same.status, 3) << same.out << same.err;
    EXPECT_NE(same.err.find("less than the 3.0 dB required"), std::string::npos) << same.err;
}
