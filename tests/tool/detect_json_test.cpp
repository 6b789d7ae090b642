// `tulm detect --json` on synthetic tones: the text parses as JSON, its figures are the
// detector's and the fit's, and it says what the text output says (the same render line,
// the same warnings), with null where no tone was chosen.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <string>

#include "json_reader.h"
#include "tool_runner.h"

namespace {

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
    const JsonValue j = parse_json(run.out);

    const int64_t frames = int64_t(c.seconds * kRate);
    EXPECT_EQ(j["file"]["rate"].number, kRate);
    EXPECT_FALSE(j["file"]["clips"].flag);  // 16-bit input never goes over full scale
    EXPECT_EQ(j["file"]["frames"].number, frames);
    EXPECT_EQ(j["region"]["end"]["sample_frame"].number, frames);
    EXPECT_EQ(j["region"]["end"]["video_frame"].number, std::floor(c.seconds * 30 + 1e-9));
    const double bin = j["resolution_hz"].number;
    EXPECT_NEAR(bin, 5.86, 0.01);

    const JsonValue& tones = j["tones"];
    ASSERT_EQ(tones.kind, JsonValue::kArray);
    ASSERT_EQ(tones.items.size(), c.hz > 0 ? 1u : 0u) << run.out;
    if (c.hz > 0) {
        const JsonValue& t = tones[0];
        EXPECT_NEAR(t["hz"].number, c.hz, bin);
        EXPECT_NEAR(t["level_dbfs"].number, 20 * std::log10(0.1), 1.0);
        EXPECT_NEAR(t["start"]["seconds"].number, c.from, 0.05);
        EXPECT_NEAR(t["end"]["seconds"].number, c.to, 0.05);
        EXPECT_EQ(t["start"]["video_frame"].number, std::floor(t["start"]["sample_frame"].number * 30 / kRate));
        EXPECT_NEAR(t["duration_s"].number, t["end"]["seconds"].number - t["start"]["seconds"].number, 0.0015);
        EXPECT_EQ(t["hum"].flag, c.partials > 1);
        // One notch removes one harmonic: a hum of n partials takes n.
        EXPECT_EQ(t["notches"].number, c.partials);
        ASSERT_EQ(t["harmonics"].items.size(), size_t(c.partials - 1)) << run.out;
        for (int32_t h = 2; h <= c.partials; ++h) {
            EXPECT_EQ(t["harmonics"][size_t(h - 2)]["order"].number, h);
            EXPECT_NEAR(t["harmonics"][size_t(h - 2)]["relative_db"].number, -6.02 * (h - 1), 1.0);
        }
        // The same figures as the text's line, to its decimals.
        char line[64];
        std::snprintf(line, sizeof line, "tone 1: %.2f Hz at %.1f dBFS", t["hz"].number, t["level_dbfs"].number);
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
    }

    // No steady tone: no settings, whether or not a frequency was named.
    const JsonValue& chosen = j["chosen"];
    if (c.hz == 0) {
        EXPECT_EQ(chosen.kind, JsonValue::kNull);
        EXPECT_EQ(text.out.find("settings for"), std::string::npos) << text.out;
        return;
    }
    ASSERT_EQ(chosen.kind, JsonValue::kObject);
    // A frequency named away from the tone found is fitted as named, over the whole region.
    const bool elsewhere = c.named_hz > 0 && std::fabs(c.named_hz - c.hz) > 2 * bin;
    EXPECT_EQ(chosen["detected"].flag, !elsewhere);
    EXPECT_NEAR(chosen["tone"]["hz"].number, elsewhere ? c.named_hz : tones[0]["hz"].number, 1e-9);
    // The render line is the text's, and its slider options are the settings'.
    const std::string render = chosen["render_command"].text;
    EXPECT_NE(text.out.find("  " + render + "\n"), std::string::npos) << render << "\n" << text.out;
    const JsonValue& s = chosen["settings"];
    for (const char* name : {"frequency", "seconds", "fft_order", "width", "fade"}) {
        std::string option = std::string("--") + name + " " + std::to_string(int(s[name].number)) + " ";
        for (char& ch : option) ch = ch == '_' ? '-' : ch;
        EXPECT_NE(render.find(option), std::string::npos) << option << " in " << render;
    }
    EXPECT_NE(render.find(s["use_window"].flag ? "--window" : "--no-window"), std::string::npos) << render;
    EXPECT_EQ(chosen["fft_size"].number, std::pow(2, s["fft_order"].number));
    EXPECT_EQ(chosen["selection"]["stretch_start"]["video_frame"].number,
              chosen["selection"]["start_video_frame"].number);

    const JsonValue& notch = chosen["notch"];
    const double hz = chosen["tone"]["hz"].number;
    EXPECT_LT(notch["low_hz"].number, hz);
    EXPECT_GT(notch["high_hz"].number, hz);
    EXPECT_EQ(notch["reaches_speech_band"].flag, notch["high_hz"].number >= 300 && notch["low_hz"].number <= 3400);
    EXPECT_NEAR(notch["offset_hz"].number, notch["centre_hz"].number - hz, 0.0015);

