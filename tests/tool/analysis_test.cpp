// The tool's own analysis: spectra, peak refinement, tone detection, the notch and
// stretch geometry it reports, the comparisons of measure, and its parsers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/settings.h"
#include "tool/analysis/spectrum.h"
#include "tool/analysis/statistics.h"
#include "tool/analysis/tool_error.h"
#include "tool/commands/parse_units.h"
#include "tool_runner.h"

namespace {

Settings settings_of(int32_t frequency, int32_t seconds, int32_t order, int32_t width, int32_t fade)
{
    Settings s;
    s.slider[kFrequency] = frequency;
    s.slider[kSeconds] = seconds;
    s.slider[kFftOrder] = order;
    s.slider[kWidth] = width;
    s.slider[kFade] = fade;
    return s;
}

} // namespace

// A sine's power summed over its main lobe is its mean square, wherever it falls
// between bins, so levels do not depend on the tone's luck with the bin grid.
class SpectrumScale : public ::testing::TestWithParam<double> {};
TEST_P(SpectrumScale, SineLobeSumsToHalfTheSquaredAmplitude)
{
    const double bin_offset = GetParam();
    const int32_t n = 4096, rate = 48000;
    const double hz = (300 + bin_offset) * rate / n;
    const Audio a = sine_audio(rate, 2, 1.0, hz, 0.5, 0.0);
    const Spectrum s = average_spectrum(a.samples.data(), a.channels, a.rate, 0, a.frames(), n);
    const double lobe = band_power(s, hz - 3 * s.bin_hz(), hz + 3 * s.bin_hz());
    EXPECT_NEAR(lobe, 0.125, 0.125 * 0.01);
    EXPECT_NEAR(refine_peak(s.power, 300 + int32_t(std::lround(bin_offset))), 300 + bin_offset, 0.1);
}
INSTANTIATE_TEST_SUITE_P(Offsets, SpectrumScale, ::testing::Values(0.0, 0.25, 0.49, -0.3));

// One BlockSpectrum serves block after block, and counts of channels that fill their
// transforms' lanes differently (one alone, a spare lane or two, a second group): each
// block's powers are those a fresh one gives, and a block's powers are the mean of its
// channels' own.
TEST(BlockSpectrumReuse, EachBlockAsAFreshOneGivesIt)
{
    const int32_t n = 1024, rate = 48000;
    BlockSpectrum reused(n);
    int32_t seed = 0;
    for (const int32_t channels : {2, 1, 5, 3, 4, 2, 6, 1}) {
        ++seed;
        const Audio a = sine_audio(rate, channels, 0.1, 700 + 300 * seed, 0.2, 0.05 * seed);
        const int64_t at = 37 * seed;
        const std::vector<double> fresh = BlockSpectrum(n).power(a.samples.data(), a.channels, at);
        EXPECT_EQ(reused.power(a.samples.data(), a.channels, at), fresh) << channels << " channels";
        std::vector<double> mean(fresh.size(), 0.0);
        for (int32_t k = 0; k < channels; ++k) {
            std::vector<int16_t> one(size_t(a.frames()));
            for (int64_t j = 0; j < a.frames(); ++j) one[size_t(j)] = a.samples[size_t(j * channels + k)];
            const std::vector<double> p = BlockSpectrum(n).power(one.data(), 1, at);
            for (size_t b = 0; b < mean.size(); ++b) mean[b] += p[b] / channels;
        }
        for (size_t b = 0; b < mean.size(); ++b)
            ASSERT_NEAR(fresh[b], mean[b], 1e-12 * (1 + mean[b])) << channels << " channels, bin " << b;
    }
}

// Blocks taken side by side, in series of any length (a last group part full) and at
// any count of channels (one block a transform group, two, or one over several groups),
// their windows kept in one place between series of two sizes: each block's powers are,
// to the bit, those one BlockSpectrum gives it alone.
TEST(BlockSeries, EachBlockAsPowerGivesItAlone)
{
    const int32_t rate = 48000;
    SpectrumWindows windows;
    for (const int32_t channels : {1, 2, 3, 5}) {
        const int32_t n = channels == 3 ? 256 : 512;
        const Audio a = sine_audio(rate, channels, 0.2, 900 + 100 * channels, 0.3, 0.05);
        for (const int32_t blocks : {1, 2, 3, 5, 9}) {
            std::vector<int64_t> starts;
            for (int32_t i = 0; i < blocks; ++i) starts.push_back(int64_t(i) * 333 + (i % 2) * 17);
            BlockSeries series(n, a.samples.data(), a.channels, starts, &windows);
            BlockSpectrum alone(n);
            for (const int64_t at : starts)
                ASSERT_EQ(series.next(), alone.power(a.samples.data(), a.channels, at))
                    << channels << " channels, " << blocks << " blocks, block at " << at;
        }
    }
}

