// The detector's stages one at a time, on synthetic signals: the peaks a frame holds,
// the runs a bin's peaks make, whether a look finds a run holding still, and the rule
// that drops each kind of candidate, read from the reason the detection keeps for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "case_table.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/detect_parts.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"
#include "tool/report/explain.h"
#include "tool/session/fit.h"
#include "tool/session/plugin_session.h"

using namespace detection;

namespace {

constexpr int32_t kRate = 48000;

// One partial: `hz` at `dbfs` from `from` to `to` seconds, with 5 ms raised-cosine
// edges; its level may fall linearly by `decay_db` over its extent, its frequency
// swing by `vibrato_hz` at 5 Hz, and its amplitude dip by the share `tremolo` at 2 Hz.
struct Partial {
    double hz, dbfs, from, to;
    double decay_db = 0, vibrato_hz = 0, tremolo = 0;
    double phase = 0;  // radians at 0 s
};

// Quiet white noise (about -66 dBFS) with the partials mixed in.
Audio mix(double seconds, const std::vector<Partial>& partials, int32_t rate = kRate)
{
    Audio a;
    a.rate = rate;
    a.channels = 1;
    a.samples.resize(size_t(seconds * rate));
    std::mt19937 random(3);
    std::uniform_real_distribution<double> noise(-0.001, 0.001);
    std::vector<double> phase;
    for (const Partial& p : partials) phase.push_back(p.phase);
    for (size_t i = 0; i < a.samples.size(); ++i) {
        const double t = double(i) / rate;
        double v = noise(random);
        for (size_t k = 0; k < partials.size(); ++k) {
            const Partial& p = partials[k];
            const double hz = p.hz + p.vibrato_hz * std::sin(2 * M_PI * 5 * t);
            phase[k] += 2 * M_PI * hz / rate;
            if (t < p.from || t >= p.to) continue;
            const double edge = 0.005;
            const double in = std::min(t - p.from, p.to - t);
            const double gate = in < edge ? 0.5 - 0.5 * std::cos(M_PI * in / edge) : 1.0;
            const double db = p.dbfs - p.decay_db * (t - p.from) / (p.to - p.from);
            const double swell = 1 - p.tremolo * (0.5 + 0.5 * std::sin(2 * M_PI * 2 * t));
            v += gate * swell * std::pow(10.0, db / 20) * std::sin(phase[k]);
        }
        a.samples[i] = int16_t(std::lrint(32767 * std::clamp(v, -1.0, 1.0)));
    }
    return a;
}

// Peaks: a frame holds one peak at a sine's bin with the sine's level; nothing under
// the quietest sound or below the lowest frequency counts.
struct PeakCase {
    const char* name;
    double hz, dbfs;
    bool found;
};

class PeakStage : public ::testing::TestWithParam<PeakCase> {};
TEST_P(PeakStage, OnePeakAtTheSineWithItsLevel)
{
    const PeakCase c = GetParam();
    const DetectParams p;
    const Audio a = mix(1, {{c.hz, c.dbfs, 0, 1}});
    const Frames f = frame_peaks_over(p, a, 0, a.frames());
    ASSERT_GT(f.peaks.size(), 10u);
    const int32_t bin = int32_t(std::lround(c.hz / f.bin_hz()));
    int32_t frames_with = 0;
    for (const std::vector<Peak>& frame : f.peaks)
        if (const Peak* peak = peak_near(p, frame, bin, 1, true)) {
            ++frames_with;
            EXPECT_NEAR(peak->at * f.bin_hz(), c.hz, 0.2 * f.bin_hz());
            EXPECT_NEAR(peak->level_dbfs, c.dbfs, 0.5);
            EXPECT_GE(peak->above_floor, peak_db(p));
        }
    EXPECT_EQ(frames_with, c.found ? int32_t(f.peaks.size()) : 0);
}
INSTANTIATE_TEST_SUITE_P(Sines, PeakStage,
                         ::testing::Values(PeakCase{"loud_on_a_bin", 1031.25, -20, true},
                                           PeakCase{"between_bins", 1000, -40, true},
                                           PeakCase{"high", 20000, -30, true},
                                           PeakCase{"under_the_lowest_hz", 12, -20, false}),
                         CaseName());

// The peak threshold follows from its false-alarm probability: in frames of white
// noise, the share of bins whose power stands peak_db() over the floor_quantile of the
// powers around them (as the floor is taken) is peak_false_alarm, for any probability.
TEST(PeakThreshold, NoiseStandsThatHighAsOftenAsStated)
{
    const Audio a = mix(4, {});
    const int32_t n = analysis_length(a.rate);
    BlockSpectrum spectrum(n);
    for (const double chance : {0.25, 0.05, 0.01}) {
        DetectParams p;
        p.peak_false_alarm = chance;
        const double ratio = std::pow(10.0, peak_db(p) / 10);
        int64_t over = 0, all = 0;
        for (int64_t at = 0; at + n <= a.frames(); at += n) {
            const std::vector<double>& power = spectrum.power(a.samples.data(), a.channels, at);
            const int32_t bins = int32_t(power.size()), half = kFloorHalfWidthBins;
            for (int32_t b = 100 + half; b + half < bins - 100; b += 3) {
                const double floor = quantile(std::vector<double>(power.begin() + b - half,
                                                                  power.begin() + b + half + 1), p.floor_quantile);
                over += power[b] > ratio * floor;
                ++all;
            }
        }
        EXPECT_NEAR(double(over) / all, chance, 0.25 * chance + 0.004) << over << " of " << all;
    }
}

// The phase look's share follows from covered_db: phasors of a tone plus other sound
// that lifts a frame by at most covered_db (its amplitude a against the tone's, with
// 20 log10(1 + a) = covered_db), turning at another rate, add up to in_step_share of
// their sizes; the same sound turning with the tone adds up to all of them.
TEST(PhaseShare, OtherSoundAtTheCoveredLimitSumsToTheShare)
{
    for (const double covered : {1.0, 3.0, 6.0}) {
        DetectParams p;
        p.covered_db = covered;
        const double a = std::pow(10.0, covered / 20) - 1, share = in_step_share(p);
        for (const double turn : {0.0, 0.1234, 0.377}) {  // the other sound's cycles a frame against the tone
            std::complex<double> sum = 0;
            double sizes = 0;
            for (int32_t m = 0; m < 4000; ++m) {
                const std::complex<double> z = 1.0 + std::polar(a, 2 * M_PI * turn * m);
                sum += z, sizes += std::abs(z);
            }
            const double expected = turn == 0 ? 1.0 : share;
            EXPECT_NEAR(std::abs(sum) / sizes, expected, 0.002) << covered << " dB, turning " << turn;
        }
        EXPECT_LT(share, 1.0) << covered;
    }
}

// Runs: a bin's peaks make a run from where the sine starts to where it stops; a gap
// longer than kGapFrames parts it in two, and a sine switched on over a quieter one at
// the same bin makes a run of its own. So does one switched on under a louder note at
// its frequency, from where the note has died away under it (at 0.8 s, 10 dB under it
// by 0.9 s), the note before it a run of its own.
struct RunCase {
    const char* name;
    std::vector<Partial> partials;
    std::vector<std::pair<double, double>> runs;  // seconds, block centres
};

class RunStage : public ::testing::TestWithParam<RunCase> {};
TEST_P(RunStage, StartsAndStopsWithTheSine)
{
    const RunCase c = GetParam();
    const DetectParams p;
    const Audio a = mix(5, c.partials);
    const Frames f = frame_peaks_over(p, a, 0, a.frames());
    const int32_t shortest = std::max(kHopsPerBlock, int32_t(p.shortest_seconds * f.rate / f.hop));
    const std::vector<detection::Run> runs = runs_at(p, f, int32_t(std::lround(1000 / f.bin_hz())), shortest);
    ASSERT_EQ(runs.size(), c.runs.size());
    const double frame_s = double(f.hop) / kRate;
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_NEAR(double(frame_centre(f, runs[i].from)) / kRate, c.runs[i].first, 3 * frame_s) << i;
        EXPECT_NEAR(double(frame_centre(f, runs[i].to - 1)) / kRate, c.runs[i].second, 3 * frame_s) << i;
    }
}
INSTANTIATE_TEST_SUITE_P(
    Sines, RunStage,
    ::testing::Values(
        RunCase{"one", {{1000, -30, 1, 4}}, {{1, 4}}},
        RunCase{"broken_by_silence", {{1000, -30, 0.5, 2}, {1000, -30, 2.3, 4.5}}, {{0.5, 2}, {2.3, 4.5}}},
        RunCase{"switched_over_a_quieter_one", {{1000, -50, 0, 5}, {1000, -20, 2, 3.5}}, {{0, 2}, {2, 3.5}, {3.5, 5}}},
        RunCase{"held_as_a_louder_note_dies_into_it",
                {{1000, -30, 0.6, 4}, {1000, -10, 0.3, 1.5, 60}},
                {{0.3, 0.8}, {0.8, 4}}}),
    CaseName());

