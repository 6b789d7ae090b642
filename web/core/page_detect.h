#pragma once
// The tool's detect and render, over audio the page holds in memory instead of a file.
// Each follows its command step for step, so the page's answers are the tool's.
#include <cstdint>
#include <string>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/sample_source.h"
#include "tool/session/detect_use_case.h"

struct FilterTable;

struct PageDetectOptions {
    std::string name;          // the file's name, standing for the tool's IN
    int32_t start_frame = -1;  // --start-frame; negative: not given
    std::string start;         // --start, a time; empty: not given
    std::string fps = "30/1";  // --fps
    std::string length;        // --length; empty: to the end
    bool hz_given = false;     // --hz
    double hz = 0;
    bool clipped = false;  // narrowing the file's samples to 16 bits clipped some
};

// `tulm detect --json` in three steps, so that the region's chunks may be looked at by
// several workers side by side: the job planned over the held audio; each chunk looked
// at (by any worker, from the chunk's audio alone); the chunks' detections joined and
// the tone fitted, which gives what `tulm detect --json` prints for this audio. Each
// throws ToolError as the command does.
struct PageDetectJob {
    FilterTable* table = nullptr;
    const Audio* audio = nullptr;
    DetectRequest request;
    DetectFile file;
    SampleSource whole;  // the held audio, from which file.from reads
    DetectJob job;
};

// Plans the job into *job and returns, as JSON, its chunks' count and the region's
// frames each adds, for the page's progress.
std::string page_detect_begin(FilterTable& table, const Audio& audio, const PageDetectOptions& options,
                              PageDetectJob* job);

// Frames [first, end) of the held audio that chunk k reads, and where in them the
// region's part of the chunk starts and how long it is.
void page_chunk_frames(const PageDetectJob& job, size_t k, int64_t* first, int64_t* end, int64_t* at, int64_t* count);

// One chunk's detection, as bytes, of `audio` (the chunk's frames alone).
std::vector<uint8_t> page_detect_chunk(const Audio& audio, int64_t at, int64_t count);

// The JSON from the chunks' detections, put one after another in the job's order.
std::string page_detect_end(const PageDetectJob& job, const uint8_t* bytes, size_t size);

// `tulm render` with these slider values (kSliderCount of them, then the check box) from
// video frame `start_frame`: *processed receives the plug-in's samples for the stretch
// and the result is measure's JSON with where the stretch lies in the file.
std::string page_render(FilterTable& table, const Audio& audio, const int32_t* values, int32_t start_frame,
                        const std::string& fps, std::vector<int16_t>* processed);

// The dialog's texts (CP932 bytes, as numbers), ranges and defaults, and speech's band
// (Hz), as JSON.
std::string page_dialog(const FilterTable& table);
