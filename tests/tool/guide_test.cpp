// The guides' figures against where the plug-in's own plan and notch put the notch
// (tests/support/notch_reference.h) and how long its rendering runs, and the worked
// example against what `tulm detect` and `tulm render` do with the same clip, so that
// neither a slip in the figures' code nor a change to the arithmetic leaves a guide
// saying what the plug-in does not do. The templates themselves may hold no figure
// typed by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "notch_reference.h"
#include "render/slider_table.h"
#include "tool/analysis/suggest.h"
#include "tool/session/guide_example.h"
#include "tool_runner.h"

namespace {

const char* const kTemplates[] = {"release/README-ja.txt", "release/README-en.txt"};

std::map<std::string, std::string> figures()
{
    TempFolder dir;
    const ToolRun run = run_tool({"guide", "--list"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::string> out;
    std::istringstream lines(run.out);
    std::string name;
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == eq) {
            name = line.substr(0, eq);
            out[name] = line.substr(eq + 1);
        } else if (!name.empty()) {
            out[name] += "\n" + line;  // a figure that spans lines
        }
    }
    return out;
}

std::string source(const std::string& relative)
{
    std::ifstream in(std::string(TULM_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string f1(double v) { char b[32]; std::snprintf(b, sizeof b, "%.1f", v); return b; }
std::string f2(double v) { char b[32]; std::snprintf(b, sizeof b, "%.2f", v); return b; }
std::string f0(double v) { char b[32]; std::snprintf(b, sizeof b, "%.0f", v); return b; }

// How much wider an entry really is than the plug-in takes it to be: the slope of the
// centre's real Hz against the slider's nominal Hz, over the values that place it.
// Each centre is rounded to a whole entry, so the slope is within a few thousandths.
double reference_ratio(int rate, int order)
{
    const ReferenceCentres& c = reference_centres(rate, order);
    size_t last = 0;
    while (last + 1 < c.entry.size() && c.entry[last + 1] < c.n) ++last;
    const double nominal = 10.0 * double(last);
    return (reference_entry_hz(c.entry[last], rate, c.n) - reference_entry_hz(c.entry[0], rate, c.n)) / nominal;
}

// Sample frames the plug-in changes when it renders `in` from its first frame with its
// defaults: the last one that differs, plus one.
int64_t processed_length(const Audio& in, const Audio& out)
{
    int64_t last = -1;
    for (size_t i = 0; i < in.samples.size() && i < out.samples.size(); ++i)
        if (in.samples[i] != out.samples[i]) last = int64_t(i);
    return last + 1;
}

} // namespace

// Each figure that follows from the sliders and the notch arithmetic, recomputed.
TEST(Guide, ArithmeticFiguresAsThePlugInComputesThem)
{
    std::map<std::string, std::string> f = figures();
    const char* names[kSliderCount] = {"freq", "seconds", "fft", "width", "fade"};
    for (int i = 0; i < kSliderCount; ++i) {
        EXPECT_EQ(f[std::string(names[i]) + "_min"], std::to_string(kSliderMinima[i])) << names[i];
        EXPECT_EQ(f[std::string(names[i]) + "_max"], std::to_string(kSliderMaxima[i])) << names[i];
        EXPECT_EQ(f[std::string(names[i]) + "_default"], std::to_string(kSliderDefaults[i])) << names[i];
    }
    EXPECT_EQ(f["block_min"], std::to_string(1 << kSliderMinima[kFftOrder]));
    EXPECT_EQ(f["block_max"], std::to_string(1 << kSliderMaxima[kFftOrder]));

    const int rec = std::atoi(f["rec_fft"].c_str());
    struct RateCase {
        int rate;
        const char* ratio;
        const char* past_top;
    };
    for (const RateCase& c : {RateCase{44100, "ratio_44100_rec", "past_top_44100_rec"},
                              RateCase{48000, "ratio_48000_rec", "past_top_48000_rec"}}) {
        EXPECT_NEAR(std::atof(f[c.ratio].c_str()), reference_ratio(c.rate, rec), 0.01) << c.rate;
        const ReferenceCentres& centres = reference_centres(c.rate, rec);
        int top = 0;
        for (size_t i = 0; i < centres.entry.size() && !top; ++i)
            if (centres.entry[i] >= centres.n) top = kSliderMinima[kFrequency] + int(i);
        EXPECT_EQ(f[c.past_top], std::to_string(top)) << c.rate;
    }
    // Said once when both rates agree, else once for each.
    const std::string one = f["past_top_44100_rec"], other = f["past_top_48000_rec"];
    if (one == other)
        EXPECT_EQ(f["past_top_ja"],
                  "FFT " + f["rec_fft"] + " ではサンプリングレートにかかわらず周波数 " + one + " 以上");
    else
        EXPECT_EQ(f["past_top_ja"], "44.1 kHz・FFT " + f["rec_fft"] + " では周波数 " + one + " 以上、48 kHz・FFT " +
                                        f["rec_fft"] + " では周波数 " + other + " 以上");
    EXPECT_NE(f["past_top_en"].find("from frequency " + one), std::string::npos);

    // The hum at the example's rate, the default width, the default and the smallest FFT.
    const int rate = std::lround(std::atof(f["ex_rate_khz"].c_str()) * 1000);
    const int width = kSliderDefaults[kWidth];
    const ReferenceNotch at_default = reference_placement(rate, kSliderDefaults[kFftOrder], 50, width, kGuardBins);
    const ReferenceNotch at_smallest = reference_placement(rate, kSliderMinima[kFftOrder], 50, width, kGuardBins);
    EXPECT_EQ(f["hum_low_default"], f0(at_default.low_hz));
    EXPECT_EQ(f["hum_high_default"], f0(at_default.high_hz));
    EXPECT_EQ(f["hum_low_min_fft"], f0(at_smallest.low_hz));
    EXPECT_EQ(f["hum_high_min_fft"], f0(at_smallest.high_hz));

    // The stretch at the defaults, as long as the plug-in's rendering of a tone in noise
    // changes the file from its first frame; the fade is its share of that.
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(rate, 1, 4.0, 1000, 0.3, 0.05));
    const ToolRun render = run_tool({"render", "in.wav", "out.wav", "-q", "--start-frame", "0"}, dir.path());
    ASSERT_EQ(render.status, 0) << render.err;
    const double length = double(processed_length(read_audio(dir / "in.wav"), read_audio(dir / "out.wav"))) / rate;
    EXPECT_NEAR(std::atof(f["span_default_seconds"].c_str()), length, 0.006);
    EXPECT_NEAR(std::atof(f["fade_default_seconds"].c_str()), kSliderDefaults[kFade] / 100.0 * length, 0.006);
}

// The table of block sizes: every row recomputed, and the guide's claim that rows with
// the same step and ratio place the notch identically for every value.
TEST(Guide, StepRowsAsThePlugInPlacesTheNotch)
{
    std::map<std::string, std::string> f = figures();
    for (const char* name : {"steps_ja", "steps_en"}) {
        std::istringstream lines(f[name]);
        int rate = 0, rows = 0;
        std::map<std::string, std::vector<int>> same;  // "step ratio" -> orders at one rate
        for (std::string line; std::getline(lines, line);) {
            double khz = 0;
            char unit[8] = {};
            if (std::sscanf(line.c_str(), " %lf %7s", &khz, unit) == 2 && std::string(unit) == "kHz") {
                rate = int(std::lround(khz * 1000));
                same.clear();
                continue;
            }
            int order = 0;
            long block = 0;
            double ms = 0, step = 0, ratio = 0, band = 0;
            if (std::sscanf(line.c_str(), " %d %ld %lf ms %lf Hz x%lf %lf Hz", &order, &block, &ms, &step, &ratio,
                            &band) != 6)
                continue;
            ++rows;
            const std::string where = std::string(name) + " " + std::to_string(rate) + " FFT " + std::to_string(order);
            EXPECT_EQ(block, 1L << order) << where;
            EXPECT_NEAR(ms, 1000.0 * block / rate, 0.051) << where;
            const ReferenceCentres& centres = reference_centres(rate, order);
            double smallest = 0;
            for (size_t i = 1; i < centres.entry.size() && centres.entry[i] < centres.n; ++i) {
                const double gap = reference_entry_hz(centres.entry[i] - centres.entry[i - 1], rate, centres.n);
                if (gap > 0 && (smallest == 0 || gap < smallest)) smallest = gap;
            }
            EXPECT_NEAR(step, smallest, 0.051) << where;
            EXPECT_NEAR(ratio, reference_ratio(rate, order), 0.01) << where;
            const ReferenceNotch b =
                reference_placement(rate, order, GuideClip().tone_hz, kSliderDefaults[kWidth], kGuardBins);
            EXPECT_NEAR(band, b.high_hz - b.low_hz, 0.51) << where;
            const std::string key = f1(step) + " " + f2(ratio);
            for (int other : same[key]) {
                const ReferenceCentres& others = reference_centres(rate, other);
                for (size_t i = 0; i < centres.entry.size(); ++i)
                    ASSERT_DOUBLE_EQ(reference_entry_hz(centres.entry[i], rate, centres.n),
                                     reference_entry_hz(others.entry[i], rate, others.n))
                        << where << " and FFT " << other << ", value " << kSliderMinima[kFrequency] + int(i);
            }
            same[key].push_back(order);
        }
        EXPECT_EQ(rows, 2 * (kSliderMaxima[kFftOrder] - kSliderMinima[kFftOrder] + 1)) << f[name];
    }
}

// The worked example as `tulm detect` fits the same clip from a file, and its cuts as
// `tulm render` gives them; and the facts the guides' prose rests on.
TEST(Guide, WorkedExampleAsDetectAndRenderGiveIt)
{
    std::map<std::string, std::string> f = figures();
    TempFolder dir;
    const GuideClip clip;
    write_audio(dir / "beep.wav", synthesise_guide_clip(clip, true));
    write_audio(dir / "noise.wav", synthesise_guide_clip(clip, false));
    const ToolRun detect = run_tool({"detect", "beep.wav", "--fps", "30"}, dir.path());
    ASSERT_EQ(detect.status, 0) << detect.err;
    const std::regex host_line("select from video frame ([0-9]+) .*frequency ([0-9]+), seconds ([0-9]+), FFT order "
                               "([0-9]+), width ([0-9]+), fade ([0-9]+), window (on|off)");
    const std::regex notch_line("notch: centre ([0-9.]+) Hz .*band ([0-9.]+) to ([0-9.]+) Hz");
    std::smatch host, notch;
    ASSERT_TRUE(std::regex_search(detect.out, host, host_line)) << detect.out;
    ASSERT_TRUE(std::regex_search(detect.out, notch, notch_line)) << detect.out;
    EXPECT_EQ(f["ex_start_frame"], host[1].str());
    EXPECT_EQ(f["ex_frequency"], host[2].str());
    EXPECT_EQ(f["ex_seconds"], host[3].str());
    EXPECT_EQ(f["ex_fft"], host[4].str());
    EXPECT_EQ(f["ex_width"], host[5].str());
    EXPECT_EQ(f["ex_fade"], host[6].str());
    EXPECT_EQ(f["ex_window_en"], host[7].str());
    EXPECT_EQ(f["ex_centre_hz"], notch[1].str());
    EXPECT_EQ(f["ex_band_low"], f0(std::atof(notch[2].str().c_str())));
    EXPECT_EQ(f["ex_band_high"], f0(std::atof(notch[3].str().c_str())));
    const int tone_frame = int(std::floor(clip.tone_on * clip.fps_num / clip.fps_den));
    EXPECT_EQ(f["ex_tone_frame"], std::to_string(tone_frame));
    EXPECT_EQ(f["ex_frames_earlier"], std::to_string(tone_frame - std::atoi(host[1].str().c_str())));

    // The cut: the beep's power over what of it the processing leaves, from its start to
    // its end, with the selection as fitted, on the beep's frame, with the window, and
    // with the slider table's width.
    struct CutCase {
        const char* figure;
        std::string start_frame, width, window;
    };
    const CutCase cuts[] = {
        {"ex_cut_db", host[1], host[5], "--no-window"},
        {"ex_cut_on_tone_db", std::to_string(tone_frame), host[5], "--no-window"},
        {"ex_cut_window_db", host[1], host[5], "--window"},
        {"ex_cut_table_width_db", host[1], f["ex_table_width"], "--no-window"},
    };
    const int64_t on = std::llround(clip.tone_on * clip.rate), off = std::llround(clip.tone_off * clip.rate);
    for (const CutCase& c : cuts) {
        for (const char* name : {"beep", "noise"}) {
            const ToolRun r = run_tool({"render", std::string(name) + ".wav", std::string(name) + "-out.wav", "-q",
                                        "--fps", "30", "--start-frame", c.start_frame, "--frequency", host[2],
                                        "--seconds", host[3], "--fft-order", host[4], "--width", c.width, "--fade",
                                        host[6], c.window},
                                       dir.path());
            ASSERT_EQ(r.status, 0) << r.err;
        }
        const Audio with = read_audio(dir / "beep.wav"), without = read_audio(dir / "noise.wav");
        const Audio out_with = read_audio(dir / "beep-out.wav"), out_without = read_audio(dir / "noise-out.wav");
        double beep = 0, left = 0;
        for (int64_t i = on; i < off; ++i) {
            beep += std::pow(double(with.samples[i]) - without.samples[i], 2);
            left += std::pow(double(out_with.samples[i]) - out_without.samples[i], 2);
        }
        EXPECT_EQ(f[c.figure], f1(10 * std::log10(beep / left))) << c.figure;
    }

    // What the prose says of these figures.
    EXPECT_EQ(f["ex_window_en"], "off") << "the guides tell the user to leave the window off";
    EXPECT_GT(std::atof(f["ex_cut_db"].c_str()), std::atof(f["ex_cut_window_db"].c_str()))
        << "the guides say the window cuts the tone less";
    EXPECT_GT(std::atof(f["ex_width"].c_str()), std::atof(f["ex_table_width"].c_str()))
        << "the guides say a beep needs more than the table's width";
    EXPECT_GT(std::atof(f["ex_cut_db"].c_str()), std::atof(f["ex_cut_table_width_db"].c_str()))
        << "the guides say the wider notch cut the beep more";
    EXPECT_LE(std::atoi(f["ex_width"].c_str()), 2 * std::atoi(f["ex_table_width"].c_str()))
        << "the guides say about twice the table's width";
}

// A template names only figures the tool computes, and holds no number of its own
// outside them: numbers typed into prose are what went wrong before. The words allowed
// are names, not results: the standard rates the figures are named for, the host's and
// the samples' bit widths, the checksum's name and where frame numbers start.
TEST(Guide, TemplatesHoldNoFigureTypedByHand)
{
    std::map<std::string, std::string> f = figures();
    const std::regex placeholder("@([A-Za-z0-9_]+)@");
    const std::regex allowed(R"(44\.1 kHz|48 kHz|32bit|24bit|16bit|32-bit|24 bits|16-bit|SHA-256|SHA256SUMS|SHA256|win32|0 番|as 0\)|^ *[0-9]\. )");
    const std::set<std::string> release_fills = {"VERSION", "DATE", "HOME", "COPYRIGHT"};
    for (const char* path : kTemplates) {
        const std::string text = source(path);
        ASSERT_FALSE(text.empty()) << path;
        for (std::sregex_iterator m(text.begin(), text.end(), placeholder), end; m != end; ++m) {
            const std::string name = (*m)[1];
            const bool upper = name.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
            EXPECT_TRUE(upper ? release_fills.count(name) > 0 : f.count(name) > 0) << path << ": @" << name << "@";
        }
        std::istringstream lines(std::regex_replace(text, placeholder, "@"));
        int number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            const std::string bare = std::regex_replace(line, allowed, "");
            EXPECT_EQ(bare.find_first_of("0123456789"), std::string::npos)
                << path << ":" << number << " holds a number typed by hand: " << line;
        }
    }
}

TEST(Guide, FillsEveryFigureOrRefusesTheTemplate)
{
    TempFolder dir;
    for (const char* path : kTemplates) {
        const ToolRun run = run_tool({"guide", std::string(TULM_SOURCE_DIR) + "/" + path}, dir.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_FALSE(std::regex_search(run.out, std::regex("@[a-z0-9_]+@"))) << path;
        EXPECT_NE(run.out.find("@VERSION@"), std::string::npos) << "the release fills the version: " << path;
    }
    std::ofstream(dir / "typo.txt") << "FFT @ex_fft@, width @ex_widht@\n";
    const ToolRun typo = run_tool({"guide", "typo.txt"}, dir.path());
    EXPECT_EQ(typo.status, 1);
    EXPECT_TRUE(typo.out.empty()) << typo.out;
    EXPECT_NE(typo.err.find("@ex_widht@"), std::string::npos) << typo.err;
}
