// The cut detect's self-check reports against one measured without it: a beep over a
// programme, both made here so each is known alone, the file rendered through the plug-in
// with the suggested settings with the beep and without it, and what the beep added to
// the result (the one rendering less the other) counted over the whole file, against the
// beep's own energy (tests/support/independent_cut.h). A beep switched
// on abruptly leaves most of what the notch does not take as its switching, spread on
// both sides of each edge; the check must count that, whatever the ramp, the tone's
// frequency, the programme under it and whether one stretch covers the beep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "independent_cut.h"
#include "test_programmes.h"
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

// Pink noise, or noise in the telephone's speech band swelling at a syllable's pace.
std::vector<int16_t> programme(Programme p, int64_t frames)
{
    return to_samples(p == Programme::pink ? pink_noise(frames, kProgrammeRms, 5)
                                           : speech_like_noise(frames, kRate, 300, 3400, kProgrammeRms, 6));
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

    const double measured =
        independent_cut_db(plugin.table(), file, without, chosen.fit.settings, chosen.fit.placement);
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