// Runs at their shortest: peaks at one bin in frames [2, 2 + length) of frames made by
// hand make a run exactly when the stretch is `shortest` frames or longer, whatever gap
// it holds within gap_frames.
TEST(ShortestRun, AStretchMakesARunFromTheShortestOn)
{
    const DetectParams p;
    const int32_t shortest = 14, bin = 100, frames = 40;
    const struct {
        int32_t length, gap_at;  // gap_at < 0: no gap
        size_t runs;
    } cases[] = {{shortest - 1, -1, 0}, {shortest, -1, 1}, {shortest + 1, -1, 1}, {shortest, 5, 1}, {shortest - 1, 5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " frames, gap at " << c.gap_at);
        Frames f;
        f.rate = kRate;
        f.n = 8192;
        f.hop = 2048;
        f.words = (f.n / 2 + 1 + kWordBits - 1) / kWordBits;
        f.peaks.resize(frames);
        f.audible.assign(size_t(frames) * size_t(f.words), 0);
        for (int32_t m = 2; m < 2 + c.length; ++m) {
            if (m - 2 == c.gap_at) continue;
            f.peaks[size_t(m)].push_back(Peak{bin, float(bin), -30, 20});
            f.audible[size_t(m) * size_t(f.words) + bin / kWordBits] |= uint64_t(1) << (bin % kWordBits);
        }
        const std::vector<detection::Run> runs = runs_at(p, f, bin, shortest);
        ASSERT_EQ(runs.size(), c.runs);
        if (c.runs) {
            EXPECT_EQ(runs[0].to - runs[0].from, c.length);
        }
    }
}

