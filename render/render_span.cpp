#include "render/render_span.h"

#include <cstdlib>
#include <cstring>

#include "fft/real_fft.h"
#include "render/render_plan.h"

RenderedSpan g_span;

void apply_notch(double* x, int32_t n, int32_t c, int32_t w, const double* window, int32_t stride)
{
    if (c >= 0 && c < n) x[int64_t(c) * stride] = 0;
    for (int32_t i = 0; i < w; ++i) {
        const int64_t above = int64_t(c) + i + 1, below = int64_t(c) - i - 1;
        if (above >= 0 && above < n) x[above * stride] *= window[i];
        if (below >= 0 && below < n) x[below * stride] *= window[i];
    }
}

// Writes the source audio of the span into `buffer`, which holds capture_capacity
// samples and starts zeroed. A call at pos < span_length has frame_capacity frames of
// room, and no more than that is counted from one call, whatever count the reader
// returns.
static void capture_source(const SourceReader& source, int16_t* buffer)
{
    const RenderPlan& p = g_plan;
    int32_t pos = 0, frame = p.start_frame;
    while (pos < p.span_length) {
        const int32_t got = source.read(source.context, frame, buffer + int64_t(pos) * p.channels);
        if (got <= 0) break;  // past the end of the media
        pos += got < p.frame_capacity ? got : p.frame_capacity;
        if (frame == INT32_MAX) break;
        ++frame;
    }
}

// The span is rendered in place over its source. Block d reads source frames d .. d+n-1
// and writes back frames d .. d+h-1; block d + h starts q frames before block d ends, so
// block d's part of frames d+h .. d+n-1 waits in `pending` (q frames, interleaved),
// where block d + h, and after the last block the tail, finds it. Their source is still
// in the span then: only block d + h writes them.
namespace {
struct Blocks {
    int16_t* span;    // source ahead of the current block, rendered audio behind it
    int32_t* pending; // the current block's filtered part of those q frames, unsaturated
    double* x;        // real_fft_lanes blocks in the batch layout of real_fft.h
};
}  // namespace

// Fills g consecutive channels' blocks, x[j * L + kk] for channel kk (L = real_fft_lanes:
// neighbouring lanes of a batch), from `at` (source frames, `stride` values apart). The
// block's rising ramp (absent in the first block) and falling ramp each cover q frames;
// the falling ramp of one block and the rising ramp of the next overlap and sum to 1,
// so consecutive blocks cross-fade linearly. q is a power of two, so multiplying by
// 1 / q gives exactly y * j / q.
static inline void fill_block(double* x, const int16_t* at, bool rising, int64_t stride,
                              int32_t g)
{
    const int32_t n = g_plan.n, q = g_plan.q, h = g_plan.h, L = real_fft_lanes;
    const double inv_q = 1.0 / q;
    if (rising) {
        for (int32_t j = 0; j < q; ++j)
            for (int32_t kk = 0; kk < g; ++kk)
                x[j * L + kk] = at[j * stride + kk] * double(j) * inv_q;
    } else {
        for (int32_t j = 0; j < q; ++j)
            for (int32_t kk = 0; kk < g; ++kk) x[j * L + kk] = at[j * stride + kk];
    }
    for (int32_t j = q; j < h; ++j)
        for (int32_t kk = 0; kk < g; ++kk) x[j * L + kk] = at[j * stride + kk];
    for (int32_t j = h; j < n; ++j)
        for (int32_t kk = 0; kk < g; ++kk)
            x[j * L + kk] = at[j * stride + kk] * double(n - j) * inv_q;
}

// A filtered value as the block's part of a sample: truncated toward zero, not yet
// saturated. n is a power of two, so multiplying by 2 / n gives exactly (x + x) / n,
// undoing the inverse FFT's n / 2.
static inline int32_t block_part(double x, double two_over_n)
{
    return static_cast<int32_t>(x * two_over_n);
}

// Stores g channels' filtered blocks (laid out as fill_block leaves them). A block's first q frames add to the previous
// block's part kept in `pending` (unless this is the first block), its middle is stored
// as it is, and its last q frames go to `pending` for the next block or the tail. The
// parts are added in 32 bits and saturated once: either part alone may lie beyond full
// scale where their cross-faded sum does not.
static inline void write_block(const double* x, int16_t* at, int32_t* pending, bool overlapping,
                               int64_t stride, int32_t g)
{
    const int32_t n = g_plan.n, q = g_plan.q, h = g_plan.h, L = real_fft_lanes;
    const double two_over_n = 2.0 / n;
    if (overlapping)
        for (int32_t j = 0; j < q; ++j)
            for (int32_t kk = 0; kk < g; ++kk)
                at[j * stride + kk] =
                    to_sample(pending[j * stride + kk] + block_part(x[j * L + kk], two_over_n));
    for (int32_t j = overlapping ? q : 0; j < h; ++j)
        for (int32_t kk = 0; kk < g; ++kk)
            at[j * stride + kk] = to_sample(x[j * L + kk] * two_over_n);
    for (int32_t j = h; j < n; ++j)
        for (int32_t kk = 0; kk < g; ++kk)
            pending[(j - h) * stride + kk] = block_part(x[j * L + kk], two_over_n);
}

