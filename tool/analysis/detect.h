#pragma once
// Finds the steady tones in a stretch of audio: a hum, a whine or a beep that holds its
// frequency and level while speech and music change around it. A short-time spectrum
// covers the whole stretch; a peak counts only where it stands clear of a floor taken
// from the quieter neighbouring bins of its own frame, and a tone is a peak that does so
// in nearly every frame of a run, with a drift well under a bin and a level that varies
// by a few dB at most. Speech harmonics and music partials come, go and glide, so they
// never make such a run.
#include <cstdint>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect_params.h"

// One harmonic of a tone taken for a family's fundamental (a hum).
struct Harmonic {
    int32_t order = 0;          // 2 for the second harmonic, ...
    double hz = 0;
    double level_dbfs = 0;
    double relative_db = 0;     // level against the fundamental
};

struct Tone {
    bool found = false;
    double hz = 0;              // median of the frames' interpolated peak frequencies
    double level_dbfs = 0;      // a full-scale sine is 0 dBFS
    double above_floor_db = 0;  // prominence: median over its frames of peak over floor
    double drift_hz = 0;        // spread of the frames' frequencies (10th to 90th percentile)
    double level_range_db = 0;  // spread of its own level, likewise, in the frames where
                                // no louder sound shares its bin
    double level_trend_db = 0;  // how far the level rises or falls over the tone's extent
    double level_slope_db = 0;  // how far it moves along a robust line through the frames
    double resolution_hz = 0;   // bin spacing of the analysis
    int64_t first = 0;          // where it starts and stops, in sample frames of the file:
    int64_t end = 0;            // [first, end), each where its amplitude crosses half its own
    bool from_region_start = false;  // already sounding where the analysed region starts
    bool to_region_end = false;      // still sounding where it ends
    std::vector<Harmonic> harmonics;  // steady tones at whole multiples, over the same time
};

struct Detection {
    double resolution_hz = 0;
    std::vector<Tone> tones;    // strongest first (by prominence); empty: no steady tone
};

// The analysis block for a sampling rate: bins no wider than widest_bin_hz, so a 50 Hz hum's
// harmonics lie apart and a tone's drift is judged against a fine grid.
int32_t analysis_length(int32_t rate, const DetectParams& params = DetectParams());

// The fewest frames a region must hold to be analysed.
int64_t shortest_region(int32_t rate, const DetectParams& params = DetectParams());

// The sample frames on each side of a region that its tones are judged with, where the
// audio holds them: the caller reads that much around the region when it can.
int64_t surround_length(int32_t rate, const DetectParams& params = DetectParams());

// Looks at frames [first, first + count); count must be at least shortest_region(). A
// tone found there is reported only where it stands too when the region is looked at
// with up to surround_length() of `audio` on each side.
Detection detect_tones(const Audio& audio, int64_t first, int64_t count,
                       const DetectParams& params = DetectParams());

// The strongest steady tone of the region; found is false when there is none.
Tone detect_tone(const Audio& audio, int64_t first, int64_t count);
