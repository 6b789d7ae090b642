// `tulm detect --json` on synthetic tones: the text parses as JSON, its figures are the
// detector's and the fit's, and it says what the text output says (the same render line,
// the same warnings), with null where no tone was chosen.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

using nlohmann::json;

constexpr int32_t kRate = 48000;

struct JsonCase {
    const char* name;
    double seconds;       // of the file: quiet noise throughout
    double hz;            // a tone (0: none) of `partials` harmonics, each 6 dB under the one before
    int32_t partials;
    double from, to;      // where it sounds, in seconds
    double named_hz;      // --hz (0: not given)
    int status;
    bool too_long;        // the tone outlasts one stretch
};
void PrintTo(const JsonCase& c, std::ostream* os) { *os << c.name; }

Audio noisy_tone(const JsonCase& c)
{
    Audio a;
    a.rate = kRate;
    a.channels = 1;
    a.samples.resize(size_t(c.seconds * kRate));
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    for (size_t t = 0; t < a.samples.size(); ++t) {
        double v = noise(random);
        const double s = double(t) / kRate;
        if (c.hz > 0 && s >= c.from && s < c.to)
            for (int32_t h = 1; h <= c.partials; ++h) v += 0.1 * std::pow(0.5, h - 1) * std::sin(2 * M_PI * h * c.hz * s);
        a.samples[t] = int16_t(std::lrint(32767 * v));
    }
    return a;
}

