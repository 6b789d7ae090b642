#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "render/render_plan.h"
#include "render/render_span.h"
#include "render/slider_table.h"
#include "test_media.h"
#include "tests/render/render_host.h"

namespace {

const double kPi = 3.14159265358979323846;

// Renders `media` (at the edit's rates) and returns the span.
std::vector<int16_t> rendered(HostEdit* edit, const std::vector<int16_t>& media)
{
    edit->media.audio = media;
    render(edit);
    return std::vector<int16_t>(g_span.samples,
                                g_span.samples + int64_t(g_span.length) * g_span.channels);
}

HostEdit host_with(int32_t rate, int32_t order, int32_t frequency, int32_t width,
                   int32_t fade, int32_t seconds = 2)
{
    HostEdit h = render_edit(media_with(rate, 1, 30, 1, {}));
    h.slider_values[kFrequency] = frequency, h.slider_values[kSeconds] = seconds;
    h.slider_values[kFftOrder] = order, h.slider_values[kWidth] = width;
    h.slider_values[kFade] = fade;
    return h;
}

double max_abs_diff(const std::vector<int16_t>& a, const std::vector<int16_t>& b,
                    double gain, int64_t from, int64_t to)
{
    double worst = 0;
    for (int64_t t = from; t < to; ++t) worst = std::max(worst, std::fabs(a[t] - gain * b[t]));
    return worst;
}

double rms(const std::vector<int16_t>& a, int64_t from, int64_t to)
{
    double sum = 0;
    for (int64_t t = from; t < to; ++t) sum += double(a[t]) * a[t];
    return std::sqrt(sum / double(to - from));
}

// 44100 Hz, N = 2048, centre entry 100 = bin 50. Away from the span's ends a tone at
// the centre drops to the residue the block ramps leave, a 2000 Hz tone is unchanged,
// and over the last Q frames the span cross-fades linearly back to the source. Even
// channels carry the centre tone, odd ones the 2000 Hz tone: mono, the stereo pairs and
// other channel counts each have their own loops, and no channel may leak into another.
class ChannelTones : public ::testing::TestWithParam<int32_t> {};
TEST_P(ChannelTones, CentreRemovedOthersPass)
{
    const int32_t channels = GetParam();
    const double amplitude = 10000;
    const std::vector<int16_t> centre = tone(44100, 1, 100000, 50 * 44100.0 / 2048, amplitude);
    const std::vector<int16_t> passing = tone(44100, 1, 100000, 2000, amplitude);
    std::vector<int16_t> media(centre.size() * channels);
    for (size_t t = 0; t < centre.size(); ++t)
        for (int32_t k = 0; k < channels; ++k)
            media[t * channels + k] = k % 2 ? passing[t] : centre[t];
    HostEdit host = host_with(44100, 11, 100, 30, 0);
    host.media.channels = channels;
    const std::vector<int16_t> all = rendered(&host, media);
    const int64_t n = 2048, q = 512, l = int64_t(all.size()) / channels;
    ASSERT_EQ(l, 89600);
    for (int32_t k = 0; k < channels; ++k) {
        std::vector<int16_t> out(l);
        for (int64_t t = 0; t < l; ++t) out[t] = all[t * channels + k];
        if (k % 2) {
            EXPECT_LE(max_abs_diff(out, passing, 1, n, l - n), 0.005 * amplitude) << k;
            continue;
        }
        EXPECT_LE(max_abs_diff(out, centre, 0, n, l - n), 0.02 * amplitude) << k;
        for (int64_t i = 0; i < q; ++i)
            ASSERT_NEAR(out[l - q + i], i * centre[l - q + i] / q, 0.02 * amplitude + 1) << i;
    }
}
INSTANTIATE_TEST_SUITE_P(Counts, ChannelTones, ::testing::Values(1, 2, 3));

// The first F frames rise linearly from an exact 0: each is the unfaded frame times
// i / F. A fade of more than 65536 frames takes the product past 32 bits.
class FadeIn : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};
TEST_P(FadeIn, RisesLinearlyFromSilence)
{
    const auto [seconds, fade] = GetParam();
    const std::vector<int16_t> media = tone(48000, 2, 200000, 2000, 30000);
    HostEdit plain = host_with(48000, 11, 100, 30, 0, seconds);
    plain.media.channels = 2;
    const std::vector<int16_t> unfaded = rendered(&plain, media);
    HostEdit faded_host = plain;
    faded_host.slider_values[kFade] = fade;
    const std::vector<int16_t> faded = rendered(&faded_host, media);
    const int64_t f = g_plan.fade_length;
    ASSERT_EQ(faded.size(), unfaded.size());
    ASSERT_EQ(f, fade * int64_t(unfaded.size() / 2) / 100);
    for (int64_t t = 0; t < int64_t(faded.size()); ++t) {
        const int64_t i = t / 2;
        const int64_t want = i < f ? unfaded[t] * i / f : unfaded[t];
        ASSERT_EQ(faded[t], want) << "frame " << i;
    }
}
INSTANTIATE_TEST_SUITE_P(SecondsAndPercent, FadeIn,
                         ::testing::Values(std::make_pair(3, 50), std::make_pair(3, 100),
                                           std::make_pair(1, 25)));

