#pragma once
// Whether a listener hears a tone mixed into a programme, from the tone alone and the
// programme alone, with no help from the detector: the tone's extent is cut into 100 ms
// Hann frames; in each, the tone's power in its critical band (critical_band_hz, at
// least 15 Hz each side) is set against the programme's there. The tone is masked in a
// frame where its power lies more than the critical ratio (kCriticalRatioDb, 4 dB) under
// the programme's, and audible when it is masked in fewer than half its frames.
#include <cstdint>

#include "tool/analysis/audio.h"

struct Audibility {
    int frames = 0;  // the 100 ms frames of its extent
    int masked = 0;  // those where the programme masks it
    bool audible() const { return 2 * masked < frames; }
};

constexpr double kAudibleFrameSeconds = 0.1;

// `tone` and `programme` hold the same frames at the same rate; the tone sounds at `hz`
// over [first, end). An extent under one frame is one frame of its own length.
Audibility audibility(const Audio& tone, const Audio& programme, double hz, int64_t first, int64_t end);