class DetectJson : public ::testing::TestWithParam<JsonCase> {};
TEST_P(DetectJson, SaysWhatTheTextSays)
{
    const JsonCase c = GetParam();
    TempFolder dir;
    write_audio(dir / "in.wav", noisy_tone(c));
    std::vector<std::string> args = {"detect", "in.wav"};
    if (c.named_hz > 0) args.insert(args.end(), {"--hz", std::to_string(c.named_hz)});
    const ToolRun text = run_tool(args, dir.path());
    args.push_back("--json");
    const ToolRun run = run_tool(args, dir.path());
    ASSERT_EQ(run.status, c.status) << run.out << run.err;
    ASSERT_EQ(text.status, c.status) << text.out << text.err;
    const json j = json::parse(run.out);

    const int64_t frames = int64_t(c.seconds * kRate);
    EXPECT_EQ(j.at("file").at("rate").get<double>(), kRate);
    EXPECT_FALSE(j.at("file").at("clips").get<bool>());  // 16-bit input never goes over full scale
    EXPECT_EQ(j.at("file").at("frames").get<double>(), frames);
    EXPECT_EQ(j.at("region").at("end").at("sample_frame").get<double>(), frames);
    EXPECT_EQ(j.at("region").at("end").at("video_frame").get<double>(), std::floor(c.seconds * 30 + 1e-9));
    const double bin = j.at("resolution_hz").get<double>();
    EXPECT_NEAR(bin, 5.86, 0.01);

    const json& tones = j.at("tones");
    ASSERT_TRUE(tones.is_array());
    ASSERT_EQ(tones.size(), c.hz > 0 ? 1u : 0u) << run.out;
    if (c.hz > 0) {
        const json& t = tones.at(0);
        EXPECT_NEAR(t.at("hz").get<double>(), c.hz, bin);
        EXPECT_NEAR(t.at("level_dbfs").get<double>(), 20 * std::log10(0.1), 1.0);
        EXPECT_NEAR(t.at("start").at("seconds").get<double>(), c.from, 0.05);
        EXPECT_NEAR(t.at("end").at("seconds").get<double>(), c.to, 0.05);
        EXPECT_EQ(t.at("start").at("video_frame").get<double>(), std::floor(t.at("start").at("sample_frame").get<double>() * 30 / kRate));
        EXPECT_NEAR(t.at("duration_s").get<double>(), t.at("end").at("seconds").get<double>() - t.at("start").at("seconds").get<double>(), 0.0015);
        EXPECT_EQ(t.at("hum").get<bool>(), c.partials > 1);
        // One notch removes one harmonic: a hum of n partials takes n.
        EXPECT_EQ(t.at("notches").get<double>(), c.partials);
        ASSERT_EQ(t.at("harmonics").size(), size_t(c.partials - 1)) << run.out;
        for (int32_t h = 2; h <= c.partials; ++h) {
            EXPECT_EQ(t.at("harmonics").at(size_t(h - 2)).at("order").get<double>(), h);
            EXPECT_NEAR(t.at("harmonics").at(size_t(h - 2)).at("relative_db").get<double>(), -6.02 * (h - 1), 1.0);
        }
        // The same figures as the text's line, to its decimals.
        char line[64];
        std::snprintf(line, sizeof line, "tone 1: %.2f Hz at %.1f dBFS", t.at("hz").get<double>(), t.at("level_dbfs").get<double>());
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
    }

    // No steady tone: no settings, whether or not a frequency was named.
    const json& chosen = j.at("chosen");
    if (c.hz == 0) {
        EXPECT_TRUE(chosen.is_null());
        EXPECT_EQ(text.out.find("settings for"), std::string::npos) << text.out;
        return;
    }
    ASSERT_TRUE(chosen.is_object());
    // A frequency named away from the tone found is fitted as named, over the whole region.
    const bool elsewhere = c.named_hz > 0 && std::fabs(c.named_hz - c.hz) > 2 * bin;
    EXPECT_EQ(chosen.at("detected").get<bool>(), !elsewhere);
    EXPECT_NEAR(chosen.at("tone").at("hz").get<double>(), elsewhere ? c.named_hz : tones.at(0).at("hz").get<double>(), 1e-9);
    // The render line is the text's, and its slider options are the settings'. Where no
    // tone lies near the frequency named, the text suggests none.
    const std::string render = chosen.at("render_command").get<std::string>();
    if (elsewhere) {
        EXPECT_EQ(text.out.find("settings for"), std::string::npos) << text.out;
        EXPECT_NE(text.out.find("no tone found lies near --hz"), std::string::npos) << text.out;
    } else {
        EXPECT_NE(text.out.find("  " + render + "\n"), std::string::npos) << render << "\n" << text.out;
    }
    const json& s = chosen.at("settings");
    for (const char* name : {"frequency", "seconds", "fft_order", "width", "fade"}) {
        std::string option = std::string("--") + name + " " + std::to_string(int(s[name].get<double>())) + " ";
        for (char& ch : option) ch = ch == '_' ? '-' : ch;
        EXPECT_NE(render.find(option), std::string::npos) << option << " in " << render;
    }
    EXPECT_NE(render.find(s.at("use_window").get<bool>() ? "--window" : "--no-window"), std::string::npos) << render;
    EXPECT_EQ(chosen.at("fft_size").get<double>(), std::pow(2, s.at("fft_order").get<double>()));
    EXPECT_EQ(chosen.at("selection").at("stretch_start").at("video_frame").get<double>(),
              chosen.at("selection").at("start_video_frame").get<double>());

    const json& notch = chosen.at("notch");
    const double hz = chosen.at("tone").at("hz").get<double>();
    EXPECT_LT(notch.at("low_hz").get<double>(), hz);
    EXPECT_GT(notch.at("high_hz").get<double>(), hz);
    EXPECT_EQ(notch.at("reaches_speech_band").get<bool>(), notch.at("high_hz").get<double>() >= 300 && notch.at("low_hz").get<double>() <= 3400);
    EXPECT_NEAR(notch.at("offset_hz").get<double>(), notch.at("centre_hz").get<double>() - hz, 0.0015);

    const json& predicted = chosen.at("predicted");
    // Noise alone at a named frequency is cut only as far as the notch is deep for noise.
    if (!elsewhere) {
        EXPECT_GT(predicted.at("cut_db").get<double>(), 30) << run.out;
    }
    EXPECT_GE(chosen.at("trials").size(), 2u);
    bool among_trials = false;
    for (const json& t : chosen.at("trials"))
        among_trials = among_trials || (t.at("fade").get<double>() == predicted.at("fade").get<double>() &&
                                        t.at("use_window").get<bool>() == predicted.at("use_window").get<bool>() &&
                                        t.at("cut_db").get<double>() == predicted.at("cut_db").get<double>());
    EXPECT_TRUE(among_trials) << run.out;

    EXPECT_EQ(chosen.at("too_long").get<bool>(), c.too_long) << run.out;
    EXPECT_EQ(chosen.at("harmonics_left").size(), elsewhere ? 0u : size_t(c.partials - 1));
    if (c.too_long) {
        ASSERT_TRUE(chosen.at("second_selection").is_object());
        EXPECT_EQ(chosen.at("second_selection").at("seconds").get<double>(), chosen.at("stretch").at("full_cut_until").at("seconds").get<double>());
        EXPECT_LT(chosen.at("second_selection").at("seconds").get<double>(), elsewhere ? c.seconds : c.to);
    } else {
        EXPECT_TRUE(chosen.at("second_selection").is_null());
    }
    // The check of the cut: what still sounds after the stretch, the next selection for
    // it, and the cut over the whole extent as the text's self-check line gives it. A
    // named frequency that no detected tone sounds at is never found in the result.
    const json& k = chosen.at("check");
    ASSERT_TRUE(chosen.at("detected").get<bool>() ? k.is_object() : k.is_null()) << run.out;
    if (chosen.at("detected").get<bool>()) {
        const bool goes_on = c.too_long;
        EXPECT_EQ(k.at("goes_on").get<bool>(), goes_on) << run.out;
        EXPECT_TRUE(goes_on ? k.at("next_selection").is_object() : k.at("next_selection").is_null()) << run.out;
        EXPECT_TRUE(goes_on ? k.at("still_sounds").is_object() : k.at("still_sounds").is_null()) << run.out;
        EXPECT_EQ(k.at("weak").get<bool>(), k.at("cut_db").get<double>() < 20);
        if (goes_on) {
            EXPECT_NEAR(k.at("still_sounds").at("start").at("seconds").get<double>(), chosen.at("stretch").at("full_cut_until").at("seconds").get<double>(),
                        0.07);
            EXPECT_NEAR(k.at("still_sounds").at("end").at("seconds").get<double>(), c.to, 0.07);
            EXPECT_NEAR(k.at("extent").at("end").at("seconds").get<double>(), c.to, 0.07);
            EXPECT_TRUE(k.at("weak").get<bool>()) << run.out;
            const json& next = k.at("next_selection");
            EXPECT_GT(next.at("start_video_frame").get<double>(), chosen.at("selection").at("start_video_frame").get<double>());
            EXPECT_LT(next.at("stretch_start").at("seconds").get<double>(), k.at("still_sounds").at("start").at("seconds").get<double>());
            EXPECT_NE(next.at("render_command").get<std::string>().find("in-notch.wav"), std::string::npos) << next.at("render_command").get<std::string>();
        } else {
            EXPECT_GT(k.at("cut_db").get<double>(), 30) << run.out;
        }
        // The text's one decimal and the JSON's three, of one figure (each rounded once).
        const std::string said = "the tone cut by ";
        const size_t at = text.out.find(said);
        ASSERT_NE(at, std::string::npos) << text.out;
        EXPECT_NEAR(std::stod(text.out.substr(at + said.size())), k.at("cut_db").get<double>(), 0.0505) << text.out;
        EXPECT_NE(text.out.find(" dB over its whole extent", at), std::string::npos) << text.out;
    } else {
        EXPECT_EQ(text.out.find("self-check"), std::string::npos) << text.out;
    }
    if (elsewhere) return;
    for (const json& w : chosen.at("warnings"))
        EXPECT_NE(text.out.find("  warning: " + w.get<std::string>() + "\n"), std::string::npos) << w.get<std::string>() << "\n" << text.out;
    size_t text_warnings = 0;
    for (size_t at = text.out.find("warning: "); at != std::string::npos; at = text.out.find("warning: ", at + 1))
        ++text_warnings;
    EXPECT_EQ(chosen.at("warnings").size(), text_warnings) << text.out;
}

