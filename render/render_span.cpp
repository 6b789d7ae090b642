#include "render/render_span.h"

#include <cstdlib>

#include "fft/real_fft.h"
#include "render/render_plan.h"

RenderedSpan g_span;

void apply_notch(double* x, int32_t n, int32_t c, int32_t w, const double* window)
{
    if (c >= 0 && c < n) x[c] = 0;
    for (int32_t i = 0; i < w; ++i) {
        const int64_t above = int64_t(c) + i + 1, below = int64_t(c) - i - 1;
        if (above >= 0 && above < n) x[above] *= window[i];
        if (below >= 0 && below < n) x[below] *= window[i];
    }
}

// Writes the source audio of the span into `in`, which holds capture_capacity samples
// and starts zeroed. A call at pos < span_length has frame_capacity frames of room, and
// no more than that is counted from one call, whatever count the host returns.
static void capture_source(FilterTable* table, EditHandle edit, HostServices* services,
                           int16_t* in)
{
    const RenderPlan& p = g_plan;
    int32_t pos = 0, frame = p.start_frame;
    while (pos < p.span_length) {
        const int32_t got =
            services->get_source_audio(table, edit, frame, in + int64_t(pos) * p.channels);
        if (got <= 0) break;  // past the end of the media
        pos += got < p.frame_capacity ? got : p.frame_capacity;
        if (frame == INT32_MAX) break;
        ++frame;
    }
}

// Filters channel k of the block at frame d and adds it into `out`. The block's rising
// ramp (absent in the first block) and falling ramp each cover q frames; the falling
// ramp of one block and the rising ramp of the next overlap and sum to 1, so
// consecutive blocks cross-fade linearly.
static void render_block(const int16_t* in, int16_t* out, double* x, int32_t d, int32_t k)
{
    const RenderPlan& p = g_plan;
    const int32_t n = p.n, q = p.q, h = p.h, ch = p.channels;
    const int16_t* src = in + int64_t(d) * ch + k;
    for (int32_t j = 0; j < n; ++j) {
        const double y = src[int64_t(j) * ch];
        if (d > 0 && j < q) x[j] = y * j / q;
        else if (j < h) x[j] = y;
        else x[j] = y * (n - j) / q;
    }
    real_fft(n, 1, x);
    apply_notch(x, n, p.c, p.w, p.notch_window);
    real_fft(n, -1, x);

    // The inverse scales by n / 2.
    int16_t* dst = out + int64_t(d) * ch + k;
    for (int32_t j = 0; j < n; ++j) {
        const int16_t v = to_sample((x[j] + x[j]) / n);
        int16_t& o = dst[int64_t(j) * ch];
        o = (d > 0 && j < q) ? to_sample(int32_t(o) + v) : v;
    }
}

// The last block's falling ramp covers the final q frames; adding the source on a
// rising ramp cross-fades the span's end back to the untouched audio.
static void cross_fade_tail(const int16_t* in, int16_t* out)
{
    const RenderPlan& p = g_plan;
    const int64_t d = p.span_length - p.q;
    for (int32_t i = 0; i < p.q; ++i)
        for (int32_t k = 0; k < p.channels; ++k) {
            const int64_t at = (d + i) * p.channels + k;
            out[at] = to_sample(int32_t(out[at]) + i * int32_t(in[at]) / p.q);
        }
}

// The span starts from silence: frame 0 is exactly 0. The product reaches
// 32768 * fade_length, past 32 bits once the fade is longer than 65536 frames.
static void fade_in(int16_t* out)
{
    const RenderPlan& p = g_plan;
    for (int32_t i = 0; i < p.fade_length; ++i)
        for (int32_t k = 0; k < p.channels; ++k) {
            int16_t& o = out[int64_t(i) * p.channels + k];
            o = static_cast<int16_t>(int64_t(o) * i / p.fade_length);
        }
}

int32_t render_span(FilterTable* table, EditHandle edit, HostServices* services)
{
    std::free(g_span.samples);
    const RenderedSpan empty = {};
    g_span = empty;

    const RenderPlan& p = g_plan;
    if (p.span_length <= 0) return 1;
    double* x = static_cast<double*>(std::malloc(sizeof(double) * p.n));
    int16_t* in = static_cast<int16_t*>(std::calloc(p.capture_capacity, sizeof(int16_t)));
    int16_t* out = static_cast<int16_t*>(
        std::malloc(sizeof(int16_t) * size_t(p.span_length) * size_t(p.channels)));
    if (!x || !in || !out) {
        std::free(x);
        std::free(in);
        std::free(out);
        return 0;
    }

    capture_source(table, edit, services, in);
    for (int32_t d = 0; d < p.span_length - p.q; d += p.h)
        for (int32_t k = 0; k < p.channels; ++k) render_block(in, out, x, d, k);
    cross_fade_tail(in, out);
    fade_in(out);

    std::free(x);
    std::free(in);
    g_span.samples = out;
    g_span.length = p.span_length;
    g_span.channels = p.channels;
    return 1;
}

// Returns the last render's heap blocks when the library is unloaded, so a host that
// loads and unloads the plug-in repeatedly does not accumulate them.
static struct ReleaseAtUnload {
    ~ReleaseAtUnload()
    {
        std::free(g_span.samples);
        std::free(g_plan.notch_window);
        g_span.samples = nullptr;
        g_plan.notch_window = nullptr;
    }
} s_release_at_unload;