    const JsonValue& predicted = chosen["predicted"];
    // Noise alone at a named frequency is cut only as far as the notch is deep for noise.
    if (!elsewhere) {
        EXPECT_GT(predicted["cut_db"].number, 30) << run.out;
    }
    EXPECT_GE(chosen["trials"].items.size(), 2u);
    bool among_trials = false;
    for (const JsonValue& t : chosen["trials"].items)
        among_trials = among_trials || (t["fade"].number == predicted["fade"].number &&
                                        t["use_window"].flag == predicted["use_window"].flag &&
                                        t["cut_db"].number == predicted["cut_db"].number);
    EXPECT_TRUE(among_trials) << run.out;

    EXPECT_EQ(chosen["too_long"].flag, c.too_long) << run.out;
    EXPECT_EQ(chosen["harmonics_left"].items.size(), elsewhere ? 0u : size_t(c.partials - 1));
    if (c.too_long) {
        ASSERT_EQ(chosen["second_selection"].kind, JsonValue::kObject);
        EXPECT_EQ(chosen["second_selection"]["seconds"].number, chosen["stretch"]["full_cut_until"]["seconds"].number);
        EXPECT_LT(chosen["second_selection"]["seconds"].number, elsewhere ? c.seconds : c.to);
    } else {
        EXPECT_EQ(chosen["second_selection"].kind, JsonValue::kNull);
    }
    // The check of the cut: what still sounds after the stretch, the next selection for
    // it, and the cut over the whole extent as the text's self-check line gives it. A
    // named frequency that no detected tone sounds at is never found in the result.
    const JsonValue& k = chosen["check"];
    ASSERT_EQ(k.kind, chosen["detected"].flag ? JsonValue::kObject : JsonValue::kNull) << run.out;
    if (chosen["detected"].flag) {
        const bool goes_on = c.too_long;
        EXPECT_EQ(k["goes_on"].flag, goes_on) << run.out;
        EXPECT_EQ(k["next_selection"].kind, goes_on ? JsonValue::kObject : JsonValue::kNull) << run.out;
        EXPECT_EQ(k["still_sounds"].kind, goes_on ? JsonValue::kObject : JsonValue::kNull) << run.out;
        EXPECT_EQ(k["weak"].flag, k["cut_db"].number < 20);
        if (goes_on) {
            EXPECT_NEAR(k["still_sounds"]["start"]["seconds"].number, chosen["stretch"]["full_cut_until"]["seconds"].number,
                        0.07);
            EXPECT_NEAR(k["still_sounds"]["end"]["seconds"].number, c.to, 0.07);
            EXPECT_NEAR(k["extent"]["end"]["seconds"].number, c.to, 0.07);
            EXPECT_TRUE(k["weak"].flag) << run.out;
            const JsonValue& next = k["next_selection"];
            EXPECT_GT(next["start_video_frame"].number, chosen["selection"]["start_video_frame"].number);
            EXPECT_LT(next["stretch_start"]["seconds"].number, k["still_sounds"]["start"]["seconds"].number);
            EXPECT_NE(next["render_command"].text.find("in-notch.wav"), std::string::npos) << next["render_command"].text;
        } else {
            EXPECT_GT(k["cut_db"].number, 30) << run.out;
        }
        // The text's one decimal and the JSON's three, of one figure (each rounded once).
        const std::string said = "the tone cut by ";
        const size_t at = text.out.find(said);
        ASSERT_NE(at, std::string::npos) << text.out;
        EXPECT_NEAR(std::stod(text.out.substr(at + said.size())), k["cut_db"].number, 0.0505) << text.out;
        EXPECT_NE(text.out.find(" dB over its whole extent", at), std::string::npos) << text.out;
    } else {
        EXPECT_EQ(text.out.find("self-check"), std::string::npos) << text.out;
    }
    for (const JsonValue& w : chosen["warnings"].items)
        EXPECT_NE(text.out.find("  warning: " + w.text + "\n"), std::string::npos) << w.text << "\n" << text.out;
    size_t text_warnings = 0;
    for (size_t at = text.out.find("warning: "); at != std::string::npos; at = text.out.find("warning: ", at + 1))
        ++text_warnings;
    EXPECT_EQ(chosen["warnings"].items.size(), text_warnings) << text.out;
}

INSTANTIATE_TEST_SUITE_P(Tones, DetectJson,
                         ::testing::Values(JsonCase{"beep", 5, 1000, 1, 1.5, 3.5, 0, 0, false},
                                           JsonCase{"long_whine", 7, 2500, 1, 1.0, 6.0, 0, 0, true},
                                           JsonCase{"hum", 5, 120, 3, 1.0, 3.0, 0, 0, false},
                                           JsonCase{"named_beside_a_tone", 5, 1000, 1, 1.5, 3.5, 3000, 0, true},
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
    EXPECT_EQ(parse_json(run.out)["file"]["path"].text, "a \"quoted\"\\name.wav");
}

} // namespace
