// Named tones that are absent: a frequency where nothing steady sounds, or a file of
// silence, gets no settings, no figure and no passing quality gate; the text says there
// is no tone, the JSON says so, and the exit status is not success where a result was
// asked for.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

struct AbsentCase {
    const char* name;
    bool silent;                    // the file is all zeros; else a 1 kHz tone from 1 s to 3 s in noise
    std::vector<std::string> args;  // after "detect in.wav" or "measure in.wav out.wav"
    bool measure;
    int status;
    const char* said;  // on stdout (or stderr for a failed gate)
};
void PrintTo(const AbsentCase& c, std::ostream* os) { *os << c.name; }

Audio input(bool silent)
{
    Audio a = sine_audio(48000, 1, 5.0, 1000, 0.0, silent ? 0.0 : 0.001);
    if (silent) return a;
    const Audio tone = sine_audio(48000, 1, 5.0, 1000, 0.1, 0.0);
    for (int64_t t = 48000; t < 3 * 48000; ++t)
        a.samples[size_t(t)] = int16_t(a.samples[size_t(t)] + tone.samples[size_t(t)]);
    return a;
}

class AbsentTone : public ::testing::TestWithParam<AbsentCase> {};
TEST_P(AbsentTone, IsNeitherFittedNorMeasured)
{
    const AbsentCase& c = GetParam();
    TempFolder dir;
    write_audio(dir / "in.wav", input(c.silent));
    std::vector<std::string> args = {c.measure ? "measure" : "detect", "in.wav"};
    if (c.measure) {
        const ToolRun render =
            run_tool({"render", "in.wav", "out.wav", "--hz", "1000", "--start", "0.5s", "-q"}, dir.path());
        ASSERT_EQ(render.status, 0) << render.err;
        args.push_back("out.wav");
        args.insert(args.end(), {"--start", "0.5s"});
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (!c.measure) args.push_back("-q");

    const ToolRun text = run_tool(args, dir.path());
    EXPECT_EQ(text.status, c.status) << text.out << text.err;
    EXPECT_NE((text.out + text.err).find(c.said), std::string::npos) << c.said << "\n" << text.out << text.err;
    EXPECT_EQ(text.out.find("settings for"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("inf"), std::string::npos) << text.out;

    args.push_back("--json");
    const ToolRun json = run_tool(args, dir.path());
    EXPECT_EQ(json.status, c.status) << json.out << json.err;
    const nlohmann::json j = nlohmann::json::parse(json.out);
    if (c.measure) {
        EXPECT_TRUE(j.at("tone").is_null()) << json.out;
        ASSERT_TRUE(j.at("no_tone").is_string()) << json.out;
        EXPECT_NE(j.at("no_tone").get<std::string>().find("no tone to measure"), std::string::npos) << json.out;
        if (c.silent) {
            EXPECT_TRUE(j.at("peak_dbfs").is_null()) << json.out;
        }
    } else if (!j.at("chosen").is_null()) {
        EXPECT_FALSE(j.at("chosen").at("detected").get<bool>()) << json.out;
    }
}

const std::vector<std::string> kNamed = {"--hz", "5000"};
const std::vector<std::string> kGated = {"--hz", "5000", "--min-attenuation", "20"};
const std::vector<std::string> kSilentGated = {"--hz", "1000", "--min-attenuation", "20"};

INSTANTIATE_TEST_SUITE_P(
    Named, AbsentTone,
    ::testing::Values(
        AbsentCase{"detect_beside_a_tone", false, kNamed, false, 4, "no tone found lies near --hz 5000"},
        AbsentCase{"detect_in_silence", true, kNamed, false, 4, "nothing steady sounds at --hz 5000"},
        AbsentCase{"measure_beside_a_tone", false, kNamed, true, 0,
                   "no tone to measure: no steady tone sounds near 5000.00 Hz"},
        AbsentCase{"gate_beside_a_tone", false, kGated, true, 3, "so no cut reaches --min-attenuation 20.0 dB"},
        AbsentCase{"measure_silence", true, {"--hz", "1000"}, true, 0, "no tone to measure"},
        AbsentCase{"measure_silence_unnamed", true, {}, true, 0, "no tone to measure: no steady tone found"},
        AbsentCase{"gate_on_silence", true, kSilentGated, true, 3, "so no cut reaches --min-attenuation 20.0 dB"}),
    [](const ::testing::TestParamInfo<AbsentCase>& i) { return std::string(i.param.name); });

}  // namespace

namespace {

// The tone measure reads is the one the notch is aimed at: with --frequency, the tone or
// hum harmonic nearest the notch's centre, not a fundamental at the band's edge; --hz
// beside --frequency names it, and leaves the notch where --frequency put it.
TEST(NamedTone, MeasureReadsTheToneTheNotchIsAimedAt)
{
    TempFolder dir;
    Audio a = sine_audio(48000, 1, 5.0, 1000, 0.0, 0.001);
    for (int32_t h = 1; h <= 3; ++h) {
        const Audio tone = sine_audio(48000, 1, 5.0, 120.0 * h, 0.1 / h, 0.0);
        for (size_t t = 0; t < a.samples.size(); ++t) a.samples[t] = int16_t(a.samples[t] + tone.samples[t]);
    }
    write_audio(dir / "in.wav", a);
    const std::vector<std::string> at = {"--start", "1s", "--fft-order", "12"};
    std::vector<std::string> render = {"render", "in.wav", "out.wav", "--hz", "240", "-q"};
    render.insert(render.end(), at.begin(), at.end());
    ASSERT_EQ(run_tool(render, dir.path()).status, 0);
    std::vector<std::string> named = {"measure", "in.wav", "out.wav", "--hz", "240", "--json"};
    named.insert(named.end(), at.begin(), at.end());
    const ToolRun by_hz = run_tool(named, dir.path());
    ASSERT_EQ(by_hz.status, 0) << by_hz.err;
    const std::string frequency =
        std::to_string(nlohmann::json::parse(by_hz.out).at("settings").at("frequency").get<int>());

    const struct {
        std::vector<std::string> args;
        double hz;  // the tone measured
    } cases[] = {
        {{"--frequency", frequency}, 240},
        {{"--frequency", frequency, "--hz", "240"}, 240},
        {{"--frequency", frequency, "--hz", "360"}, 360},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"measure", "in.wav", "out.wav", "--json"};
        args.insert(args.end(), at.begin(), at.end());
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = run_tool(args, dir.path());
        ASSERT_EQ(run.status, 0) << c.args.back() << run.err;
        const nlohmann::json j = nlohmann::json::parse(run.out);
        EXPECT_EQ(j.at("settings").at("frequency").get<int>(), std::stoi(frequency)) << c.args.back();
        ASSERT_TRUE(j.at("tone").is_object()) << run.out;
        EXPECT_NEAR(j.at("tone").at("hz").get<double>(), c.hz, 3) << c.args.back() << run.out;
    }
}

}  // namespace
