#pragma once
// The render plan: everything the span renderer needs, derived from g_key.
#include <cstdint>

// Slider ranges. Values outside them (a damaged project) are clamped for the plan.
constexpr int32_t kFrequencyMin = 1, kFrequencyMax = 1800;
constexpr int32_t kSecondsMin = 1, kSecondsMax = 3;
constexpr int32_t kFftOrderMin = 9, kFftOrderMax = 14;
constexpr int32_t kWidthMin = 5, kWidthMax = 256;
constexpr int32_t kFadeMin = 0, kFadeMax = 100;

// The largest buffer of 16-bit samples a plan may ask for (128 MiB). Media whose span
// needs more (absurd rates or channel counts) is not rendered. A 3 s span of 8
// channels at 192 kHz needs under 5 million samples.
constexpr int64_t kMaxBufferSamples = int64_t(1) << 26;

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

// Zero (span_length 0, no window) at load.
extern RenderPlan g_plan;

// Replaces g_plan with the plan for g_key, freeing the previous notch window first.
// Media the plan cannot serve (a non-positive rate, channel count or video rate, or a
// span too large to hold) gives span_length 0, so every sample passes untouched.
// Returns 0 only when the notch window could not be allocated (span_length is then 0
// too), non-zero otherwise.
int32_t derive_plan();

// The notch centre for sampling rate `rate` and block size n. The centre is placed
// with the whole-Hz spacing s = (rate / 2) / n, truncated, so that saved projects keep
// their notch where it always was; an FFT block of more than half a second (s = 0)
// uses the exact entry spacing rate / (2n) instead.
int32_t notch_index(int32_t frequency, int32_t rate, int32_t n);