// The first look: a steady sine holds still, and so does one swinging by a small share
// of a bin; one swinging by a Hz or more does not, and it is the drift that fails.
struct LookCase {
    const char* name;
    Partial partial;
    bool holds, drifts;
};

class LookStage : public ::testing::TestWithParam<LookCase> {};
TEST_P(LookStage, HoldsStillOrSaysWhyNot)
{
    const LookCase c = GetParam();
    const DetectParams p;
    const Audio a = mix(4, {c.partial});
    const Frames f = frame_peaks_over(p, a, 0, a.frames());
    detection::Run r;
    r.bin = int32_t(std::lround(c.partial.hz / f.bin_hz()));
    r.from = 8;
    r.to = int32_t(f.peaks.size()) - 8;
    const Readings x = readings_of(p, f, r);
    ASSERT_GT(x.frame.size(), size_t(r.to - r.from) / 2);
    const Steadiness s = steadiness(p, f, r, x, f.bin_hz());
    EXPECT_EQ(s.holds, c.holds) << "drift " << s.drift_hz << " of " << s.drift_limit_hz << ", range " << s.range_db;
    EXPECT_EQ(s.drift_hz > s.drift_limit_hz, c.drifts) << s.drift_hz;
}
INSTANTIATE_TEST_SUITE_P(Sines, LookStage,
                         ::testing::Values(LookCase{"steady", {1000, -30, 0, 4}, true, false},
                                           LookCase{"vibrato", {1000, -30, 0, 4, 0, 3}, false, true},
                                           LookCase{"slight_vibrato", {1000, -30, 0, 4, 0, 0.3}, true, false},
                                           LookCase{"vibrato_of_a_hz", {1000, -30, 0, 4, 0, 1}, false, true}),
                         CaseName());

// The rules, one per case: the candidate each is meant to drop is dropped for that
// reason, at its frequency, by the stage that asks it, and no tone is reported there.
// A level can be found to scatter at the looks or at the rules, and the drop names the
// one that found it. A note's ring that settles at its own pitch until the region ends
// is still the note, though its tail holds as a tone would.
struct RuleCase {
    const char* name;
    std::vector<Partial> partials;
    double dropped_hz;
    DropReason reason;
    const char* stage;
};

class RuleStage : public ::testing::TestWithParam<RuleCase> {};
TEST_P(RuleStage, DropsForItsOwnReason)
{
    const RuleCase c = GetParam();
    const Audio a = mix(5, c.partials);
    const Detection d = detect_tones(a, 0, a.frames());
    for (const Tone& t : d.tones) EXPECT_GT(std::fabs(t.hz - c.dropped_hz), d.resolution_hz) << t.hz;
    bool dropped = false;
    for (const Dropped& x : d.dropped)
        if (std::fabs(x.hz - c.dropped_hz) <= 2 * d.resolution_hz && x.reason == c.reason) {
            dropped = true;
            EXPECT_STREQ(drop_stage(x.stage), c.stage);
            EXPECT_TRUE(x.reason == DropReason::kHarmonic || x.figure > x.limit) << x.figure << " against " << x.limit;
        }
    EXPECT_TRUE(dropped) << "no drop at " << c.dropped_hz << " Hz for reason " << int(c.reason) << "; "
                         << d.dropped.size() << " drops, " << d.tones.size() << " tones";
}
INSTANTIATE_TEST_SUITE_P(
    Signals, RuleStage,
    ::testing::Values(
        RuleCase{"decaying_note", {{660, -20, 1, 4, 4}}, 660, DropReason::kHeldNote, "rules"},
        RuleCase{"vibrato_note", {{880, -20, 1, 4, 0, 4}}, 880, DropReason::kNotSteady, "looks"},
        RuleCase{"tremolo", {{1000, -20, 1, 4, 0, 0, 0.95}}, 1000, DropReason::kLevelScatters, "looks"},
        // The fundamental decays too slowly to be a held note by itself, but
        // as its octave does.
        RuleCase{
            "note_partial", {{440, -25, 1, 3.5, 1.5}, {880, -25, 1, 3.5, 9}}, 440, DropReason::kNotePartial, "rules"},
        RuleCase{"hum_harmonic", {{100, -25, 1, 4}, {200, -31, 1, 4}}, 200, DropReason::kHarmonic, "families"},
        RuleCase{"ring_settling_to_the_end",
                 {{1000, -10, 1, 2.2, 30}, {1000, -42, 2.2, 5, 1}},
                 1000,
                 DropReason::kHeldNote,
                 "rules"}),
    CaseName());

