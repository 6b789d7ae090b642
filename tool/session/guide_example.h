#pragma once
// The guides' worked example, done by the tool rather than typed: a clip of pink noise
// with a 1 kHz beep in 48 kHz, 30 fps video, the beep found and the settings fitted by
// detect's own code, and the cut measured through the plug-in four ways: as fitted,
// with the selection on the beep's first frame, with the window switched on, and with
// the slider table's width.
#include <cstdint>

#include "tool/analysis/audio.h"
#include "tool/session/fit.h"

struct GuideClip {
    int32_t rate = 48000;
    int32_t fps_num = 30, fps_den = 1;
    double seconds = 5.0;
    double tone_hz = 1000.0;
    double tone_on = 1.0;          // seconds
    double tone_off = 3.0;
    double tone_amplitude = 0.1;   // full scale = 1
    double noise_rms = 0.05;
};

// Deterministic: the same samples on every machine. Mono.
Audio synthesise_guide_clip(const GuideClip& clip, bool with_tone);

struct GuideExample {
    GuideClip clip;
    int32_t tone_frame = 0;        // the video frame in which the beep starts
    Fit fit;
    double cut_db = 0;             // the beep's cut over its whole extent, as fitted
    double cut_on_tone_db = 0;     // the same with the selection on tone_frame
    double cut_window_db = 0;      // the same as fitted but with the window on
    int32_t table_width = 0;       // the slider table's width for the beep at the fitted FFT order
    double cut_table_width_db = 0; // the cut as fitted but with that width
};

// Throws ToolError when the beep is not found: the analysis would then be broken.
GuideExample run_guide_example(FilterTable& table);
