// The cut detect's self-check reports against one measured without it: a beep over a
// programme, both made here so each is known alone, the file rendered through the plug-in
// with the suggested settings with the beep and without it, and what the beep added to
// the result (the one rendering less the other) counted from a block and more before its
// onset to a block and more after its end, against the beep's own energy. A beep switched
// on abruptly leaves most of what the notch does not take as its switching, spread on
// both sides of each edge; the check must count that, whatever the ramp, the tone's
// frequency, the programme under it and whether one stretch covers the beep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/sample_source.h"
#include "tool/session/chosen_tone.h"
#include "tool/session/plugin_session.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr double kClipSeconds = 7;
constexpr double kBeepFrom = 1.013;      // off the video frames' grid
constexpr double kBeepAmplitude = 3277;  // -20 dBFS
constexpr double kProgrammeRms = 820;    // -32 dBFS

enum class Programme { pink, speech_band };

// Pink noise (a sum of three one-pole filters of white noise, flat to within half a dB
// per octave across the audio band), scaled to kProgrammeRms.
std::vector<double> pink(int64_t frames, std::mt19937& random)
{
    std::normal_distribution<double> white(0, 1);
    std::vector<double> x(static_cast<size_t>(frames));
    double b0 = 0, b1 = 0, b2 = 0;
    for (double& v : x) {
        const double w = white(random);
        b0 = 0.99765 * b0 + 0.0990460 * w;
        b1 = 0.96300 * b1 + 0.2965164 * w;
        b2 = 0.57000 * b2 + 1.0526913 * w;
        v = b0 + b1 + b2 + 0.1848 * w;
    }
    return x;
}

// One biquad section (high- or low-pass, Q 0.707) run over `x`.
void biquad(std::vector<double>* x, double hz, bool high)
{
    const double w = 2 * M_PI * hz / kRate, alpha = std::sin(w) / (2 * M_SQRT1_2), c = std::cos(w);
    const double b1 = high ? -(1 + c) : 1 - c, b0 = std::fabs(b1) / 2, b2 = b0;
    const double a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (double& v : *x) {
        const double y = (b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = y;
    }
}

// Noise in the telephone's speech band (300 to 3400 Hz) that swells and fades at a
// syllable's pace, as speech does.
std::vector<double> speech_band(int64_t frames, std::mt19937& random)
{
    std::normal_distribution<double> white(0, 1);
    std::vector<double> x(static_cast<size_t>(frames));
    for (double& v : x) v = white(random);
    for (int i = 0; i < 2; ++i) {
        biquad(&x, 300, true);
        biquad(&x, 3400, false);
    }
    for (size_t t = 0; t < x.size(); ++t) x[t] *= 0.3 + std::fabs(std::sin(M_PI * 4.1 * double(t) / kRate));
    return x;
}

std::vector<int16_t> programme(Programme p, int64_t frames)
{
    std::mt19937 random(p == Programme::pink ? 5 : 6);
    std::vector<double> x = p == Programme::pink ? pink(frames, random) : speech_band(frames, random);
    double power = 0;
    for (const double v : x) power += v * v;
    const double scale = kProgrammeRms / std::sqrt(power / double(x.size()));
    std::vector<int16_t> s(x.size());
    for (size_t t = 0; t < x.size(); ++t) s[t] = int16_t(std::lrint(std::clamp(x[t] * scale, -32768.0, 32767.0)));
    return s;
}

// The beep in whole samples, so that the file is exactly the programme plus it: raised-
// cosine ramps of `ramp` seconds at each end (none: switched on and off in one sample).
std::vector<int16_t> beep(int64_t frames, double hz, double from, double to, double ramp)
{
    std::vector<int16_t> s(static_cast<size_t>(frames), 0);
    const double edge = ramp * kRate;
    for (int64_t t = int64_t(std::ceil(from * kRate)); t < int64_t(to * kRate); ++t) {
        const double in = std::min(double(t) - from * kRate, to * kRate - double(t));
        const double gate = in < edge ? 0.5 - 0.5 * std::cos(M_PI * in / edge) : 1.0;
        s[size_t(t)] = int16_t(std::lrint(kBeepAmplitude * gate * std::sin(2 * M_PI * hz * double(t) / kRate + 0.7)));
    }
    return s;
}

Audio mono(std::vector<int16_t> samples)
{
    Audio a;
    a.rate = kRate;
    a.channels = 1;
    a.samples = std::move(samples);
    return a;
}

// What the beep added to the rendering over [first, end), against its own energy
// anywhere, in dB: the plug-in's own output with and without it, nothing of the check's.
double measured_cut_db(const std::vector<int16_t>& alone, const Audio& out_with, const Audio& out_without,
                       int64_t first, int64_t end)
{
    double own = 0, left = 0;
    for (const int16_t v : alone) own += double(v) * v;
    for (int64_t t = std::max<int64_t>(0, first); t < std::min<int64_t>(out_with.frames(), end); ++t) {
        const double r = double(out_with.samples[size_t(t)]) - out_without.samples[size_t(t)];
        left += r * r;
    }
    return 10 * std::log10(own / std::max(left, 1.0));
}

struct ResidueCase {
    double ramp_ms;
    double hz;
    Programme programme;
    double seconds;  // the beep's length: 1.5 fits inside one stretch, 3.6 outlasts one
};

std::string case_name(const ResidueCase& c)
{
    std::string ramp = std::to_string(int(c.ramp_ms * 10));
    return "ramp" + ramp + "tenths_ms_" + std::to_string(int(c.hz)) + "Hz_" +
           (c.programme == Programme::pink ? "pink" : "speech") + (c.seconds > 3 ? "_outlasts" : "_inside");
}
void PrintTo(const ResidueCase& c, std::ostream* os) { *os << case_name(c); }

std::vector<ResidueCase> cases()
{
    std::vector<ResidueCase> v;
    for (const double seconds : {1.5, 3.6})
        for (const Programme p : {Programme::pink, Programme::speech_band})
            for (const double hz : {440.0, 1000.0, 4300.0})
                for (const double ramp : {0.0, 0.5, 2.0, 5.0, 20.0}) v.push_back({ramp, hz, p, seconds});
    return v;
}

}  // namespace

