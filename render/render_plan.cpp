#include "render/render_plan.h"

#include <cmath>
#include <cstdlib>

#include "render/plan_arithmetic.h"
#include "render/slider_table.h"

RenderPlan g_plan;

// Raised cosine from near 0 next to the notch centre to near 1 at its edge; all zeros
// (every covered entry removed) without the check box.
static void fill_notch_window(double* window, int32_t w, int32_t use_window)
{
    const double pi = 3.14159265358979323846;
    for (int32_t i = 0; i < w; ++i)
        window[i] = use_window ? 1 - (std::cos(pi * (i + 1) / (w + 1)) + 1) * 0.5 : 0.0;
}

int32_t derive_plan(const RenderKey& key)
{
    std::free(g_plan.notch_window);
    RenderPlan p = {};
    g_plan = p;

    const int32_t rate = key.audio_rate, channels = key.audio_channels;
    const int32_t num = key.video_rate_num, den = key.video_rate_den;
    if (rate <= 0 || channels <= 0 || num <= 0 || den <= 0) return 1;

    const int64_t n = plan_block_size(clamp_slider(kFftOrder, key.fft_order));
    const int64_t span = plan_span_length(clamp_slider(kSeconds, key.seconds), rate, n);
    const int64_t frame_capacity = plan_frame_capacity(rate, num, den);
    if (!plan_fits(span, frame_capacity, channels)) return 1;

    p.n = static_cast<int32_t>(n);
    p.c = static_cast<int32_t>(plan_notch_entry(clamp_slider(kFrequency, key.frequency), rate, n));
    p.w = clamp_slider(kWidth, key.width);
    p.h = static_cast<int32_t>(plan_hop(n));
    p.q = static_cast<int32_t>(plan_quarter(n));
    p.notch_window = static_cast<double*>(std::malloc(sizeof(double) * p.w));
    if (!p.notch_window) return 0;
    fill_notch_window(p.notch_window, p.w, key.use_window);

    p.span_length = static_cast<int32_t>(span);
    p.fade_length = static_cast<int32_t>(plan_fade_length(clamp_slider(kFade, key.fade), span));
    p.frame_capacity = static_cast<int32_t>(frame_capacity);
    p.capture_capacity = static_cast<int32_t>((span + frame_capacity) * channels);
    p.channels = channels;
    p.start_frame = key.first_frame;
    p.audio_rate = rate;
    p.video_rate_num = num;
    p.video_rate_den = den;
    g_plan = p;
    return 1;
}

// Returns the notch window when the library is unloaded, so a host that loads and
// unloads the plug-in repeatedly does not accumulate it.
namespace {
struct ReleaseAtUnload {
    ~ReleaseAtUnload()
    {
        std::free(g_plan.notch_window);
        g_plan.notch_window = nullptr;
    }
} s_release_at_unload;
}  // namespace