// A tone's wave taken from the ones kept is, to the bit, the one made afresh, whatever
// waves of other rates, frequencies and lengths were kept before it, and past the longest
// kept or after the ring of kept ones has turned over.
TEST(ToneWaves, EachWaveAsMadeAfresh)
{
    struct Case {
        int32_t rate;
        double hz;
        int64_t count;
    };
    const Case cases[] = {{48000, 1000, 4096}, {44100, 1000, 4096}, {48000, 1000.5, 4096},
                          {48000, 1000, 4095}, {48000, 1000, 4096}, {48000, 1000, (int64_t(1) << 18) + 1},
                          {48000, 50, 64},     {48000, 60, 64},     {48000, 70, 64},
                          {48000, 80, 64},     {48000, 90, 64},     {44100, 1000, 4096},
                          {48000, 1000, 4095}};
    ToneWaves kept;
    for (const Case& c : cases) {
        const ToneWave wave = tone_wave(c.rate, c.hz, c.count, &kept), fresh = tone_wave(c.rate, c.hz, c.count);
        EXPECT_EQ(wave.hz, c.hz);
        EXPECT_EQ(wave.count, c.count);
        EXPECT_EQ(*wave.values, *fresh.values) << c.rate << " Hz rate, " << c.hz << " Hz, " << c.count << " frames";
    }
}

// The floor's rank statistic against a sort, for every rank: counts that leave a few
// values after the last whole group of four (each group is read as two vector pairs),
// values repeated across the groups and inside one, a zero, and guesses below, above,
// between and on the values.
TEST(KthSmallest, EveryRankFromEveryGuessIsTheSortedValue)
{
    const std::vector<double> values = {5, 0.25, 3, 3, 1e-12, 7, 0, 3, 2, 9.5, 0.25, 6, 4, 1};
    for (int32_t size = 1; size <= int32_t(values.size()); ++size) {
        std::vector<double> sorted(values.begin(), values.begin() + size);
        std::sort(sorted.begin(), sorted.end());
        for (const double guess : {-1.0, 0.0, 0.5, 3.0, 8.0, 100.0})
            for (int32_t k = 0; k < size; ++k)
                ASSERT_EQ(kth_smallest(values.data(), size, k, guess), sorted[size_t(k)])
                    << size << " values, rank " << k << ", guess " << guess;
    }
}

struct DetectCase {
    int32_t rate;
    double hz, amplitude, noise;
    double burst_hz, burst_amplitude;  // a louder sound in the first tenth only
};

void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.hz << " Hz at " << c.rate << " Hz"; }

class DetectTone : public ::testing::TestWithParam<DetectCase> {};
TEST_P(DetectTone, FindsTheSteadyToneWithinABin)
{
    const DetectCase c = GetParam();
    Audio a = sine_audio(c.rate, 1, 2.0, c.hz, c.amplitude, c.noise);
    for (int64_t t = 0; t < a.frames() / 10; ++t)
        a.samples[t] = int16_t(std::clamp<double>(
            a.samples[t] + 32767 * c.burst_amplitude * std::sin(2 * M_PI * c.burst_hz * t / c.rate), -32768, 32767));
    const Tone tone = detect_tone(a, 0, a.frames());
    ASSERT_TRUE(tone.found);
    EXPECT_NEAR(tone.hz, c.hz, tone.resolution_hz);
    EXPECT_NEAR(tone.level_dbfs, 20 * std::log10(c.amplitude), 1.0);
    EXPECT_LT(tone.drift_hz, tone.resolution_hz);
}
INSTANTIATE_TEST_SUITE_P(
    Tones, DetectTone,
    ::testing::Values(DetectCase{48000, 1000.0, 0.3, 0.01, 0, 0}, DetectCase{44100, 60.0, 0.2, 0.05, 0, 0},
                      DetectCase{44100, 7777.7, 0.1, 0.02, 0, 0}, DetectCase{22050, 3000.0, 0.05, 0.1, 0, 0},
                      // A passing sound twice as loud must not win over the hum.
                      DetectCase{48000, 1500.0, 0.1, 0.01, 500.0, 0.5}));

TEST(DetectTone, NoiseAloneHasNoTone)
{
    const Audio a = sine_audio(44100, 2, 1.0, 1000, 0.0, 0.3);
    EXPECT_FALSE(detect_tone(a, 0, a.frames()).found);
}