// Blocks go through the transform real_fft_lanes at a time, whatever hop and channel
// they belong to: the blocks of a batch are all filled, transformed, notched and
// transformed back, then all written, in span order. Filling first is safe: block d + h
// reads source frames from d + h on, none of which block d writes; the writes still come
// in order, each block adding its rising ramp to the falling ramp the one before left in
// `pending`. Mono and
// stereo blocks are filled and written by loops of their own, with the stride and
// channel count known, so the compiler can vectorise them; stereo channels go as pairs,
// into neighbouring lanes. Other counts go one channel at a time.
static void filter_blocks(const Blocks& b)
{
    const RenderPlan& p = g_plan;
    const int32_t ch = p.channels, g = ch <= 2 ? ch : 1;
    struct Unit {
        int32_t d, k;  // the block's frame and first channel
    } units[real_fft_lanes];
    int32_t d = 0, k = 0;
    while (d < p.span_length - p.q) {
        int32_t count = 0, used = 0;
        for (; count + g <= real_fft_lanes && d < p.span_length - p.q; ++used) {
            units[used] = Unit{d, k};
            int16_t* at = b.span + int64_t(d) * ch + k;
            double* x = real_fft_lane(b.x, p.n, count);
            if (g == 1) fill_block(x, at, d > 0, ch, 1);
            else fill_block(x, at, d > 0, 2, 2);
            count += g;
            k += g;
            if (k == ch) k = 0, d += p.h;
        }
        real_fft_batch(p.n, 1, count, b.x);
        for (int32_t lane = 0; lane < count; ++lane)
            apply_notch(real_fft_lane(b.x, p.n, lane), p.n, p.c, p.w, p.notch_window, real_fft_lanes);
        real_fft_batch(p.n, -1, count, b.x);
        for (int32_t u = 0; u < used; ++u) {
            int16_t* at = b.span + int64_t(units[u].d) * ch + units[u].k;
            const double* x = real_fft_lane(b.x, p.n, u * g);
            if (g == 1) write_block(x, at, b.pending + units[u].k, units[u].d > 0, ch, 1);
            else write_block(x, at, b.pending, units[u].d > 0, 2, 2);
        }
    }
}

// The last block's falling ramp covers the final q frames; adding their source (still
// in the span) on a rising ramp cross-fades the span's end back to the untouched audio.
static void cross_fade_tail(const Blocks& b)
{
    const RenderPlan& p = g_plan;
    int16_t* tail = b.span + int64_t(p.span_length - p.q) * p.channels;
    for (int32_t i = 0; i < p.q; ++i)
        for (int32_t k = 0; k < p.channels; ++k) {
            const int64_t at = int64_t(i) * p.channels + k;
            tail[at] = to_sample(b.pending[at] + i * int32_t(tail[at]) / p.q);
        }
}

// The span starts from silence: frame 0 is exactly 0. The product o * i reaches
// 32768 * fade_length, past 32 bits once the fade is longer than 65536 frames, so it is
// taken in double: exact below 2^53, and the correctly rounded quotient truncates to
// the integer quotient, since a quotient that is not whole lies at least 1 / F from
// the next integer, far more than its rounding error.
static inline void fade_frames(int16_t* span, int32_t ch)
{
    const int32_t frames = g_plan.fade_length;
    const double f = frames;
    for (int32_t i = 0; i < frames; ++i)
        for (int32_t k = 0; k < ch; ++k) {
            int16_t& o = span[int64_t(i) * ch + k];
            o = static_cast<int16_t>(static_cast<int32_t>(double(o) * i / f));
        }
}

static void fade_in(int16_t* span)
{
    const int32_t ch = g_plan.channels;
    if (ch == 1) fade_frames(span, 1);
    else if (ch == 2) fade_frames(span, 2);
    else fade_frames(span, ch);
}

void discard_span()
{
    std::free(g_span.samples);
    const RenderedSpan empty = {};
    g_span = empty;
}

int32_t render_span(const SourceReader& source)
{
    const RenderPlan& p = g_plan;
    if (p.span_length <= 0) {
        discard_span();
        return 1;
    }
    // The block buffer is taken before the previous span is freed, so that a render of
    // the same span puts the new one where the old one was and the freed heap top never
    // holds both: the allocator then keeps their pages rather than returning them and
    // faulting them in again on every render. The buffer starts on a 64-byte boundary,
    // so that no element of a group (32 bytes) straddles two cache lines.
    const size_t x_bytes = sizeof(double) * size_t(p.n) * real_fft_lanes;
    void* x_memory = std::malloc(x_bytes + 63);
    discard_span();
    Blocks b;
    b.x = reinterpret_cast<double*>((reinterpret_cast<uintptr_t>(x_memory) + 63) & ~uintptr_t(63));
    b.pending = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * p.q * size_t(p.channels)));
    b.span = static_cast<int16_t*>(std::malloc(sizeof(int16_t) * size_t(p.capture_capacity)));
    if (!x_memory || !b.pending || !b.span) {
        std::free(x_memory);
        std::free(b.pending);
        std::free(b.span);
        return 0;
    }
    // Zeroed, so that the spare lanes of a batch that is not full hold numbers.
    std::memset(b.x, 0, x_bytes);

    // Zeroed first: whatever the media cannot supply is silence, and a host that claims
    // more frames than it wrote leaves silence, never the previous render's data.
    std::memset(b.span, 0, sizeof(int16_t) * size_t(p.capture_capacity));
    capture_source(source, b.span);
    filter_blocks(b);
    cross_fade_tail(b);
    fade_in(b.span);

    std::free(x_memory);
    std::free(b.pending);
    g_span.samples = b.span;
    g_span.length = p.span_length;
    g_span.channels = p.channels;
    return 1;
}

// Returns the last render's samples when the library is unloaded, so a host that
// loads and unloads the plug-in repeatedly does not accumulate them.
namespace {
struct ReleaseAtUnload {
    ~ReleaseAtUnload() { discard_span(); }
} s_release_at_unload;
}  // namespace