// With the check box the notch edges follow the raised cosine: a tone m bins from the
// centre (entries c + 2m and c + 2m + 1) keeps about the mean of window[2m - 1] and
// window[2m]; without it, every tone inside the notch is removed.
class WindowedEdge : public ::testing::TestWithParam<int32_t> {};
TEST_P(WindowedEdge, GainFollowsTheWindow)
{
    const int32_t m = GetParam(), w = 30;
    const std::vector<int16_t> media = tone(44100, 1, 100000, (50 + m) * 44100.0 / 2048, 10000);
    HostEdit host = host_with(44100, 11, 100, w, 0);
    host.check_values[0] = 1;
    std::vector<int16_t> out = rendered(&host, media);
    const int64_t from = 2048, to = int64_t(out.size()) - 2048;
    auto window = [&](int32_t i) { return 1 - (std::cos(kPi * (i + 1) / (w + 1)) + 1) * 0.5; };
    const double want = (window(2 * m - 1) + window(2 * m)) / 2;
    EXPECT_NEAR(rms(out, from, to) / rms(media, from, to), want, 0.03);

    host.check_values[0] = 0;
    out = rendered(&host, media);
    EXPECT_LE(rms(out, from, to) / rms(media, from, to), 0.02);
}
INSTANTIATE_TEST_SUITE_P(BinsFromCentre, WindowedEdge, ::testing::Values(2, 5, 8, 11));

// A signal that fits 16 bits can leave them once filtered: a pulse train far from zero
// on average, whose mean the notch around entry 1 removes, peaks near 57000 away from
// it. Every store (block write-back, overlap-add, tail cross-fade) saturates instead of
// wrapping, on either side: up to 32767, down to -32768.
class OverflowSaturates : public ::testing::TestWithParam<int32_t> {};
TEST_P(OverflowSaturates, OnBothSides)
{
    const int32_t sign = GetParam();
    std::vector<int16_t> pulses(150000);
    for (size_t t = 0; t < pulses.size(); ++t) pulses[t] = int16_t(sign * (t % 48 < 5 ? 32000 : -32000));
    HostEdit host = host_with(48000, 11, 1, 30, 0);
    const std::vector<int16_t> out = rendered(&host, pulses);
    ASSERT_EQ(g_plan.c, 1);
    for (size_t t = 512; t < out.size(); ++t)
        if (pulses[t] * sign > 0) {
            ASSERT_GE(out[t] * sign, 30000) << t;
        }
    const int16_t limit = sign > 0 ? 32767 : -32768;
    EXPECT_NE(std::find(out.begin(), out.end(), limit), out.end()) << "never reaches " << limit;
}
INSTANTIATE_TEST_SUITE_P(Signs, OverflowSaturates, ::testing::Values(1, -1),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return info.param > 0 ? "positive" : "negative";
                         });

// Full-scale noise against the same noise at half scale. The renderer is linear, and
// halving even samples is exact all the way through the blocks' arithmetic, so wherever
// the half-scale render, doubled, lies within 16 bits the full-scale one agrees with it
// to its truncations. A wide notch cuts so much of the noise that a block's part of a
// cross-fade overshoots full scale where the two blocks' sum does not: the sum, not
// each part, is what saturates.
class SaturatedOnce : public ::testing::TestWithParam<std::array<int32_t, 3>> {};
TEST_P(SaturatedOnce, WhereTheSumFits)
{
    const auto [order, frequency, width] = GetParam();
    std::vector<int16_t> full(100000), half(full.size());
    uint32_t x = 2024;
    for (size_t t = 0; t < full.size(); ++t) {
        x = x * 1664525u + 1013904223u;
        full[t] = int16_t(x >> 31 ? 32766 : -32766);
        half[t] = int16_t(full[t] / 2);
    }
    HostEdit host = host_with(48000, order, frequency, width, 0);
    const std::vector<int16_t> out_full = rendered(&host, full);
    const std::vector<int16_t> out_half = rendered(&host, half);
    ASSERT_EQ(out_full.size(), out_half.size());
    int64_t compared = 0;
    for (size_t t = 0; t < out_full.size(); ++t) {
        const int32_t doubled = 2 * out_half[t];
        if (doubled < -32760 || doubled > 32760) continue;
        ++compared;
        ASSERT_NEAR(out_full[t], doubled, 3) << "frame " << t;
    }
    EXPECT_GT(compared, int64_t(out_full.size()) / 2);
}
INSTANTIATE_TEST_SUITE_P(OrderFrequencyWidth, SaturatedOnce,
                         ::testing::Values(std::array<int32_t, 3>{9, 100, 256},
                                           std::array<int32_t, 3>{11, 1000, 256},
                                           std::array<int32_t, 3>{11, 100, 30}));

