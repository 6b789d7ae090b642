#pragma once
// A floating-point file may hold samples over full scale, which its conversion to the
// plug-in's 16 bits clips: a tone that reaches over it then has harmonics (and, past
// half the rate, their aliases) that the conversion made and the file does not hold.
// They are not the tone's to list, nor to notch. An integer file cannot go over full
// scale: one whose samples sit at its limits was clipped before it was written, and the
// harmonics of that clipping are the file's own.
#include <cstdint>

#include "tool/analysis/detect.h"
#include "tool/analysis/sample_source.h"

// Clears the harmonics of each tone in `d` that reaches full scale itself (its own peak
// over half of it) where `source`'s frames reach full scale within the tone's extent
// (frames count as `d`'s do). Call it only where the conversion to 16 bits clipped the
// samples read. Returns how many harmonics were left out.
int32_t leave_out_conversion_harmonics(Detection* d, const SampleSource& source);