class CutResidue : public ::testing::TestWithParam<ResidueCase> {};
TEST_P(CutResidue, TheCheckCountsWhatIsLeftOfTheBeepOnBothSidesOfItsEdges)
{
    const ResidueCase c = GetParam();
    const int64_t frames = int64_t(kClipSeconds * kRate);
    const std::vector<int16_t> under = programme(c.programme, frames);
    const std::vector<int16_t> alone = beep(frames, c.hz, kBeepFrom, kBeepFrom + c.seconds, c.ramp_ms / 1000);
    std::vector<int16_t> with(under);
    for (size_t t = 0; t < with.size(); ++t) with[t] = int16_t(with[t] + alone[t]);
    const Audio file = mono(with), without = mono(under);

    // As `tulm detect` runs over the whole file, asked for the beep by its frequency.
    const Detection d = detect_tones(file, 0, frames);
    bool detected = false;
    tone_near(d, c.hz, 0, frames, &detected);
    ASSERT_TRUE(detected) << d.tones.size() << " tones listed";
    PluginSession plugin(TULM_MODULE);
    Placement placement;
    const ChosenTone chosen =
        choose_and_fit(plugin.table(), source_of(file), 0, frames, placement, d, true, c.hz, 0, frames);
    ASSERT_TRUE(chosen.checked);

    const Audio out_with = run_plugin(plugin.table(), file, chosen.fit.settings, chosen.fit.placement, false);
    const Audio out_without = run_plugin(plugin.table(), without, chosen.fit.settings, chosen.fit.placement, false);
    const int64_t past = 2 * int64_t(chosen.fit.notch.n);
    const double measured = measured_cut_db(alone, out_with, out_without, int64_t(kBeepFrom * kRate) - past,
                                            int64_t((kBeepFrom + c.seconds) * kRate) + past);
    RecordProperty("check_db", std::to_string(chosen.check.cut_db));
    RecordProperty("measured_db", std::to_string(measured));
    EXPECT_NEAR(chosen.check.cut_db, measured, 3.0)
        << "extent " << double(chosen.check.extent_first) / kRate << " s to " << double(chosen.check.extent_end) / kRate
        << " s; stretch from " << double(chosen.fit.stretch_first) / kRate << " s, FFT " << chosen.fit.notch.n
        << ", width " << chosen.fit.settings.slider[kWidth] << ", switching read as "
        << 1000 * chosen.fit.switch_frames / kRate << " ms";
}
INSTANTIATE_TEST_SUITE_P(Beeps, CutResidue, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<ResidueCase>& i) { return case_name(i.param); });