// Entries outside the spectrum array are skipped, never written, whichever side of
// the array the notch overlaps.
TEST(ApplyNotch, StaysInsideTheArray)
{
    const int32_t n = 16, w = 5, guard = 300;
    const double window[w] = {0.5, 0.25, 0.125, 0.0625, 0.03125};
    for (const int32_t c : {0, 2, 7, 15, 16, 18, 20, 400}) {
        std::vector<double> buf(guard + n + guard, -1.0);
        double* x = buf.data() + guard;
        for (int32_t i = 0; i < n; ++i) x[i] = i + 1;
        apply_notch(x, n, c, w, window);
        for (int32_t i = -guard; i < n + guard; ++i) {
            const int32_t dist = std::abs(i - c);
            double want = i < 0 || i >= n ? -1.0 : i + 1;
            if (i >= 0 && i < n && dist <= w) want = dist == 0 ? 0 : (i + 1) * window[dist - 1];
            ASSERT_EQ(x[i], want) << "c " << c << " entry " << i;
        }
    }
}

// Where the notch can be placed (8000 Hz, a block of 2 s: exact spacing) the tone at
// its centre is removed (measured in the second block: the first block starts without
// a ramp, which spreads the tone past the notch at its ends); where the centre lies past the array (32000 Hz, N = 8192,
// entry 18000) nothing is notched and the tone passes unchanged.
TEST(RenderSpan, NotchBeyondTheUsualRanges)
{
    const double amplitude = 10000;
    HostEdit slow = host_with(8000, 14, 100, 30, 0, 3);
    const std::vector<int16_t> at_1k = tone(8000, 1, 40000, 1000, amplitude);
    const std::vector<int16_t> out = rendered(&slow, at_1k);
    ASSERT_EQ(g_plan.c, 4096);
    EXPECT_LE(max_abs_diff(out, at_1k, 0, 16384, int64_t(out.size()) - 4096), 0.02 * amplitude);

    HostEdit high = host_with(32000, 13, 1800, 30, 0);
    const std::vector<int16_t> at_2k = tone(32000, 1, 80000, 2000, amplitude);
    const std::vector<int16_t> passed = rendered(&high, at_2k);
    ASSERT_GE(g_plan.c, g_plan.n);
    EXPECT_LE(max_abs_diff(passed, at_2k, 1, 0, int64_t(passed.size())), 1.0);
}

// The capture stays inside its buffer: an FFT block longer than the seconds asked for,
// a video frame longer than the span, or a host claiming, after the first frame, to
// have written nearly 2^31 frames per call.
TEST(RenderSpan, CaptureStaysInsideItsBuffer)
{
    struct Row { int32_t rate, order, seconds, num, den, claim; };
    const Row rows[] = {{8000, 14, 1, 30, 1, 0},
                        {8000, 9, 1, 1, 3, 0},
                        {44100, 11, 2, 30, 1, INT32_MAX - 100}};
    for (const Row& r : rows) {
        HostEdit host = host_with(r.rate, r.order, 100, 30, 0, r.seconds);
        host.media.video_rate_num = r.num, host.media.video_rate_den = r.den;
        if (r.claim) host.source_mode = source_claim, host.claimed_frames = r.claim;
        const std::vector<int16_t> out = rendered(&host, tone(r.rate, 1, 5 * r.rate, 2000, 10000));
        EXPECT_GE(host.source_lowest, 0) << r.rate << " " << r.order;
        EXPECT_LE(host.source_highest, g_plan.capture_capacity) << r.rate << " " << r.order;
        EXPECT_EQ(int64_t(out.size()), g_plan.span_length);
        EXPECT_GT(*std::max_element(out.begin(), out.end()), 5000) << r.rate << " " << r.order;
    }
}

// Media that ends inside the span: the capture stops at the first call that returns
// nothing, and the rest of the span is silence.
TEST(RenderSpan, MediaEndingInsideTheSpan)
{
    for (const int32_t frames : {22050, 0}) {
        HostEdit host = host_with(44100, 11, 100, 30, 0);
        const std::vector<int16_t> out = rendered(&host, tone(44100, 1, frames, 2000, 10000));
        EXPECT_EQ(host.source_calls_past_end, 1) << frames;
        ASSERT_EQ(out.size(), 89600u);
        for (size_t t = frames + 2048; t < out.size(); ++t) ASSERT_EQ(out[t], 0) << t;
    }
}

}  // namespace