// Worked examples: 44100 Hz with 2048-point blocks spaces entries 10 Hz apart
// (truncated from 10.77), so frequency 100 is entry 100; with 8192-point blocks the
// truncated spacing is 2 Hz, which moves the same setting to entry 500, about 1346 Hz.
TEST(NotchGeometry, TruncatedSpacingPlacesTheCentre)
{
    const NotchGeometry a = notch_geometry(settings_of(100, 2, 11, 30, 25), 44100);
    EXPECT_EQ(a.centre, 100);
    EXPECT_EQ(a.length, 89600);
    EXPECT_EQ(a.fade, 22400);
    EXPECT_NEAR(a.centre_hz, 1076.66, 0.01);
    // Entries 70 .. 130 lie in bins 35 .. 65.
    EXPECT_NEAR(a.low_hz, 35 * 44100.0 / 2048, 1e-9);
    EXPECT_NEAR(a.high_hz, 65 * 44100.0 / 2048, 1e-9);

    const NotchGeometry b = notch_geometry(settings_of(100, 2, 13, 30, 25), 44100);
    EXPECT_EQ(b.centre, 500);
    EXPECT_NEAR(b.centre_hz, 1345.83, 0.01);
}

TEST(NotchGeometry, BlocksLongerThanHalfASecondUseTheExactSpacing)
{
    // 8000 Hz, 16384-point blocks: the truncated spacing would be 0.
    const NotchGeometry g = notch_geometry(settings_of(100, 1, 14, 5, 100), 8000);
    EXPECT_EQ(g.centre, 4096);
    EXPECT_NEAR(g.centre_hz, 1000.0, 1e-9);
    EXPECT_EQ(g.fade, g.length);
}

TEST(NotchGeometry, CentrePastTheSpectrumIsFlagged)
{
    EXPECT_TRUE(notch_geometry(settings_of(1638, 1, 14, 5, 0), 48000).inside);
    EXPECT_FALSE(notch_geometry(settings_of(1639, 1, 14, 5, 0), 48000).inside);
    EXPECT_FALSE(notch_geometry(settings_of(1434, 1, 11, 5, 0), 32000).inside);
}

// A header may claim any rate: at 2^30 Hz three seconds are past 32 bits, and the
// stretch is still the whole hops that cover them.
TEST(NotchGeometry, AbsurdRateKeepsTheWholeStretch)
{
    const int32_t rate = 1 << 30;
    const NotchGeometry g = notch_geometry(settings_of(100, 3, 11, 30, 100), rate);
    EXPECT_GE(g.length - g.quarter, 3 * int64_t(rate));
    EXPECT_LT(g.length - g.quarter - g.hop, 3 * int64_t(rate));
    EXPECT_EQ((g.length - g.quarter) % g.hop, 0);
    EXPECT_EQ(g.fade, g.length);
}

TEST(NotchGeometry, NotchAtTheBottomDoesNotReachBelowZeroHz)
{
    const NotchGeometry g = notch_geometry(settings_of(1, 1, 9, 256, 0), 48000);
    EXPECT_EQ(g.low_hz, 0.0);
    EXPECT_GT(g.high_hz, 0.0);
}

TEST(FrequencyForHz, PicksTheNearestRealCentre)
{
    SliderRanges r;
    for (int i = 0; i < kSliderCount; ++i) r.minimum[i] = kSliderMinima[i], r.maximum[i] = kSliderMaxima[i];
    const Settings s = settings_of(100, 2, 13, 30, 25);
    // 13.46 Hz per slider step at 44100 Hz: 74 gives 996.2 Hz, the nearest to 1000.
    EXPECT_EQ(frequency_for_hz(1000, s, r, 44100), 74);
    EXPECT_THROW(frequency_for_hz(0, s, r, 44100), ToolError);
    EXPECT_THROW(frequency_for_hz(22050, s, r, 44100), ToolError);
}

