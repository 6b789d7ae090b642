// The built tool, run as a user runs it, on files made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

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

// The demo removes its tone and leaves the partials around it alone. Checked twice:
// with the tool's own measure, and with a single-frequency DFT written here.
TEST(Demo, CutsTheToneAndKeepsTheRest)
{
    TempFolder dir;
    const ToolRun demo = run_tool({"demo"}, dir.path());
    ASSERT_EQ(demo.status, 0) << demo.err;
    ASSERT_TRUE(file_exists(dir / "demo-in.wav") && file_exists(dir / "demo-out.wav") && file_exists(dir / "demo.svg"));
    EXPECT_NE(read_text(dir / "demo.svg").find("</svg>"), std::string::npos);

    const std::string chosen = line_after(demo.out, "chosen:");
    ASSERT_NE(chosen.find("--frequency"), std::string::npos) << demo.out;
    std::vector<std::string> args = {"measure", "demo-in.wav", "demo-out.wav", "--json", "--min-attenuation", "30"};
    std::istringstream words(chosen);
    for (std::string w; words >> w;) args.push_back(w);
    const ToolRun m = run_tool(args, dir.path());
    EXPECT_EQ(m.status, 0) << m.out << m.err;
    EXPECT_LT(std::fabs(number_after(m.out, "\"outside_change_db\": ")), 0.5) << m.out;

    const Audio in = read_audio(dir / "demo-in.wav");
    const Audio out = read_audio(dir / "demo-out.wav");
    const int64_t first = int64_t(number_after(m.out, "\"first_frame\": ", "\"measured\""));
    const int64_t count = int64_t(number_after(m.out, "\"frames\": ", "\"measured\""));
    ASSERT_GT(count, 48000) << m.out;
    EXPECT_GT(db(tone_amplitude(in, 1000, first, count) / tone_amplitude(out, 1000, first, count)), 30);
    for (double partial : {131.0, 317.5, 2473.0, 5891.0})
        EXPECT_LT(std::fabs(db(tone_amplitude(out, partial, first, count) / tone_amplitude(in, partial, first, count))),
                  0.5)
            << partial;
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
    write_audio(dir / "in.wav", "in.wav", in);
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
    write_audio(dir / "in.wav", "in.wav", sine_audio(c.rate, 1, c.file_seconds, c.hz, 0.5, 0.0));
    const std::vector<std::string> common = {"--fft-order", std::to_string(c.fft_order), "--width", "5",
                                             "--fade", "0", "--seconds", "1"};
    const ToolRun run = run_tool(concat({"render", "in.wav", "hz.wav", "--hz", std::to_string(c.hz)}, common), dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const int32_t chosen = int32_t(number_after(run.out, "--frequency "));
    EXPECT_EQ(chosen, nearest_value(c.rate, c.fft_order, c.hz));

    const double start = number_after(run.out, "stretch: frames "), end = number_after(run.out, " to ", "stretch: ");
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

// detect looks at the stretch that would be processed, not at the whole file.
struct DetectRun {
    const char* start;
    double expected_hz;
};
void PrintTo(const DetectRun& c, std::ostream* os) { *os << "start " << c.start; }

class DetectCommand : public ::testing::TestWithParam<DetectRun> {};
TEST_P(DetectCommand, FindsTheStretchsToneWithinABin)
{
    const DetectRun c = GetParam();
    TempFolder dir;
    // 700 Hz for the first two seconds, then a quieter 1830.5 Hz for four.
    Audio a = sine_audio(48000, 2, 6.0, 1830.5, 0.1, 0.01);
    const Audio early = sine_audio(48000, 2, 2.0, 700, 0.4, 0.0);
    for (size_t i = 0; i < early.samples.size(); ++i) a.samples[i] = early.samples[i];
    write_audio(dir / "in.wav", "in.wav", a);
    const ToolRun run = run_tool({"detect", "in.wav", "--start", c.start, "--seconds", "1"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const double hz = number_after(run.out, "tone: ");
    const double bin = number_after(run.out, "(analysis bins ");
    ASSERT_GT(bin, 0) << run.out;
    EXPECT_NEAR(hz, c.expected_hz, bin) << run.out;
    // Every FFT size gets a line with its frequency value and the centre in Hz.
    std::istringstream lines(run.out);
    std::vector<int> orders;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        int order = 0, frequency = 0;
        double centre = 0;
        if (words >> order >> frequency >> centre && std::fabs(centre - hz) < 50) orders.push_back(order);
    }
    EXPECT_EQ(orders, (std::vector<int>{9, 10, 11, 12, 13, 14})) << run.out;
}
INSTANTIATE_TEST_SUITE_P(Starts, DetectCommand,
                         ::testing::Values(DetectRun{"0.2s", 700.0}, DetectRun{"3s", 1830.5}));

// --min-attenuation turns a weak cut into a failing exit status, for scripts.
TEST(MeasureCommand, MinAttenuationSetsTheExitStatus)
{
    TempFolder dir;
    write_audio(dir / "in.wav", "in.wav", sine_audio(48000, 2, 3.0, 1000, 0.3, 0.01));
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
