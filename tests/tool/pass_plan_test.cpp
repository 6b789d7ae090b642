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
#include "tool/analysis/spectrum.h"
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

// A loud tone through a notch leaves a trace of itself outside the band, since it is
// taken block by block; the pass says the program rose only when it did, and how loud
// the trace is. The truth is read from the tone rendered alone with the same settings:
// the plug-in is linear, so what it adds outside the band over the program is that.
TEST(ProgramChange, ARiseIsTheTonesTraceAndSaidOnlyWhereItIs)
{
    struct Row {
        const char* name;
        double tone, noise;  // peak amplitudes, full scale 1
        bool rises;
    };
    for (const Row& r : {Row{"loud_tone_over_quiet_noise", 0.5, 0.0015, true},
                         Row{"tone_over_noise_at_its_level", 0.05, 0.017, false}}) {
        SCOPED_TRACE(r.name);
        const int64_t frames = 10 * kRate, first = kRate, end = 9 * kRate;
        Audio tone, both;
        tone.rate = both.rate = kRate;
        tone.channels = both.channels = 1;
        tone.samples.resize(size_t(frames));
        both.samples.resize(size_t(frames));
        std::mt19937 random(9);
        std::uniform_real_distribution<double> u(-r.noise, r.noise);
        for (int64_t t = 0; t < frames; ++t) {
            // Switched over 20 ms: an abrupt switch would spread over the band's outside itself.
            const double in = std::clamp(double(std::min(t - first, end - t)) / (0.02 * kRate), 0.0, 1.0);
            const double v =
                r.tone * (0.5 - 0.5 * std::cos(M_PI * in)) * std::sin(2 * M_PI * 1000.3 * double(t) / kRate);
            tone.samples[size_t(t)] = int16_t(std::lrint(32767 * v));
            both.samples[size_t(t)] = int16_t(std::lrint(32767 * (v + u(random))));
        }
        const Detection d = detect_tones(both, 0, both.frames());
        ASSERT_FALSE(d.tones.empty());
        PluginSession plugin(TULM_MODULE);
        const Fit fit = fit_settings(plugin.table(), both, both.frames(), d.tones.front(), 30, 1);
        const Audio out = run_plugin(plugin.table(), both, fit.settings, fit.placement, false);
        const ProgramChange c = program_change(both, out, fit.stretch_first, fit.notch.length, fit.notch);
        EXPECT_EQ(c.change_db >= kProgramRiseDb, r.rises) << c.change_db << " dB";
        EXPECT_EQ(std::isfinite(c.added_db), r.rises);
        if (!r.rises) continue;
        const Audio trace = run_plugin(plugin.table(), tone, fit.settings, fit.placement, false);
        const NotchGeometry& g = fit.notch;
        const Spectrum held = average_spectrum(tone.samples.data(), 1, kRate, fit.stretch_first, g.length, 8192);
        const double truth =
            to_db(program_power(trace, fit.stretch_first, g.length, g)) - to_db(band_power(held, g.low_hz, g.high_hz));
        EXPECT_NEAR(c.added_db, truth, 1.5);
        EXPECT_LT(c.added_db, -20);
    }
}