INSTANTIATE_TEST_SUITE_P(Tones, DetectJson,
                         ::testing::Values(JsonCase{"beep", 5, 1000, 1, 1.5, 3.5, 0, 0, false},
                                           JsonCase{"long_whine", 7, 2500, 1, 1.0, 6.0, 0, 0, true},
                                           JsonCase{"hum", 5, 120, 3, 1.0, 3.0, 0, 0, false},
                                           JsonCase{"named_beside_a_tone", 5, 1000, 1, 1.5, 3.5, 3000, 4, true},
                                           JsonCase{"named_in_noise", 4, 0, 1, 0, 0, 2000, 4, false},
                                           JsonCase{"nothing", 4, 0, 1, 0, 0, 0, 4, false}),
                         [](const ::testing::TestParamInfo<JsonCase>& i) { return std::string(i.param.name); });

// Bytes JSON forbids inside a string are escaped, so a path of any name gives JSON.
TEST(DetectJson, PathWithQuotesStaysJson)
{
    TempFolder dir;
    write_audio(dir / "a \"quoted\"\\name.wav", noisy_tone(JsonCase{"", 4, 0, 1, 0, 0, 0, 4, false}));
    const ToolRun run = run_tool({"detect", "a \"quoted\"\\name.wav", "--json"}, dir.path());
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_EQ(json::parse(run.out).at("file").at("path").get<std::string>(), "a \"quoted\"\\name.wav");
}

