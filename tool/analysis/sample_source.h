#pragma once
// Audio an analysis reads a piece at a time instead of holding it: a recording of any
// length, in the plug-in's 16 bits, filled in on request by whoever holds it (a file, a
// spool, or audio in memory), so that the analysis knows nothing of where it lives.
#include <cstdint>
#include <functional>

#include "tool/analysis/audio.h"

struct SampleSource {
    int32_t rate = 0;
    int32_t channels = 0;
    int64_t frames = 0;  // frames [0, frames) can be asked for
    // Writes frames [first, end) interleaved into `to` (room for (end - first) *
    // channels samples), 0 <= first <= end <= frames. Throws ToolError when they
    // cannot be read.
    std::function<void(int64_t first, int64_t end, int16_t* to)> fill;
};

// Frames [first, end) of `source` as Audio (its first_frame is `first`).
Audio read_frames(const SampleSource& source, int64_t first, int64_t end);

// Audio held in memory as a source, for tests and for callers that have it already.
SampleSource source_of(const Audio& audio);
