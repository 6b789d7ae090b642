// The check of detect's own cut, on a 1 kHz tone in noise whose settings were fitted to
// what the detector saw of it: where the tone goes on past the stretch the check must
// find it, from where the stretch's full cut ends to where the tone ends (or to where
// the check stops looking), and read the cut over the whole extent as the tone's power
// there against what the rendering left of it, which the renderings with and without the
// tone give independently: for a tone the stretch covers, what is left is its switching,
// which spreads the wider past the notch the faster it switches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>

#include "case_table.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/session/cut_check.h"
#include "tool/session/fit.h"
#include "tool/session/plugin_session.h"

namespace {

constexpr int32_t kRate = 48000;

// White noise at -40 dBFS: what the tone sounds over.
Audio noise(double seconds)
{
    Audio a;
    a.rate = kRate;
    a.channels = 1;
    a.samples.resize(size_t(seconds * kRate));
    std::mt19937 random(11);
    std::uniform_real_distribution<double> u(-0.017, 0.017);
    for (int16_t& x : a.samples) x = int16_t(std::lrint(32767 * u(random)));
    return a;
}

// `a` with 1 kHz at -20 dBFS (and `db` more) from `from` to `to` seconds, switched over
// `ramp` seconds.
Audio with_tone(Audio a, double from, double to, double db = 0, double ramp = 0.005)
{
    const int64_t first = int64_t(from * kRate), end = int64_t(to * kRate);
    const double edge = ramp * kRate;
    for (int64_t t = first; t < end; ++t) {
        const double in = std::min(double(t - first), double(end - t));
        const double gate = in < edge ? 0.5 - 0.5 * std::cos(M_PI * in / edge) : 1.0;
        int16_t& x = a.samples[size_t(t)];
        x = int16_t(std::lrint(x + 3277 * std::pow(10.0, db / 20) * gate * std::sin(2 * M_PI * 1000 * double(t) / kRate)));
    }
    return a;
}

struct CheckCase {
    const char* name;
    double seconds;                 // the clip's length
    double from, to;                // the tone
    double resume_from, resume_to;  // where it sounds again after a pause; 0: it does not
    double detected_to;             // the extent handed to the fit ends here; 0: as detected
    double resume_db = 0;           // the level it sounds again at, against its own: not 0, another
                                    // sound at its frequency that only passes through its bin
    double ramp = 0.005;            // seconds it takes to switch on and off
};

} // namespace

class CutCheckCases : public ::testing::TestWithParam<CheckCase> {};
TEST_P(CutCheckCases, FindsWhereTheToneGoesOnAndCutsOverItsWholeExtent)
{
    const CheckCase c = GetParam();
    const Audio program = noise(c.seconds);
    Audio a = with_tone(program, c.from, c.to, 0, c.ramp);
    if (c.resume_to > 0) a = with_tone(a, c.resume_from, c.resume_to, c.resume_db, c.ramp);
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_FALSE(d.tones.empty());
    // The tone that starts first: the pause parts the detector's two.
    Tone tone = *std::min_element(d.tones.begin(), d.tones.end(),
                                  [](const Tone& x, const Tone& y) { return x.first < y.first; });
    ASSERT_NEAR(double(tone.first), c.from * kRate, 2.0 * kRate / 30);
    if (c.detected_to > 0) {
        tone.end = int64_t(c.detected_to * kRate);
        tone.to_region_end = false;
    }

    PluginSession plugin(TULM_MODULE);
    const Fit fit = fit_settings(plugin.table(), a, a.frames(), tone, 30, 1);
    const CutCheck k = check_cut(plugin.table(), a, a.frames(), tone, fit);

    const int64_t stretch_end = fit.stretch_first + fit.notch.length;
    EXPECT_EQ(k.look_first, fit.stretch_first);
    EXPECT_EQ(k.look_end, std::min<int64_t>(a.frames(), std::max<int64_t>(stretch_end + kRate, tone.end)));
    // Where the tone truly sounds past the full cut, within what the check looks at.
    const bool resumes = c.resume_to > 0 && c.resume_db == 0;
    const double last_end = resumes ? c.resume_to : c.to;
    const int64_t true_end = std::min<int64_t>(int64_t(last_end * kRate), k.look_end);
    const int64_t left_first = resumes ? std::max<int64_t>(int64_t(c.resume_from * kRate), fit.cut_end)
                                               : fit.cut_end;
    const bool goes_on = true_end - left_first > kRate / 10;
    const double two_frames = 2.0 * kRate / 30;
    ASSERT_EQ(k.goes_on, goes_on) << "looked from " << k.look_first << " to " << k.look_end << "; full cut until "
                                  << fit.cut_end;
    if (goes_on) {
        EXPECT_NEAR(double(k.left_first), double(left_first), two_frames);
        EXPECT_NEAR(double(k.left_end), double(true_end), two_frames);
        EXPECT_EQ(k.left_to_look_end, last_end * kRate > double(k.look_end) + two_frames);
        EXPECT_EQ(k.extent_end, std::max(tone.end, k.left_end));
        // The next selection starts before what remains, and after the first one did.
        ASSERT_TRUE(k.has_next);
        EXPECT_GT(k.next.placement.start_frame, fit.placement.start_frame);
        EXPECT_LT(k.next.stretch_first, k.left_first);
        EXPECT_GE(k.next.cut_end, std::min(k.left_end, fit.cut_end + k.next.notch.length / 2));
    } else {
        EXPECT_EQ(k.extent_end, tone.end);
    }
    EXPECT_EQ(k.extent_first, tone.first);

    // The cut the renderings with and without the tone give over the same extent and a
    // block either side, where the notch spreads the tone's switching.
    const Audio out_with = run_plugin(plugin.table(), a, fit.settings, fit.placement, false);
    const Audio out_without = run_plugin(plugin.table(), program, fit.settings, fit.placement, false);
    const double truth =
        tone_cut_db(a, program, out_with, out_without, std::max<int64_t>(0, k.extent_first - fit.notch.n),
                    std::min(a.frames(), k.extent_end + fit.notch.n));
    EXPECT_NEAR(k.cut_db, truth, 2.0);
    EXPECT_EQ(k.weak, k.cut_db < kWeakCutDb);
    EXPECT_EQ(k.weak, goes_on) << k.cut_db << " dB";
}
INSTANTIATE_TEST_SUITE_P(
    Tones, CutCheckCases,
    ::testing::Values(CheckCase{"inside_one_stretch", 5, 1.0, 3.0, 0, 0, 0},
                      CheckCase{"outlasts_one_stretch", 8, 1.0, 7.0, 0, 0, 0},
                      CheckCase{"extent_cut_short", 7, 1.0, 4.5, 0, 0, 2.0},
                      CheckCase{"ends_within_the_look", 6, 1.0, 3.6, 0, 0, 2.5},
                      CheckCase{"resumes_after_a_pause", 7, 1.0, 2.6, 3.1, 4.6, 0},
                      CheckCase{"other_sound_in_its_bin", 6, 1.0, 2.5, 3.1, 3.7, 0, -4.5},
                      CheckCase{"slow_switching", 5, 1.0, 3.0, 0, 0, 0, 0, 0.03}),
    CaseName());
