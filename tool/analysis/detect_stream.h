#pragma once
// Tone detection over a region of any length with a bounded memory: the region is read
// from a SampleSource a chunk at a time and each chunk is looked at by detect_tones,
// with the audio around it as its surround; the pieces of one tone that neighbouring
// chunks report are joined. A region that fits in one chunk is looked at whole, and
// gives detect_tones' result exactly.
#include <cstdint>
#include <functional>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/sample_source.h"

// How a long region is cut: chunks of `chunk` frames, each overlapping the next by
// `overlap` so that every start and end of a tone lies well inside one of them.
struct ChunkPlan {
    int64_t chunk = 0;
    int64_t overlap = 0;
};

// About a minute of audio a chunk (less with many channels, so that a chunk's samples
// stay near 12 MB), overlapping by 6 s.
ChunkPlan chunk_plan(int32_t rate, int32_t channels);

// One chunk of a region: frames [from, to) of the source are read, and the
// `count` frames from `from + at` on are judged (the rest is their surround).
struct ChunkSpan {
    int64_t from = 0, to = 0;
    int64_t at = 0, count = 0;
};

// The chunks that look at frames [first, first + count) of a source of `frames` frames,
// in order; one, read from the source's frame 0, when the region fits in one.
std::vector<ChunkSpan> chunk_spans(int64_t frames, int32_t rate, int64_t first, int64_t count, const ChunkPlan& plan,
                                   const DetectParams& params = DetectParams());

// How many more frames of the region the chunks up to `k` cover than those before it.
int64_t chunk_adds(const std::vector<ChunkSpan>& spans, size_t k, int64_t first);

// Looks at one chunk; `audio` holds its frames [from, to). Tones' frames count from the
// chunk's `from`. Each chunk depends on nothing but its audio, so chunks may be looked
// at in any order, or side by side.
Detection detect_chunk(const Audio& audio, const ChunkSpan& span, const DetectParams& params = DetectParams());

// The chunks' detections, in the spans' order, as one over the region [first, end):
// a tone's pieces joined, frames counted from the source's frame 0.
Detection join_chunks(const std::vector<ChunkSpan>& spans, const std::vector<Detection>& chunks, int64_t first,
                      int64_t end, int32_t rate);

// Looks at frames [first, first + count) of `source` (count at least shortest_region());
// tones' frames count from the source's frame 0, from which a single chunk's phases are
// measured too, as detect_tones measures them from its audio's first frame. `done`, when
// given, is told how many more frames of the region have been looked at, chunk by chunk.
Detection detect_tones_in(const SampleSource& source, int64_t first, int64_t count, const ChunkPlan& plan,
                          const DetectParams& params, const std::function<void(int64_t frames)>& done = nullptr);

// The same with the tuned values.
Detection detect_tones_in(const SampleSource& source, int64_t first, int64_t count, const ChunkPlan& plan,
                          const std::function<void(int64_t frames)>& done = nullptr);