// measure() over a pair whose difference is known exactly.
TEST(Measure, ToneRemovedAndRestKept)
{
    const int32_t rate = 48000;
    Audio in = sine_audio(rate, 2, 3.0, 1000, 0.25, 0.0);
    Audio rest = sine_audio(rate, 2, 3.0, 3000, 0.1, 0.0);
    Audio out = rest;
    for (size_t i = 0; i < in.samples.size(); ++i) in.samples[i] = int16_t(in.samples[i] + rest.samples[i]);
    const NotchGeometry g = notch_geometry(settings_of(85, 2, 11, 30, 10), rate);
    const Measurement m = measure(in, out, 4800, g);
    ASSERT_TRUE(m.tone.found);
    EXPECT_NEAR(m.tone.hz, 1000, 3);
    EXPECT_GT(m.tone_attenuation_db, 60);
    EXPECT_NEAR(m.outside_change_db, 0, 0.01);
    // The bands a listener hears: the 3 kHz partial is kept, so below and above the
    // notch nothing changes, while speech's band lost the 1 kHz tone beside it.
    EXPECT_NEAR(m.below_change_db, 0, 0.01);
    EXPECT_NEAR(m.above_change_db, 0, 0.01);
    EXPECT_NEAR(m.speech_change_db, 10 * std::log10(0.01 / (0.0625 + 0.01)), 0.05);
    // 2048-point blocks and width 30 span about 650 to 1350 Hz, over an octave; 8192-point
    // blocks and width 14 about 960 to 1040 Hz, an eighth of one.
    EXPECT_TRUE(m.wide_band);
    EXPECT_FALSE(measure(in, out, 4800, notch_geometry(settings_of(68, 2, 13, 14, 10), rate)).wide_band);
    EXPECT_EQ(m.middle_first, 4800 + g.fade);
    EXPECT_EQ(m.middle_first + m.middle_count, 4800 + g.length - g.quarter);

    for (int16_t& v : out.samples) v = int16_t(v / 2);
    EXPECT_NEAR(measure(in, out, 4800, g).outside_change_db, -6.02, 0.05);
}

TEST(Measure, CountsLimitsAndJumpsInsideTheStretchOnly)
{
    const int32_t rate = 48000;
    Audio in = sine_audio(rate, 1, 3.0, 200, 0.1, 0.0);
    Audio out = in;
    const NotchGeometry g = notch_geometry(settings_of(20, 1, 11, 30, 0), rate);
    const int64_t first = 10000;
    out.samples[first - 1] = 32767;        // before the stretch: not counted
    out.samples[first + 5] = -32768;       // inside: counted, and a jump at the start
    out.samples[first + g.length] = 32767; // just after: a jump at the end, not a limit hit
    const Measurement m = measure(in, out, first, g);
    EXPECT_EQ(m.clipped, 1);
    EXPECT_GT(m.jump_start, 0.9);
    EXPECT_GT(m.jump_end, 0.9);
    EXPECT_LT(m.input_jump_start, 0.05);
    EXPECT_NEAR(m.peak_dbfs, 0.0, 0.01);
}

TEST(Measure, RefusesFilesOfDifferentShape)
{
    const Audio a = sine_audio(48000, 2, 3.0, 200, 0.1, 0.0);
    const Audio b = sine_audio(48000, 1, 3.0, 200, 0.1, 0.0);
    EXPECT_THROW(measure(a, b, 0, notch_geometry(settings_of(20, 1, 11, 30, 0), 48000)), ToolError);
}

struct ParseCase {
    const char* text;
    double seconds;  // negative: must be refused
};
void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
class ParseSeconds : public ::testing::TestWithParam<ParseCase> {};
TEST_P(ParseSeconds, AcceptsTimesAndRefusesTheRest)
{
    const ParseCase c = GetParam();
    if (c.seconds < 0) {
        EXPECT_THROW(parse_seconds(c.text), ToolError) << c.text;
    } else {
        EXPECT_DOUBLE_EQ(parse_seconds(c.text), c.seconds) << c.text;
    }
}
INSTANTIATE_TEST_SUITE_P(Times, ParseSeconds,
                         ::testing::Values(ParseCase{"1.25s", 1.25}, ParseCase{"1250ms", 1.25},
                                           ParseCase{"2", 2.0}, ParseCase{"0", 0.0}, ParseCase{"", -1},
                                           ParseCase{"s", -1}, ParseCase{"1.5 s", -1}, ParseCase{"-1s", -1},
                                           ParseCase{"2min", -1}, ParseCase{"nan", -1}, ParseCase{"inf", -1}));

TEST(ParseVideoRate, FractionsAndIntegersOnly)
{
    int32_t n = 0, d = 0;
    parse_video_rate("30000/1001", &n, &d);
    EXPECT_EQ(n, 30000);
    EXPECT_EQ(d, 1001);
    parse_video_rate("24", &n, &d);
    EXPECT_EQ(n, 24);
    EXPECT_EQ(d, 1);
    for (const char* bad : {"29.97", "30/0", "0", "/1001", "30/", "-30", "abc", ""})
        EXPECT_THROW(parse_video_rate(bad, &n, &d), ToolError) << bad;
}
