#pragma once
// The demo's test clip: a few partials whose frequencies are not multiples of one
// another, under slow envelopes, with a steady tone switched on for part of the clip.
#include <cstdint>

#include "tool/analysis/audio.h"

struct DemoClip {
    int32_t rate = 48000;
    int32_t channels = 2;
    double seconds = 4.0;
    double tone_hz = 1000.0;
    double tone_on = 1.0;       // seconds
    double tone_off = 3.5;
    double tone_amplitude = 0.25;  // full scale = 1
};

// Deterministic: the same clip every run.
Audio synthesise_demo(const DemoClip& clip);
