// The passes that cut a tone longer than one stretch: each starts after the one before
// and before where that one's full cut ends, until the tone's whole extent is covered;
// none fades the program out where the stretch starts inside it; and the passes, each
// rendered on the one before's result as the host holds it after a pass is written out,
// cut the tone over its whole extent as deeply as the plan says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "case_table.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/session/fit.h"
#include "tool/session/pass_plan.h"
#include "tool/session/plugin_session.h"

namespace {

constexpr int32_t kRate = 48000;

// White noise at -40 dBFS, or silence.
Audio program(double seconds, bool noise)
{
    Audio a;
    a.rate = kRate;
    a.channels = 1;
    a.samples.resize(size_t(seconds * kRate));
    if (!noise) return a;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> u(-0.017, 0.017);
    for (int16_t& x : a.samples) x = int16_t(std::lrint(32767 * u(random)));
    return a;
}

struct PlanCase {
    const char* name;
    double seconds;
    double from, to;  // the tone, switched over 5 ms (not where it starts or ends with the file)
    double hz;
    int32_t orders;        // partials at hz, 2 hz, ...: a hum's family
    bool noise;            // over noise, else over silence
    int32_t fewest, most;  // passes
    bool fade_may;         // the first pass may fade: the tone sounds at its first sample, alone
    double least_cut_db;   // over the whole extent: a tone sounding at a stretch's first
                           // sample is in its first block, which no ramp softens
};

// `a` with the tone's partials from `lowest` up.
Audio with_tone(Audio a, const PlanCase& c, int32_t lowest = 1)
{
    const int64_t first = int64_t(c.from * kRate), end = std::min<int64_t>(a.frames(), int64_t(c.to * kRate));
    const double edge = 0.005 * kRate;
    for (int64_t t = first; t < end; ++t) {
        const double in = std::min(first == 0 ? edge : double(t - first), end == a.frames() ? edge : double(end - t));
        const double gate = in < edge ? 0.5 - 0.5 * std::cos(M_PI * in / edge) : 1.0;
        double v = 0;
        for (int32_t k = lowest; k <= c.orders; ++k) v += std::sin(2 * M_PI * c.hz * k * double(t) / kRate) / k;
        int16_t& x = a.samples[size_t(t)];
        x = int16_t(std::lrint(x + 3277 * gate * v));
    }
    return a;
}

// The audio through every pass in turn, each on the one before's result.
Audio through(FilterTable& table, Audio a, const PassPlan& p)
{
    for (const Fit& f : p.passes) a = run_plugin(table, a, f.settings, f.placement, false);
    return a;
}

}  // namespace

class PassPlanCases : public ::testing::TestWithParam<PlanCase> {};
TEST_P(PassPlanCases, CoverTheToneInPassesThatLeaveTheProgram)
{
    const PlanCase c = GetParam();
    const Audio quiet = program(c.seconds, c.noise);
    const Audio a = with_tone(quiet, c);
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_FALSE(d.tones.empty());
    const Tone& tone = d.tones.front();
    ASSERT_NEAR(tone.hz, c.hz, 2);

    PluginSession plugin(TULM_MODULE);
    const Fit first = fit_settings(plugin.table(), a, a.frames(), tone, 30, 1);
    EXPECT_EQ(first.fade_may_silence, c.fade_may);
    const PassPlan p = plan_passes(plugin.table(), a, a.frames(), tone, first);
    const int32_t count = int32_t(p.passes.size());
    EXPECT_GE(count, c.fewest);
    EXPECT_LE(count, c.most);
    EXPECT_FALSE(p.goes_on) << "still sounds from " << double(p.checks.back().left_first) / kRate << " s";
    ASSERT_EQ(p.checks.size(), p.passes.size());
    ASSERT_EQ(p.program.size(), p.passes.size());
    EXPECT_EQ(p.passes.front().placement.start_frame, first.placement.start_frame);
    for (int32_t i = 0; i < count; ++i) {
        const Fit& f = p.passes[size_t(i)];
        if (i > 0) {
            const Fit& before = p.passes[size_t(i - 1)];
            // Later, but not past where the one before stops cutting in full: no gap.
            EXPECT_GT(f.placement.start_frame, before.placement.start_frame) << "pass " << i + 1;
            EXPECT_LT(f.stretch_first, before.cut_end) << "pass " << i + 1;
        }
        // A stretch that starts inside the program starts at its full level.
        if (i > 0 || !c.fade_may) {
            EXPECT_EQ(f.settings.slider[kFade], 0) << "pass " << i + 1;
        }
        if (c.noise) {
            EXPECT_NEAR(p.program[size_t(i)].change_db, 0, 0.5) << "pass " << i + 1;
            EXPECT_GT(p.program[size_t(i)].dip_db, -1.5) << "pass " << i + 1;
        }
    }
    // The last pass cuts in full up to the tone's end, or the file's.
    EXPECT_GE(p.passes.back().cut_end, std::min<int64_t>(tone.end, a.frames() - kRate / 10));
    EXPECT_EQ(p.extent_first, tone.first);
    EXPECT_GE(p.cut_db, c.least_cut_db);
    EXPECT_FALSE(p.weak);

    // What the passes leave of the tone, read from the audio rendered with it and without
    // it (a hum's harmonics kept: one notch takes one) through every pass in turn, over
    // its extent and a block either side.
    const Audio without = with_tone(quiet, c, 2);
    const Audio out_with = through(plugin.table(), a, p);
    const Audio out_without = through(plugin.table(), without, p);
    const int64_t n = first.notch.n;
    const double truth = tone_cut_db(a, without, out_with, out_without, std::max<int64_t>(0, p.extent_first - n),
                                     std::min(a.frames(), p.extent_end + n));
    EXPECT_GE(truth, c.least_cut_db);
    EXPECT_NEAR(p.cut_db, truth, 3.0);
}
INSTANTIATE_TEST_SUITE_P(Tones, PassPlanCases,
                         ::testing::Values(PlanCase{"beep_6_s", 9, 1.5, 7.5, 1000, 1, true, 2, 3, false, 40},
                                           PlanCase{"hum_15_s", 15, 0, 15, 100, 3, true, 5, 6, false, 40},
                                           PlanCase{"beep_2_5_s", 5, 1.0, 3.5, 1000, 1, true, 1, 1, false, 40},
                                           PlanCase{"at_the_file_start", 5, 0, 2.0, 1000, 1, true, 1, 1, false, 30},
                                           PlanCase{"at_the_file_start_alone", 5, 0, 2.0, 1000, 1, false, 1, 1, true,
                                                    30}),
                         CaseName());
