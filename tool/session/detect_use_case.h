#pragma once
// `detect` as one job for every front end, the command line and the page alike: the
// region from the selection on, looked at a chunk at a time, and the chosen tone fitted
// and checked. A front end turns its options into a request, calls this, and words the
// answer, so the two cannot come to differ in what they find or refuse.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/detect_stream.h"
#include "tool/analysis/sample_source.h"
#include "tool/session/chosen_tone.h"
#include "tool/session/placement.h"

struct FilterTable;

// What the detector was run on. Sample frames are the file's own.
struct DetectFacts {
    std::string path;
    int32_t rate = 0, channels = 0;
    int64_t frames = 0;  // the file's length
    bool clips = false;  // floating-point samples over full scale in what was read,
                         // clipped by the conversion to 16 bits
    // Harmonics that clipping made, left out of the tones' families.
    int32_t conversion_harmonics = 0;
    int64_t region_first = 0, region_end = 0;
    int32_t video_rate_num = 30, video_rate_den = 1;
};

struct DetectRequest {
    std::string name;     // the file as the user named it
    Placement placement;  // the region starts where a stretch from this selection would
    bool length_given = false;
    double length_seconds = 0;  // how much to look at; not given: to the file's end
    bool hz_given = false;
    double hz = 0;  // fit the settings to the tone here instead of the most audible
};

// The file looked at: its shape, and its frames from any frame on.
struct DetectFile {
    int32_t rate = 0, channels = 0;
    int64_t frames = 0;
    // A source whose frame 0 is the file's frame `origin`; asked for once, and it must
    // stay readable until the job returns.
    std::function<SampleSource(int64_t origin)> from;
    // Whether the conversion to 16 bits clipped any sample read so far (floating-point
    // samples over full scale); not given: it never does.
    std::function<bool()> clipped;
};

struct DetectAnswer {
    DetectFacts facts;
    Detection detection;        // sample frames the file's own
    bool chosen_given = false;  // false when no tone was found: nothing steady to fit
    ChosenTone chosen;
};

// Told the region's frames once before the first chunk (more = 0), then how many more
// of them have been looked at after each chunk.
using DetectProgress = std::function<void(int64_t more, int64_t region_frames)>;

// The region's chunks, planned before any is looked at, so that a front end with more
// than one thread may look at them side by side. Frames count from `origin`, the
// source's frame 0 (file.from(origin)).
struct DetectJob {
    int64_t origin = 0;
    int64_t first = 0, count = 0;  // the region, in the file's frames
    std::vector<ChunkSpan> chunks;
};

// The request checked and the region planned; throws as detect_use_case does before it
// reads any audio.
DetectJob detect_job(FilterTable& table, const DetectFile& file, const DetectRequest& request);

// The answer from the job's chunks' detections (detect_chunk, in the job's order), the
// tone chosen and fitted from `source` (file.from(job.origin)).
DetectAnswer detect_answer(FilterTable& table, const DetectFile& file, const DetectRequest& request,
                           const DetectJob& job, const SampleSource& source, const std::vector<Detection>& chunks);

// Throws UsageError for a tone named outside (0, rate / 2) or beyond the notch centres of
// every FFT order, ToolError for a region too short to tell a steady tone or a selection
// past the file's end, and whatever reading the file throws.
DetectAnswer detect_use_case(FilterTable& table, const DetectFile& file, const DetectRequest& request,
                             const DetectProgress& progress);
