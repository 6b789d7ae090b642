#pragma once
// Finds the strongest steady tone in a stretch of audio: the spectral peak whose level
// stays highest through the whole stretch (so a loud but passing sound loses to a
// quieter hum that never stops).
#include <cstdint>
#include <vector>

#include "cli/audio_file.h"

struct Harmonic {
    int32_t order = 0;          // 2 for the second harmonic, ...
    double hz = 0;
    double relative_db = 0;     // level against the tone itself
};

struct Tone {
    bool found = false;
    double hz = 0;              // sub-bin estimate from the whole stretch
    double level_dbfs = 0;      // a full-scale sine is 0 dBFS
    double above_floor_db = 0;  // peak bin against the median bin of the stretch
    double drift_hz = 0;        // spread of the frequency over the stretch's parts
    double level_range_db = 0;  // spread of the level over the stretch's parts
    double resolution_hz = 0;   // bin spacing of the analysis
    std::vector<Harmonic> harmonics;
};

// Looks at frames [first, first + count); needs at least 1024 of them.
Tone detect_tone(const Audio& audio, int64_t first, int64_t count);
