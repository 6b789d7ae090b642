#pragma once
// The span renderer: reads the span's source audio frame by frame, removes the band
// around the notch block by block, and keeps the result as 16-bit samples for the
// processing callback to copy from.
#include <cstdint>

struct RenderedSpan {
    int16_t* samples;  // length x channels, interleaved (the block holds g_plan's
                       // capture_capacity samples); null when nothing is rendered
    int32_t length;    // sample frames; 0 when nothing is rendered
    int32_t channels;
    int32_t cursor;    // next frame for sequential delivery, 0 .. length
};

// Empty at load. Owns its samples, freed by the next render, by discard_span or when
// the library is unloaded.
extern RenderedSpan g_span;

// Where the source audio comes from: read(context, frame, buffer) writes the audio of
// video frame `frame` (interleaved, the plan's channel count) at `buffer` and returns
// the number of sample frames it wrote; 0 or less when it has none.
struct SourceReader {
    int32_t (*read)(void* context, int32_t frame, int16_t* buffer);
    void* context;
};

// Replaces g_span (freeing the previous samples first) by the span g_plan describes,
// with the cursor at 0. The span starts at g_plan.start_frame; its source audio comes
// from `source`, frame by frame, until the span is full, the reader returns no samples
// or the frame numbers run out (what the media cannot supply is silence). A plan with
// span_length 0 leaves g_span empty. Returns 0 when a buffer could not be allocated
// (g_span is then empty), non-zero otherwise.
int32_t render_span(const SourceReader& source);

// Frees g_span's samples and leaves it empty (length 0, cursor 0). Goes with every
// clearing of the render key: a cleared key matches a host whose every value is 0, and
// such a host must not be served the span rendered for the settings before.
void discard_span();

// Removes the band around entry c of an n-double spectrum array: entry c is zeroed and
// entries c + i + 1 and c - i - 1 are scaled by window[i] for i < w, so the notch
// covers 2w + 1 entries. Entries outside 0 .. n - 1 are skipped, never written. Entry e
// is x[e * stride] (a lane of a batch has stride real_fft_lanes).
void apply_notch(double* x, int32_t n, int32_t c, int32_t w, const double* window,
                 int32_t stride = 1);

// A filtered value as a 16-bit sample: truncated toward zero, saturated to
// -32768 .. 32767 (a wrapped sample would be a full-scale click). Needs |v| < 2^31,
// which every filtered value meets: a block of n 16-bit samples, notched, comes back
// below 2n * 32768 <= 2^30 in magnitude.
inline int16_t to_sample(double v)
{
    const int32_t t = static_cast<int32_t>(v);
    return static_cast<int16_t>(t < -32768 ? -32768 : t > 32767 ? 32767 : t);
}

inline int16_t to_sample(int32_t v)
{
    return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}