// A tone switched on as a note a bin from it decays, or switched off as a quieter note
// a bin from it starts, makes one run with that note: the note's peaks lie within a
// bin of the tone's, and its attack is louder than the tone's step over it, so the run
// is not parted where the tone is switched. Through the whole run its frequency
// spreads by a bin; the tone alone, beside which the note lies under its level, holds
// still, and is listed over its own extent. A tone that a louder note at its frequency
// dies away into (8 dB over it where it starts) has its start hidden under the note: it
// is listed from no earlier than its start and no later than where the note has fallen
// level_range_db under it, never from the note's own start, even where the note's tail
// rings on under the tone and past it. A tone switched on over a ring at its bin far
// under it, which goes on before and after it, is not that ring's steady stretch.
struct BesideCase {
    const char* name;
    std::vector<Partial> partials;  // the tone first
    double exposed = 0;             // s: where a louder note over the tone's start has fallen away (0: none)
};

class BesideStage : public ::testing::TestWithParam<BesideCase> {};
TEST_P(BesideStage, ToneFoundBesideQuieterSoundAtItsBin)
{
    const BesideCase c = GetParam();
    const Partial& tone = c.partials.front();
    const Audio a = mix(4, c.partials);
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_EQ(d.tones.size(), 1u) << explain_text(d, kRate);
    const Tone& t = d.tones.front();
    EXPECT_NEAR(t.hz, tone.hz, d.resolution_hz);
    if (c.exposed > 0) {
        EXPECT_GE(double(t.first) / kRate, tone.from - 1.0 / 15);
        EXPECT_LE(double(t.first) / kRate, c.exposed + 1.0 / 15);
    } else {
        EXPECT_NEAR(double(t.first) / kRate, tone.from, 1.0 / 15);
    }
    EXPECT_NEAR(double(t.end) / kRate, tone.to, 1.0 / 15);
}
INSTANTIATE_TEST_SUITE_P(
    Signals, BesideStage,
    ::testing::Values(
        BesideCase{"after_a_decaying_note", {{126.4, -40, 1.2, 2.6}, {120.5, -44, 0.4, 1.2, 16}}},
        BesideCase{"before_a_quieter_note", {{106, -38, 0.6, 1.9}, {100, -46, 1.9, 3.2, 12}}},
        BesideCase{"between_notes_a_semitone_off",
                   {{99.6, -20, 1.5, 3.0}, {107.2, -30, 0.3, 1.5, 12}, {95.2, -34, 3.0, 3.9, 12}}},
        BesideCase{"under_a_louder_note_dying_into_it", {{1000, -30, 1.2, 3.4}, {1000, -2, 0.4, 2.0, 40}}, 1.72},
        BesideCase{"under_a_louder_note_that_rings_on",
                   {{1000, -30, 1.2, 3.4}, {1000, -2, 0.4, 2.0, 40}, {1000, -45, 2.0, 4.0}},
                   1.72},
        BesideCase{"over_a_ring_going_on_around_it", {{1000, -10, 1.5, 2.5}, {1001.5, -32, 0.3, 3.9, 14}}}),
    CaseName());

// The beat: the level of two tones a fraction of a Hz apart dips deep between two
// peaks and comes back as smoothly as their difference allows; a note's decay, a note
// struck again (a sudden attack), a sound stopped for a moment and a level that only
// scatters do not beat.
struct BeatCase {
    const char* name;
    double (*level_db)(double t);  // the level at t seconds
    bool beats;
};

class BeatStage : public ::testing::TestWithParam<BeatCase> {};
TEST_P(BeatStage, DeepSmoothDipBetweenPeaks)
{
    const BeatCase c = GetParam();
    const DetectParams p;
    const double hop = 2048.0 / kRate;
    std::vector<double> levels;
    for (double t = 0; t < 2.5; t += hop) levels.push_back(c.level_db(t));
    const double depth = beat_depth(levels, 4, hop, p.steady_hz, p.held_move_db);
    EXPECT_EQ(depth >= p.tone_db, c.beats) << depth;
}
INSTANTIATE_TEST_SUITE_P(
    Levels, BeatStage,
    ::testing::Values(
        // Two tones 0.7 Hz apart, the second 1 dB under the first: the sum's level.
        BeatCase{"beat", [](double t) { return 20 * std::log10(std::abs(1.0 + 0.89 * std::polar(1.0, 2 * M_PI * 0.7 * t))); },
                 true},
        // A sound stopped for 0.4 s: a dip as deep, with sudden edges.
        BeatCase{"gap", [](double t) { return t >= 1 && t < 1.4 ? -40.0 : -20.0; }, false},
        BeatCase{"decay", [](double t) { return -20 - 12 * t; }, false},
        BeatCase{"struck_again", [](double t) { return t < 1.2 ? -20 - 15 * t : -20 - 5 * (t - 1.2); }, false},
        BeatCase{"scatter", [](double t) { return -20.0 - 3 * (int(t * 37) % 2); }, false}),
    CaseName());

