#pragma once
// The passes that cut a tone longer than one stretch. The host's filter processes one
// stretch from the selection's first frame, so a tone that outlasts the longest stretch
// is cut in passes, each applied to the result of the one before: the user writes the
// processed audio out and loads it back in its place between them. Each pass after the
// first is fitted, on the result of the one before, to what the check finds still
// sounding there, until the tone no longer sounds or kMostPasses are planned; then a
// copy of the tone alone is rendered through every pass in turn and its cut read over
// its whole extent, and what each pass did to the program over its stretch is read too.
#include <cstdint>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/session/cut_check.h"
#include "tool/session/fit.h"

// A tone longer than this many of the longest stretches is planned no further: past
// them the plan says where it still sounds.
constexpr int32_t kMostPasses = 10;

// Sample frames count as the fit's do: from the start of the audio handed to the plan.
struct PassPlan {
    std::vector<Fit> passes;                   // in order; the first is the fit handed in
    std::vector<CutCheck> checks;              // each pass's check, on the result of the passes before
    std::vector<ProgramChange> program;        // what each pass did to the program over its stretch
    bool goes_on = false;                      // the tone still sounds after the last pass
    int64_t extent_first = 0, extent_end = 0;  // the tone's whole extent, as far as any check found it
    double cut_db = 0;                         // over that extent, through every pass in turn
    bool weak = false;                         // cut_db under kWeakCutDb
};

// `audio`, `tone` and `first` as check_cut takes them. Throws ToolError when the window
// does not hold what the first pass reads. The checks' waves are taken from `waves` (tone_wave).
PassPlan plan_passes(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& first,
                     ToneWaves* waves = nullptr);

// The window's frames as the file's: `offset` is the window's first frame in the file.
PassPlan plan_in_file(PassPlan p, int64_t offset);
