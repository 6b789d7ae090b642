#pragma once
// The render key: every input the rendered span depends on. The shell reads it from the
// host and re-renders whenever the host's values differ from the key the span was
// rendered with.
#include <cstdint>

// Raw host values, exactly as read: a slider value outside its range stays as it is
// here (the plan clamps it), so the comparison sees every change the host makes.
struct RenderKey {
    int32_t frequency;      // notch centre, in units of 10 Hz
    int32_t seconds;        // span length in seconds
    int32_t fft_order;      // FFT block size is 2 to this power
    int32_t width;          // notch half-width, in spectrum-array entries
    int32_t fade;           // fade-in length, percent of the span
    int32_t use_window;     // non-zero: raised-cosine notch edges
    int32_t audio_rate;     // media sampling rate, Hz
    int32_t audio_channels; // media channel count
    int32_t video_rate_num; // frames per second = video_rate_num / video_rate_den
    int32_t video_rate_den;
    int32_t first_frame;    // first frame of the host's selection
};
