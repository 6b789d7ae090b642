#pragma once
// The render plan: everything the span renderer needs, derived from a render key.
#include <cstdint>

#include "render/plan_arithmetic.h"
#include "render/render_key.h"

struct RenderPlan {
    int32_t n;                // FFT block size, 2^fft_order
    int32_t c;                // notch centre, an entry of the n-double spectrum array
    int32_t w;                // notch half-width in entries; notch_window has w values
    int32_t h;                // block hop, 3n/4
    int32_t q;                // overlap and ramp length, n/4
    int32_t span_length;      // sample frames in the span; 0 = nothing to render
    int32_t fade_length;      // fade-in length in sample frames, 0 .. span_length
    int32_t frame_capacity;   // most sample frames taken from one source-audio call
    int32_t capture_capacity; // 16-bit samples the span is captured and rendered in
    int32_t channels;
    int32_t start_frame;      // first selected frame: frame 0 of the span
    int32_t audio_rate;       // media rates, kept for mapping frames to span offsets
    int32_t video_rate_num;
    int32_t video_rate_den;
    double* notch_window;     // w gains, entry c + i + 1 and c - i - 1 scaled by [i]
};

// Zero (span_length 0, no window) at load. Owns its notch window, freed by the next
// derivation or when the library is unloaded.
extern RenderPlan g_plan;

// Replaces g_plan with the plan for `key`, freeing the previous notch window first.
// Sliders outside their ranges are clamped. Media the plan cannot serve (a
// non-positive rate, channel count or video rate, or a span too large to hold) gives
// span_length 0, so every sample passes untouched. Returns 0 only when the notch
// window could not be allocated (span_length is then 0 too), non-zero otherwise.
int32_t derive_plan(const RenderKey& key);
