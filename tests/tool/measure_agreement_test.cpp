// measure reads the tone the notch was aimed at, and reads its cut as detect predicts it:
// the same settings give the same figure from both, and a DFT written here agrees.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "case_table.h"
#include "tool_runner.h"

namespace {

double number_after(const std::string& text, const std::string& label)
{
    const size_t at = text.find(label);
    return at == std::string::npos ? NAN : std::strtod(text.c_str() + at + label.size(), nullptr);
}

std::vector<std::string> words_of(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// Partials of `hz` (the fundamental and `partials` - 1 harmonics, each half the one
// below) at `amplitude`, from `on` to `off` seconds, over white noise.
Audio gated_tone(double hz, int partials, double amplitude, double on, double off)
{
    Audio a = sine_audio(48000, 1, 6.0, 1, 0.0, 0.003);
    for (int64_t t = int64_t(on * a.rate); t < int64_t(off * a.rate); ++t) {
        double v = 0;
        for (int p = 1; p <= partials; ++p) v += amplitude / (1 << (p - 1)) * std::sin(2 * M_PI * p * hz * t / a.rate);
        a.samples[size_t(t)] = int16_t(std::lrint(a.samples[size_t(t)] + 32767 * v));
    }
    return a;
}

} // namespace

// A sine driven into clipping has harmonics up to the top of the spectrum that stand out
// more than the tone itself; --hz says which tone is meant.
TEST(MeasureCommand, MeasuresTheToneAskedForOnAClippedSine)
{
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(48000, 1, 4.0, 1000, 2.0, 0.0));
    const std::vector<std::string> settings = {"--hz", "1000", "--fft-order", "13", "--fade", "5"};
    std::vector<std::string> render = {"render", "in.wav", "out.wav", "-q"};
    render.insert(render.end(), settings.begin(), settings.end());
    ASSERT_EQ(run_tool(render, dir.path()).status, 0);
    std::vector<std::string> measure = {"measure", "in.wav", "out.wav", "--min-attenuation", "30"};
    measure.insert(measure.end(), settings.begin(), settings.end());
    const ToolRun run = run_tool(measure, dir.path());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NEAR(number_after(run.out, "\ntone "), 1000, 1) << run.out;
    EXPECT_GE(number_after(run.out, "Hz: cut by "), 60) << run.out;
}

namespace {
struct AgreementCase {
    const char* name;
    double hz;
    int partials;
};
} // namespace

class CutAgreement : public ::testing::TestWithParam<AgreementCase> {};

// detect's render line is rendered and measured with the same settings; the cut detect
// predicted, the cut measure reports and one read here over the span measure names
// agree within 1 dB.
TEST_P(CutAgreement, DetectAndMeasureReadOneCut)
{
    const AgreementCase c = GetParam();
    TempFolder dir;
    const Audio in = gated_tone(c.hz, c.partials, 0.1, 1.5, 4.0);
    write_audio(dir / "in.wav", in);
    const ToolRun detect = run_tool({"detect", "in.wav"}, dir.path());
    ASSERT_EQ(detect.status, 0) << detect.out << detect.err;
    const double predicted = number_after(detect.out, "tone cut by ");
    const size_t line = detect.out.find("  tulm render ");
    ASSERT_NE(line, std::string::npos) << detect.out;
    std::vector<std::string> render = words_of(detect.out.substr(line, detect.out.find('\n', line) - line));
    ASSERT_GT(render.size(), 4u);
    const std::string out_name = render[3];
    render.erase(render.begin());
    ASSERT_EQ(run_tool(render, dir.path()).status, 0);

    std::vector<std::string> measure = {"measure", "in.wav", out_name};
    measure.insert(measure.end(), render.begin() + 3, render.end());
    const ToolRun run = run_tool(measure, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const double reported = number_after(run.out, "Hz: cut by ");
    const double from = number_after(run.out, "dB where it sounds, "), to = number_after(run.out, " s to ");
    ASSERT_LT(from, to) << run.out;
    const Audio out = read_audio(dir / out_name);
    const int64_t first = std::lround(from * 48000), count = std::lround(to * 48000) - first;
    const double hz = number_after(run.out, "\ntone ");
    EXPECT_NEAR(hz, c.hz, 1) << run.out;
    // What is left under -100 dBFS is silence, and the tool says so by its cut.
    const double here = 20 * std::log10(tone_amplitude(in, hz, first, count) /
                                        std::max(tone_amplitude(out, hz, first, count), 1e-5));
    EXPECT_NEAR(reported, predicted, 1.0) << detect.out << run.out;
    EXPECT_NEAR(reported, here, 1.0) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Tones, CutAgreement,
                         ::testing::Values(AgreementCase{"beep_1kHz", 1000, 1}, AgreementCase{"hum_50Hz", 50, 3}),
                         CaseName());