// Two tones beating (two machines' whines 0.2 to 1 Hz apart, at one level or the second
// 6 dB under) are one tone at their mean, over the pair's extent, however the beat's
// nulls fall within it, and one notch at the mean cuts both; the same two tones as one
// sine's level decaying by as much are a held note (above).
struct PairCase {
    const char* name;
    int32_t rate;
    double apart_hz, second_db;
};
void PrintTo(const PairCase& c, std::ostream* os) { *os << c.name; }

class BeatingPair : public ::testing::TestWithParam<PairCase> {};
TEST_P(BeatingPair, FoundAsOneToneAtTheMeanOverItsExtent)
{
    const PairCase c = GetParam();
    const double low = 1000, high = low + c.apart_hz, from = 1, to = 3.5;
    // In step half a beat before the middle, so that a null falls there and a pair
    // switched on in a null (which no reading can place) is not asked for.
    const double in_step = (from + to) / 2 - 0.5 / c.apart_hz;
    const Audio a =
        mix(5, {{low, -30, from, to}, {high, -30 + c.second_db, from, to, 0, 0, 0, -2 * M_PI * c.apart_hz * in_step}},
            c.rate);
    const Detection d = detect_tones(a, 0, a.frames());
    SCOPED_TRACE(explain_text(d, c.rate));
    ASSERT_EQ(d.tones.size(), 1u);
    const Tone& t = d.tones[0];
    EXPECT_NEAR(t.hz, (low + high) / 2, d.resolution_hz);
    EXPECT_NEAR(double(t.first) / c.rate, from, 1.0 / 15);
    EXPECT_NEAR(double(t.end) / c.rate, to, 1.0 / 15);

    // The settings suggested for it cut both tones, by the renderings with and without
    // the pair (the same noise alone) over the pair's extent.
    PluginSession plugin(TULM_MODULE);
    const Fit fit = fit_settings(plugin.table(), a, a.frames(), t, 30, 1);
    EXPECT_LT(fit.notch.low_hz, low);
    EXPECT_GT(fit.notch.high_hz, high);
    const Audio program = mix(5, {}, c.rate);
    const Audio out_with = run_plugin(plugin.table(), a, fit.settings, fit.placement, false);
    const Audio out_without = run_plugin(plugin.table(), program, fit.settings, fit.placement, false);
    EXPECT_GE(tone_cut_db(a, program, out_with, out_without, int64_t(from * c.rate), int64_t(to * c.rate)), 20.0);
}
INSTANTIATE_TEST_SUITE_P(
    Pairs, BeatingPair,
    ::testing::Values(PairCase{"apart_0_2_even_48k", 48000, 0.2, 0}, PairCase{"apart_0_5_even_48k", 48000, 0.5, 0},
                      PairCase{"apart_1_0_even_48k", 48000, 1.0, 0}, PairCase{"apart_0_2_minus_6_48k", 48000, 0.2, -6},
                      PairCase{"apart_0_5_minus_6_48k", 48000, 0.5, -6},
                      PairCase{"apart_1_0_minus_6_48k", 48000, 1.0, -6}, PairCase{"apart_0_2_even_44k", 44100, 0.2, 0},
                      PairCase{"apart_0_5_even_44k", 44100, 0.5, 0}, PairCase{"apart_1_0_even_44k", 44100, 1.0, 0},
                      PairCase{"apart_0_2_minus_6_44k", 44100, 0.2, -6},
                      PairCase{"apart_0_5_minus_6_44k", 44100, 0.5, -6},
                      PairCase{"apart_1_0_minus_6_44k", 44100, 1.0, -6}),
    CaseName());

// Families: a tone at a whole multiple joins the lower tone's family when the two are
// switched together, however loud it is; one switched on or off apart from it is a tone
// of its own, louder or quieter (a 3 kHz whine is no harmonic of a 1 kHz beep that
// started a second before it, and a drone hides no beep on one of its multiples), but
// for a quieter one that ends with it inside its extent: a harmonic speech covered. Far
// past the harmonics found, where no harmonic is known to sound, a note after a beep at
// its pitch makes it no piece of one. A hum's fundamental whose peak a louder note two
// bins above swallows still leads its family, heard by a probe at the frequency its
// harmonic gives.
struct FamilyCase {
    const char* name;
    std::vector<Partial> partials;
    size_t tones;
    size_t harmonics_of_lowest;
};

