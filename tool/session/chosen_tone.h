#pragma once
// The tone a user gets settings for, fitted and checked: one function that the tool and
// the page both call, so that they suggest the same settings from the same detection.
#include <cstdint>

#include "tool/analysis/detect.h"
#include "tool/analysis/sample_source.h"
#include "tool/session/cut_check.h"
#include "tool/session/fit.h"
#include "tool/session/pass_plan.h"

// The tone the settings were fitted to, with the fit; `detected` is false when the user
// named a frequency that no detected tone lies near. Sample frames are the file's own.
struct ChosenTone {
    Tone tone;
    bool detected = true;
    Fit fit;
    bool checked = false;  // `check` and `plan` hold the check of the fit's cut and the passes
    CutCheck check;        // the first pass's check: the plan's first
    PassPlan plan;
};

// A tone with its sample frames moved by `offset`: the detector and the fit count from
// the start of the audio they were handed, the user is told the file's own.
Tone in_file(Tone t, int64_t offset);
// Every tone and dropped candidate of `d` so moved.
Detection in_file(Detection d, int64_t offset);

// Fits the settings to the tone of `d` at `hz` (when `hz_given`, the tone as named where
// none was detected near it), else to the most audible, and checks the cut where a tone
// was detected. `d`'s frames count from `source`'s first, which is the file's frame
// `origin`; [at, at + count) is the region looked at, in the same frames. `d` holds at
// least one tone unless `hz_given`.
ChosenTone choose_and_fit(FilterTable& table, const SampleSource& source, int64_t origin, int64_t file_frames,
                          const Placement& placement, const Detection& d, bool hz_given, double hz, int64_t at,
                          int64_t count);
