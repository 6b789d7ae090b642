#pragma once
// Compares a file with its processed version over the processed stretch. Levels are
// taken over the stretch's middle only: the fade-in from silence and the tail
// cross-fade back to the source would otherwise dominate every figure.
#include <cstdint>

#include "cli/audio_file.h"
#include "cli/detect.h"
#include "cli/settings.h"

// Frames on each side of a stretch boundary searched for its largest step.
constexpr int64_t kJumpReach = 16;

struct Measurement {
    int64_t stretch_first = 0;     // the processed stretch, in frames
    int64_t stretch_count = 0;
    int64_t middle_first = 0;      // the part measured: after the fade-in, before the tail
    int64_t middle_count = 0;
    double centre_hz = 0, low_hz = 0, high_hz = 0;
    double centre_attenuation_db = 0;   // input over output power around the notch centre
    Tone tone;                          // strongest steady tone of the input's middle
    double tone_attenuation_db = 0;
    double outside_change_db = 0;       // output over input power outside the notch band
    double outside_in_dbfs = 0;         // that power itself, a full-scale sine being 0 dBFS
    double outside_out_dbfs = 0;
    double peak_dbfs = 0;               // output peak over the stretch
    int64_t clipped = 0;                // output samples at the 16-bit limits in the stretch
    int64_t clipped_input = 0;
    double jump_start = 0, jump_end = 0;              // largest sample step, full scale = 1
    double input_jump_start = 0, input_jump_end = 0;  // the same in the input
};

// `first` is the stretch's first frame; `in` and `out` must have the same shape.
// Throws ToolError when the shapes differ or the stretch's middle is too short.
Measurement measure(const Audio& in, const Audio& out, int64_t first, const NotchGeometry& g);