class FamilyStage : public ::testing::TestWithParam<FamilyCase> {};
TEST_P(FamilyStage, OnlyPartialsSwitchedTogetherAreFamily)
{
    const FamilyCase c = GetParam();
    const Audio a = mix(6, c.partials);
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_EQ(d.tones.size(), c.tones);
    const auto lowest = std::min_element(d.tones.begin(), d.tones.end(),
                                         [](const Tone& x, const Tone& y) { return x.hz < y.hz; });
    EXPECT_NEAR(lowest->hz, c.partials[0].hz, d.resolution_hz);
    EXPECT_EQ(lowest->harmonics.size(), c.harmonics_of_lowest);
}
INSTANTIATE_TEST_SUITE_P(
    Tones, FamilyStage,
    ::testing::Values(
        FamilyCase{"louder_multiple_switched_apart", {{1000, -30, 1, 4}, {3000, -24, 2, 5}}, 2, 0},
        FamilyCase{"louder_multiple_switched_together", {{1000, -30, 1, 4}, {3000, -24, 1, 4}}, 1, 1},
        FamilyCase{"quieter_multiple_switched_apart", {{1000, -24, 1, 4}, {3000, -30, 2, 5}}, 2, 0},
        FamilyCase{"quieter_multiple_ending_with_it", {{1000, -24, 1, 4}, {3000, -30, 2.5, 4}}, 1, 1},
        FamilyCase{"beep_on_a_drones_multiple", {{100, -20, 0, 6}, {200, -26, 0, 6}, {1300, -40, 2, 4}}, 2, 1},
        FamilyCase{"beep_far_up_a_drones_series_before_a_note_at_its_pitch",
                   {{100, -20, 0, 6}, {200, -26, 0, 6}, {3000, -40, 2, 4}, {3002, -54, 4, 5.5, 10}},
                   2,
                   1},
        FamilyCase{"beep_outlasting_a_note_on_its_multiple",
                   {{100, -20, 2, 4}, {200, -26, 2, 4}, {500, -24, 1.5, 4.5}, {500, -36, 4.5, 5.5, 6}},
                   2,
                   1},
        FamilyCase{
            "fundamental_beside_a_louder_partial", {{86.5, -30, 1, 4}, {173, -34, 1, 4}, {97.5, -18, 0, 6, 8}}, 1, 1}),
    CaseName());

// No tone shorter than shortest_seconds is listed: a beep a little shorter makes a run
// long enough (a frame's block sees it before it starts and after it ends), and is
// dropped once its extent is read; one a little longer is listed.
struct LengthCase {
    const char* name;
    double seconds;
    bool listed;
};

class ExtentStage : public ::testing::TestWithParam<LengthCase> {};
TEST_P(ExtentStage, NoToneUnderTheShortest)
{
    const LengthCase c = GetParam();
    const DetectParams p;
    const Audio a = mix(4, {{1000, -30, 1.5, 1.5 + c.seconds}});
    const Detection d = detect_tones(a, 0, a.frames());
    for (const Tone& t : d.tones) EXPECT_GE(double(t.end - t.first) / kRate, p.shortest_seconds) << t.hz;
    ASSERT_EQ(d.tones.size(), c.listed ? 1u : 0u);
    if (c.listed) return;
    bool too_short = false;
    for (const Dropped& x : d.dropped)
        too_short = too_short || (x.reason == DropReason::kTooShort && std::fabs(x.hz - 1000) <= d.resolution_hz);
    EXPECT_TRUE(too_short);
}
INSTANTIATE_TEST_SUITE_P(Beeps, ExtentStage,
                         ::testing::Values(LengthCase{"a_run_long_enough", 0.45, false},
                                           LengthCase{"just_under", 0.55, false},
                                           LengthCase{"just_over", 0.65, true}),
                         CaseName());

// A run may reach past its tone into program sound at its bin far under it (a chant
// going on at a hum's frequency after the hum), or into a note a few Hz off at the
// tone's own level that sounds up to its switching on: the blocks at the run's ends then
// hear no tone, or another sound, and its extent is still where the tone itself is
// switched on and off.
struct ReachCase {
    const char* name;
    double before, after;                        // s the run reaches past the tone's start and end
    double beside_hz = 1001, beside_dbfs = -52;  // the sound at its bin before and after it
};

class ExtentOfRun : public ::testing::TestWithParam<ReachCase> {};
TEST_P(ExtentOfRun, TheTonesOwnWhereTheRunReachesPastIt)
{
    const ReachCase c = GetParam();
    const DetectParams p;
    const double from = 1.5, to = 3.5;
    const Audio a =
        mix(5, {{1000, -30, from, to}, {c.beside_hz, c.beside_dbfs, 0.5, from}, {c.beside_hz, c.beside_dbfs, to, 4.5}});
    const Frames f = frame_peaks_over(p, a, 0, a.frames());
    const Context ctx{p, a, f, 0, a.frames(), kHopsPerBlock};
    const auto frame_at = [&](double s) { return int32_t(std::lround((s * kRate - f.n / 2.0) / f.hop)); };
    detection::Run r;
    r.bin = int32_t(std::lround(1000 / f.bin_hz()));
    r.from = frame_at(from + f.n / 2.0 / kRate - c.before);
    r.to = frame_at(to - f.n / 2.0 / kRate + c.after);
    r.hz.assign(size_t(r.to - r.from), 1000);
    r.above.assign(size_t(r.to - r.from), 20);
    r.level.assign(size_t(r.to - r.from), -30);
    const Tone t = tone_of(ctx, r);
    EXPECT_NEAR(double(t.first) / kRate, from, 1.0 / 15);
    EXPECT_NEAR(double(t.end) / kRate, to, 1.0 / 15);
}
INSTANTIATE_TEST_SUITE_P(Runs, ExtentOfRun,
                         ::testing::Values(ReachCase{"on_the_tone", 0, 0}, ReachCase{"past_its_end", 0, 0.4},
                                           ReachCase{"before_its_start", 0.4, 0},
                                           ReachCase{"into_a_note_beside_it", 0.4, 0, 1004, -31},
                                           ReachCase{"into_a_nearer_note", 0.4, 0, 1002, -31}),
                         CaseName());

