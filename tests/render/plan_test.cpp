#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "render/render_key.h"
#include "render/render_plan.h"
#include "render/slider_table.h"
#include "shell/host_key.h"
#include "test_media.h"
#include "tests/render/render_host.h"

namespace {

RenderKey key(int32_t rate, int32_t order, int32_t frequency = 100, int32_t seconds = 2)
{
    RenderKey k = {frequency, seconds, order, 30, 25, 0, rate, 2, 30, 1, 0};
    return k;
}

RenderPlan plan_for(const RenderKey& k)
{
    EXPECT_EQ(derive_plan(k), 1);
    return g_plan;
}

TEST(RenderPlan, NotchIndexAndSpanLength)
{
    const RenderPlan p = plan_for(key(44100, 11));
    EXPECT_EQ(p.n, 2048);
    EXPECT_EQ(p.c, 100);  // s = 10
    EXPECT_EQ(p.h, 1536);
    EXPECT_EQ(p.q, 512);
    EXPECT_EQ(p.span_length, 89600);
    EXPECT_EQ(p.fade_length, 89600 * 25 / 100);
    // s = 2 where the exact spacing is 2.69 Hz: the centre stays where projects expect it.
    EXPECT_EQ(plan_for(key(44100, 13)).c, 500);
}

TEST(RenderPlan, SpanIsWholeHopsPlusOneRamp)
{
    for (int32_t rate : {8000, 11025, 22050, 32000, 44100, 48000, 96000, 192000})
        for (int32_t order = kSliderMinima[kFftOrder]; order <= kSliderMaxima[kFftOrder]; ++order)
            for (int32_t seconds = 1; seconds <= 3; ++seconds) {
                const RenderPlan p = plan_for(key(rate, order, 100, seconds));
                const int64_t wanted = int64_t(seconds) * rate;
                EXPECT_EQ((p.span_length - p.q) % p.h, 0) << rate << " " << order;
                EXPECT_GE(p.span_length - p.q, wanted) << rate << " " << order;
                EXPECT_LT(p.span_length - p.q - p.h, wanted) << rate << " " << order;
            }
}

TEST(RenderPlan, FadeEnds)
{
    RenderKey k = key(48000, 12);
    k.fade = 0;
    EXPECT_EQ(plan_for(k).fade_length, 0);
    k.fade = 100;
    const RenderPlan p = plan_for(k);
    EXPECT_EQ(p.fade_length, p.span_length);
}

TEST(RenderPlan, NotchWindow)
{
    RenderKey k = key(44100, 11);
    const RenderPlan off = plan_for(k);
    for (int32_t i = 0; i < off.w; ++i) EXPECT_EQ(off.notch_window[i], 0.0) << i;

    k.use_window = 1;
    k.width = 5;
    const RenderPlan on = plan_for(k);
    const double pi = 3.14159265358979323846;
    ASSERT_EQ(on.w, 5);
    // Raised cosine over 1 .. W of W + 1 steps: rising, and symmetric about one half.
    EXPECT_NEAR(on.notch_window[0], (1 - std::cos(pi / 6)) / 2, 1e-15);
    EXPECT_NEAR(on.notch_window[2], 0.5, 1e-15);
    for (int32_t i = 0; i < on.w; ++i) {
        EXPECT_NEAR(on.notch_window[i] + on.notch_window[on.w - 1 - i], 1.0, 1e-15) << i;
        if (i > 0) {
            EXPECT_GT(on.notch_window[i], on.notch_window[i - 1]) << i;
        }
    }
}

// An FFT block longer than half a second: the whole-Hz spacing is 0, so the centre
// comes from the exact spacing, 8000 / 32768 Hz per entry.
TEST(RenderPlan, BlockLongerThanHalfASecond)
{
    EXPECT_EQ(plan_for(key(8000, 14, 100)).c, 4096);
    EXPECT_EQ(plan_for(key(1000, 10, 1)).c, 20);
}

// A damaged project: every slider outside its range is clamped before use.
TEST(RenderPlan, SlidersOutOfRangeAreClamped)
{
    struct Row { RenderKey raw, clamped; };
    const RenderKey base = key(44100, 11);
    std::vector<Row> rows;
    auto row = [&](int32_t RenderKey::*field, int32_t raw, int32_t clamped) {
        Row r = {base, base};
        r.raw.*field = raw;
        r.clamped.*field = clamped;
        rows.push_back(r);
    };
    int32_t RenderKey::*const sliders[kSliderCount] = {&RenderKey::frequency, &RenderKey::seconds,
                                                       &RenderKey::fft_order, &RenderKey::width,
                                                       &RenderKey::fade};
    for (int32_t i = 0; i < kSliderCount; ++i) {
        const int32_t lo = kSliderMinima[i], hi = kSliderMaxima[i];
        row(sliders[i], lo - 1, lo), row(sliders[i], -7, lo), row(sliders[i], INT32_MIN, lo);
        row(sliders[i], hi + 1, hi), row(sliders[i], 1 << 30, hi);
    }
    for (const Row& r : rows) {
        const RenderPlan want = plan_for(r.clamped);
        const std::vector<double> window(want.notch_window, want.notch_window + want.w);
        const RenderPlan got = plan_for(r.raw);
        EXPECT_EQ(got.n, want.n);
        EXPECT_EQ(got.c, want.c);
        EXPECT_EQ(got.w, want.w);
        EXPECT_EQ(got.span_length, want.span_length);
        EXPECT_EQ(got.fade_length, want.fade_length);
        EXPECT_EQ(std::vector<double>(got.notch_window, got.notch_window + got.w), window);
    }
}

// Media the plan cannot serve renders nothing; sizes are checked in 64 bits.
TEST(RenderPlan, MediaItCannotServe)
{
    struct Row { int32_t rate, channels, num, den; };
    const Row rows[] = {{0, 2, 30, 1},       {-44100, 2, 30, 1},  {44100, 0, 30, 1},
                        {44100, -2, 30, 1},  {44100, 2, 0, 1},    {44100, 2, 30, 0},
                        {44100, 2, -30, 1},  {INT32_MAX, 2, 30, 1}, {44100, 1 << 30, 30, 1},
                        {48000, 2, 1, 1000000}};
    for (const Row& r : rows) {
        RenderKey k = key(r.rate, 11);
        k.audio_channels = r.channels, k.video_rate_num = r.num, k.video_rate_den = r.den;
        EXPECT_EQ(plan_for(k).span_length, 0) << r.rate << " " << r.channels;
    }
    RenderKey big = key(192000, 14, 100, 3);
    big.audio_channels = 8;
    EXPECT_GT(plan_for(big).span_length, 3 * 192000);
}

// Every key input makes the comparison report a change; the selection's end does not.
TEST(RenderKey, EveryInputIsCompared)
{
    HostEdit host = render_edit(media_with(44100, 1, 30, 1, {}));
    FilterTable* table = module_table();
    host_attach(&host, table);
    auto settled = [&] { capture_key(table, &host); return key_changed(table, &host); };
    ASSERT_EQ(settled(), 0);
    int32_t* fields[] = {&host.slider_values[0], &host.slider_values[1], &host.slider_values[2],
                         &host.slider_values[3], &host.slider_values[4], &host.check_values[0],
                         &host.media.audio_rate, &host.media.channels, &host.media.video_rate_num,
                         &host.media.video_rate_den, &host.selection_first};
    for (int i = 0; i < 11; ++i) {
        ASSERT_EQ(settled(), 0);
        *fields[i] += 1;
        EXPECT_NE(key_changed(table, &host), 0) << "key field " << i;
    }
    ASSERT_EQ(settled(), 0);
    host.selection_last += 5;
    EXPECT_EQ(key_changed(table, &host), 0);
    clear_key();
    EXPECT_NE(key_changed(table, &host), 0);
}

}  // namespace
