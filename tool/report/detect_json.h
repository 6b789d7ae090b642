#pragma once
// What `tulm detect` finds, as JSON for machines: the file and region, every steady
// tone, and for the chosen tone the settings that cut it and the cut they were measured
// to give. The same facts as the text output, one schema (docs/detect-json.md). A pure
// function of the results, with no file or terminal, so that every program linking it
// writes the same bytes for the same results.
#include <cstdint>
#include <string>

#include "tool/analysis/detect.h"
#include "tool/session/chosen_tone.h"

// What the detector was run on. Sample frames are the file's own.
struct DetectFacts {
    std::string path;
    int32_t rate = 0, channels = 0;
    int64_t frames = 0;                 // the file's length
    bool clips = false;                 // floating-point samples over full scale in what was read,
                                        // clipped by the conversion to 16 bits
    int64_t region_first = 0, region_end = 0;
    int32_t video_rate_num = 30, video_rate_den = 1;
};

// `chosen` is null when no tone was chosen (none found, none named).
std::string detect_json(const DetectFacts& facts, const Detection& detection, const ChosenTone* chosen);
