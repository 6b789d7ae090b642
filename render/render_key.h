#pragma once
// The render key: every input the rendered span depends on. The span is re-rendered
// whenever the key read from the host differs from the one it was rendered with.
#include <cstdint>

#include "shell/host_interface.h"

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

// All zero at load and after a host notification. An all-zero key never matches a
// sound host (the frequency slider is at least 1); a damaged one whose every value is 0
// does match it, which is why clearing the key always goes with discarding the span.
extern RenderKey g_key;

// Sets every field of g_key to 0, forcing a re-render on the next processing call.
void clear_key();

// Non-zero when the host's current values differ from g_key. Compares the sliders and
// the check box first, then asks for the media information, then for the selection,
// and stops at the first difference without calling further services. `table` must
// carry the host's value pointers and service table.
int32_t key_changed(FilterTable* table, EditHandle edit);

// Reads every key input from the host into g_key.
void capture_key(FilterTable* table, EditHandle edit);