// A 1 kHz sine at +12 dBFS, clipped: in a floating-point file the tool's conversion to 16
// bits clips it, and the harmonics that makes are not the file's (one tone, one notch, a
// note once); an integer file recorded clipped holds them, listed and notched.
struct ClippedCase {
    const char* name;
    bool floating;
};
void PrintTo(const ClippedCase& c, std::ostream* os) { *os << c.name; }

class DetectClipped : public ::testing::TestWithParam<ClippedCase> {};
TEST_P(DetectClipped, ListsOnlyTheHarmonicsTheFileHolds)
{
    const ClippedCase c = GetParam();
    const int64_t frames = 4 * kRate;
    std::vector<double> x(size_t(frames), 0.0);
    for (int64_t i = kRate; i < 3 * kRate; ++i) x[size_t(i)] = 4.0 * std::sin(2 * M_PI * 1000 * double(i) / kRate);
    TempFolder dir;
    if (c.floating) {
        SNDFILE* f = open_sound_for_writing(dir / "in.wav", kRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(sf_writef_double(f, x.data(), frames), frames);
        ASSERT_EQ(sf_close(f), 0);
    } else {
        Audio a;
        a.rate = kRate;
        a.channels = 1;
        for (const double v : x) a.samples.push_back(int16_t(std::lrint(32767 * std::clamp(v, -1.0, 1.0))));
        write_audio(dir / "in.wav", a);
    }
    const ToolRun text = run_tool({"detect", "in.wav"}, dir.path());
    const ToolRun run = run_tool({"detect", "in.wav", "--json"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const json j = json::parse(run.out);
    const json& tones = j.at("tones");
    ASSERT_EQ(tones.size(), 1u) << run.out;
    const json& t = tones.at(0);
    EXPECT_NEAR(t.at("hz").get<double>(), 1000, j.at("resolution_hz").get<double>());
    EXPECT_EQ(j.at("file").at("clips").get<bool>(), c.floating);
    const size_t harmonics = t.at("harmonics").size();
    EXPECT_EQ(t.at("notches").get<double>(), double(harmonics + 1));
    const std::string note = "the input goes over full scale";
    if (c.floating) {
        EXPECT_EQ(harmonics, 0u) << run.out;
        EXPECT_GT(j.at("file").at("clipping_harmonics").get<double>(), 0);
        EXPECT_EQ(text.out.find("a hum:"), std::string::npos) << text.out;
        const size_t at = text.out.find(note);
        ASSERT_NE(at, std::string::npos) << text.out;
        EXPECT_EQ(text.out.find(note, at + 1), std::string::npos) << text.out;  // once
    } else {
        // Odd harmonics of a square-ish wave: 3x, 5x, 7x ... the file's own.
        EXPECT_GE(harmonics, 5u) << run.out;
        EXPECT_EQ(j.at("file").at("clipping_harmonics").get<double>(), 0);
        EXPECT_NE(text.out.find("a hum:"), std::string::npos) << text.out;
        EXPECT_EQ(text.out.find(note), std::string::npos) << text.out;
    }
}
INSTANTIATE_TEST_SUITE_P(Files, DetectClipped,
                         ::testing::Values(ClippedCase{"float_over_full_scale", true},
                                           ClippedCase{"integer_recorded_clipped", false}),
                         [](const ::testing::TestParamInfo<ClippedCase>& i) { return std::string(i.param.name); });

} // namespace
