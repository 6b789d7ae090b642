#pragma once
// Audio files through libsndfile. Everything in the tool works on interleaved signed
// 16-bit samples, the plug-in's own format, so reading converts to that.
#include <cstdint>
#include <string>
#include <vector>

struct Audio {
    int32_t rate = 0;
    int32_t channels = 0;
    std::vector<int16_t> samples; // interleaved: channel k of frame t at t * channels + k

    int64_t frames() const { return channels > 0 ? int64_t(samples.size()) / channels : 0; }
};

// Reads a whole file of any format libsndfile reads. Samples are scaled so that 16-bit
// files come back exactly; floating-point files are clipped to full scale. Throws ToolError for a missing, unreadable or unknown file.
Audio read_audio(const std::string& path);

// The libsndfile format (16-bit PCM) for a file name, chosen by its extension;
// throws ToolError when the extension names no format that holds 16-bit PCM.
int output_format_for(const std::string& path);

// Writes `audio` as 16-bit PCM in the format output_format_for(format_path) to `path`
// (normally a temporary name, hence the separate format path). Throws ToolError.
void write_audio(const std::string& path, const std::string& format_path, const Audio& audio);
