#include "render/render_plan.h"

#include <cmath>
#include <cstdlib>

#include "render/render_key.h"

RenderPlan g_plan;

static int32_t clamp(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

int32_t notch_index(int32_t frequency, int32_t rate, int32_t n)
{
    const int32_t s = (rate / 2) / n;
    if (s > 0) return static_cast<int32_t>(frequency * 10 / static_cast<double>(s) + 0.5);
    return static_cast<int32_t>(frequency * 10 / (rate / (2.0 * n)) + 0.5);
}

// Raised cosine from near 0 next to the notch centre to near 1 at its edge; all zeros
// (every covered entry removed) without the check box.
static void fill_notch_window(double* window, int32_t w, int32_t use_window)
{
    const double pi = 3.14159265358979323846;
    for (int32_t i = 0; i < w; ++i)
        window[i] = use_window ? 1 - (std::cos(pi * (i + 1) / (w + 1)) + 1) * 0.5 : 0.0;
}

int32_t derive_plan()
{
    std::free(g_plan.notch_window);
    RenderPlan p = {};
    g_plan = p;

    const int32_t rate = g_key.audio_rate, channels = g_key.audio_channels;
    const int32_t num = g_key.video_rate_num, den = g_key.video_rate_den;
    if (rate <= 0 || channels <= 0 || num <= 0 || den <= 0) return 1;

    const int32_t seconds = clamp(g_key.seconds, kSecondsMin, kSecondsMax);
    const int32_t fade = clamp(g_key.fade, kFadeMin, kFadeMax);
    p.n = 1 << clamp(g_key.fft_order, kFftOrderMin, kFftOrderMax);
    p.c = notch_index(clamp(g_key.frequency, kFrequencyMin, kFrequencyMax), rate, p.n);
    p.w = clamp(g_key.width, kWidthMin, kWidthMax);
    p.h = 3 * p.n / 4;
    p.q = p.n / 4;

    // The requested length rounded up to whole hops, plus the last block's ramp, so
    // that span_length - q is a whole number of hops. 64-bit: rates may be absurd.
    const int64_t t = int64_t(seconds) * rate + p.h - 1;
    const int64_t span = t - t % p.h + p.q;
    // One frame's audio is at most ceil(rate * den / num) sample frames; a source-audio
    // call may write twice that (plus a little) without reaching past the capture.
    const int64_t per_frame = (int64_t(rate) * den + num - 1) / num;
    const int64_t frame_capacity = 2 * per_frame + 16;
    if (span + frame_capacity > kMaxBufferSamples / channels) return 1;

    p.notch_window = static_cast<double*>(std::malloc(sizeof(double) * p.w));
    if (!p.notch_window) return 0;
    fill_notch_window(p.notch_window, p.w, g_key.use_window);

    p.span_length = static_cast<int32_t>(span);
    p.fade_length = static_cast<int32_t>(fade * span / 100);
    p.frame_capacity = static_cast<int32_t>(frame_capacity);
    p.capture_capacity = static_cast<int32_t>((span + frame_capacity) * channels);
    p.channels = channels;
    p.start_frame = g_key.first_frame;
    p.audio_rate = rate;
    p.video_rate_num = num;
    p.video_rate_den = den;
    g_plan = p;
    return 1;
}