// --hz reaches every confirmed tone: a listed one, a harmonic in a hum's family (with
// the family's extent, its own frequency and level) and, far from any, none.
struct NearCase {
    const char* name;
    double hz;
    bool detected;
    double expect_hz;
};

class ToneNear : public ::testing::TestWithParam<NearCase> {};
TEST_P(ToneNear, ReachesListedTonesAndHarmonics)
{
    const NearCase c = GetParam();
    const Audio a = mix(5, {{150, -24, 1, 4}, {300, -30, 1, 4}, {450, -34, 1, 4}, {2500, -36, 2, 3}});
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_EQ(d.tones.size(), 2u);
    const Tone& hum = d.tones[0].hz < d.tones[1].hz ? d.tones[0] : d.tones[1];
    ASSERT_EQ(hum.harmonics.size(), 2u);
    bool detected = false;
    const Tone t = tone_near(d, c.hz, 0, a.frames(), &detected);
    EXPECT_EQ(detected, c.detected);
    EXPECT_NEAR(t.hz, c.expect_hz, d.resolution_hz);
    if (!detected) return;
    for (const Harmonic& h : hum.harmonics)
        if (std::fabs(h.hz - c.expect_hz) < d.resolution_hz) {
            EXPECT_EQ(t.first, hum.first);
            EXPECT_EQ(t.end, hum.end);
            EXPECT_EQ(t.level_dbfs, h.level_dbfs);
            EXPECT_TRUE(t.harmonics.empty());
        }
}
INSTANTIATE_TEST_SUITE_P(Hz, ToneNear,
                         ::testing::Values(NearCase{"fundamental", 151, true, 150},
                                           NearCase{"second_harmonic", 303, true, 300},
                                           NearCase{"third_harmonic", 446, true, 450},
                                           NearCase{"beep", 2497, true, 2500},
                                           NearCase{"nothing_there", 1000, false, 1000}),
                         CaseName());

// The list is ordered by how audible each tone is over the program in its own critical
// band, and for how long: over white noise a tone at 5 kHz shares a band five times as
// wide as one at 1 kHz, so it ranks after it though it stands 2 dB clearer of the floor
// of its bin; lasting four times as long puts it first again.
struct RankCase {
    const char* name;
    double high_from, high_to;  // when the 5 kHz tone sounds, seconds (the 1 kHz one: 1 to 2.5 s)
    double first_hz;
};

class RankStage : public ::testing::TestWithParam<RankCase> {};
TEST_P(RankStage, MostAudibleFirst)
{
    const RankCase c = GetParam();
    Audio a = mix(8, {{1000, -30, 1, 2.5}, {5000, -28, c.high_from, c.high_to}});
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 0.003);
    for (int16_t& x : a.samples) x = int16_t(std::lrint(x + 32767 * noise(random)));
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_EQ(d.tones.size(), 2u);
    EXPECT_NEAR(d.tones[0].hz, c.first_hz, d.resolution_hz);
    for (const Tone& t : d.tones) {
        // -47.4 dBFS of noise (a full-scale sine's mean square is 1/2) spread evenly to half
        // the rate, in the tone's band.
        const double band = -47.4 + 10 * std::log10(critical_band_hz(t.hz) / (kRate / 2.0));
        EXPECT_NEAR(t.over_band_db, t.level_dbfs - band, 1.5) << t.hz;
        // Far over the threshold in quiet, the program's masking alone decides.
        EXPECT_NEAR(t.audibility_db,
                    t.over_band_db + kCriticalRatioDb + 10 * std::log10(double(t.end - t.first) / kRate), 0.1);
    }
}
INSTANTIATE_TEST_SUITE_P(Tones, RankStage,
                         ::testing::Values(RankCase{"same_length", 3, 4.5, 1000},
                                           RankCase{"four_times_as_long", 1.5, 7.5, 5000}),
                         CaseName());

} // namespace

