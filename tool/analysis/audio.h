#pragma once
// The samples every analysis of the tool works on.
#include <cstdint>
#include <vector>

// A 16-bit sample's full scale: a sample over it is a full-scale sine's amplitude, the
// unit of every amplitude and level (dBFS) the tool reads.
constexpr double kFullScale = 32768.0;

// Interleaved 16-bit audio, the plug-in's format: channel k of frame t at
// t * channels + k. It may be a window of a longer file starting at `first_frame`.
struct Audio {
    int32_t rate = 0;
    int32_t channels = 0;
    int64_t first_frame = 0;
    std::vector<int16_t> samples;

    int64_t frames() const { return channels > 0 ? int64_t(samples.size()) / channels : 0; }
};