// A probe reads both channels of a stereo block in one pass: its amplitude is the root
// mean square of each channel's own, and its phasor the mean of theirs, as when each
// channel is read alone.
TEST(ProbeChannels, StereoReadsAsItsChannelsAlone)
{
    Audio stereo, left, right;
    stereo.rate = left.rate = right.rate = kRate;
    stereo.channels = 2;
    left.channels = right.channels = 1;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-3000, 3000);
    for (int32_t j = 0; j < kRate / 4; ++j) {
        const int16_t l = int16_t(8000 * std::sin(2 * M_PI * 1000.0 * j / kRate) + noise(random));
        const int16_t r = int16_t(2000 * std::sin(2 * M_PI * 1000.0 * j / kRate + 1) + noise(random));
        stereo.samples.insert(stereo.samples.end(), {l, r});
        left.samples.push_back(l);
        right.samples.push_back(r);
    }
    const Probe probe(4096, 1001.3, kRate);
    for (const int64_t at : {int64_t(0), int64_t(777), int64_t(kRate / 4 - 4096)}) {
        const double a = probe.amplitude(stereo, at), l = probe.amplitude(left, at), r = probe.amplitude(right, at);
        EXPECT_NEAR(a * a, (l * l + r * r) / 2, 1e-12) << "at " << at;
        const std::complex<double> z = probe.phasor(stereo, at);
        const std::complex<double> mean = (probe.phasor(left, at) + probe.phasor(right, at)) / 2.0;
        EXPECT_NEAR(std::abs(z - mean), 0, 1e-12) << "at " << at;
    }
    // Both channels alike read as one of them, to the bit.
    Audio twice = stereo;
    for (size_t i = 0; i < twice.samples.size(); i += 2) twice.samples[i + 1] = twice.samples[i];
    EXPECT_EQ(probe.amplitude(twice, 777), probe.amplitude(left, 777));
}

// A probe's kernel is its Hann window times the wave at its frequency at every frame,
// up to the largest block and near half the rate, and a probe made just after another
// of another size, frequency or rate holds its own, though both keep their kernels in one place.
TEST(ProbeKernel, HoldsItsWaveAtEveryFrame)
{
    struct Case {
        int32_t n;
        double hz;
        int32_t rate;
    };
    const Case cases[] = {{16384, 23999.7, 48000}, {16384, 1001.3, 48000}, {4096, 1001.3, 48000},
                          {16384, 1001.3, 48000},  {8192, 44.1, 44100},    {8192, 44.1, 48000}};
    ProbeKernels kept;
    for (const Case& c : cases) {
        const Probe probe(c.n, c.hz, c.rate, &kept);
        ASSERT_EQ(probe.kernel.size(), size_t(c.n));
        double worst = 0;
        for (int32_t j = 0; j < c.n; ++j) {
            const long double w = 0.5L - 0.5L * std::cos(2 * M_PIl * j / c.n);
            const long double angle = -2 * M_PIl * c.hz * j / c.rate;
            const std::complex<double> want(double(w * std::cos(angle)), double(w * std::sin(angle)));
            worst = std::max(worst, std::abs(probe.kernel[size_t(j)] - want));
        }
        EXPECT_LT(worst, 1e-10) << c.n << " points at " << c.hz << " Hz, rate " << c.rate;
    }
}

// A run's blocks are read side by side, however many channels and blocks fill the
// lanes: each block reads, to the bit, as its plain sum in the kernel's order does.
TEST(ProbeBlocks, SideBySideReadsAsEachBlockAlone)
{
    struct Case {
        int32_t channels, count;
        int64_t step;
    };
    const Case cases[] = {{1, 1, 0}, {1, 9, 1024}, {2, 3, 1024}, {2, 5, 333}, {3, 7, 512}, {2, 4, 0}};
    const Probe probe(2048, 997.7, kRate);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> noise(-20000, 20000);
    for (const Case& c : cases) {
        Audio a;
        a.rate = kRate;
        a.channels = c.channels;
        for (int32_t j = 0; j < kRate / 2 * c.channels; ++j) a.samples.push_back(int16_t(noise(random)));
        const int64_t at = 100;
        std::vector<double> amplitudes;
        std::vector<std::complex<double>> phasors;
        probe.read_blocks(a, at, c.step, c.count, &amplitudes, &phasors);
        ASSERT_EQ(amplitudes.size(), size_t(c.count));
        ASSERT_EQ(phasors.size(), size_t(c.count));
        for (int32_t b = 0; b < c.count; ++b) {
            const int64_t first = at + b * c.step;
            double power = 0;
            std::complex<double> mean = 0;
            for (int32_t k = 0; k < c.channels; ++k) {
                std::complex<double> z = 0;
                for (int32_t j = 0; j < probe.n; ++j)
                    z += double(a.samples[size_t((first + j) * c.channels + k)]) * probe.kernel[size_t(j)];
                power += std::norm(z);
                mean += z;
            }
            const std::string where = std::to_string(c.channels) + " channels, block " + std::to_string(b);
            EXPECT_EQ(amplitudes[size_t(b)], 2 * std::sqrt(power / c.channels) / probe.gain / kFullScale) << where;
            EXPECT_EQ(amplitudes[size_t(b)], probe.amplitude(a, first)) << where;
            EXPECT_EQ(phasors[size_t(b)], probe.phasor(a, first)) << where;
            EXPECT_NEAR(std::abs(phasors[size_t(b)]), std::abs(mean) * 2 / probe.gain / kFullScale / c.channels, 1e-15)
                << where;
        }
    }
}
