#pragma once
// Slider values and a selection that cut one detected tone: the FFT order and width
// whose notch covers the tone and its drift most narrowly, a stretch that starts a
// block ahead of the tone and reaches past its end, and the fade and window that do
// best when candidates are rendered through the plug-in and measured: the deepest cut
// of the tone, and, only where the tone sounds at the stretch's first sample and nothing
// else does (a fade silences the program too), the fade with the smallest step there.
#include <cstdint>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/sample_source.h"
#include "tool/analysis/settings.h"
#include "tool/analysis/spectrum.h"
#include "tool/session/plugin_session.h"

// Video frames the stretch keeps clear around the tone, beyond the block it starts ahead.
constexpr int32_t kGuardFrames = 2;

struct FitTrial {
    int32_t fade = 0, use_window = 0;
    double step_start = 0;  // largest step at the stretch's start, full scale = 1
    double cut_db = 0;      // tone_cut_over() the tone where this stretch cuts it fully
};

struct Fit {
    Settings settings;
    Placement placement;         // the selection's first frame and the video rate
    NotchGeometry notch;
    int64_t stretch_first = 0;   // the stretch's first sample frame (in the window)
    int64_t cut_end = 0;         // where the tail's cross-fade back to the source begins
    bool starts_too_early = false;  // the tone starts less than a block after a stretch can
    bool too_long = false;          // the tone outlasts the longest stretch
    bool fade_may_silence = false;  // the tone sounds at the stretch's first sample with
                                    // nothing else: fades were tried
    double input_step_start = 0;    // the input's own largest step at the stretch's start
    double switch_frames = 0;       // how fast the tone switches on and off (a ramp, in
                                    // frames), as the copy whose cut is read is switched
    std::vector<FitTrial> trials;   // every rendering tried, in order
    FitTrial chosen;             // rendered with `settings` as they stand
};

// `audio` may be a window of a longer file of `file_frames` frames (it starts at its
// first_frame); the tone's and the fit's sample frames count from the window's start,
// while the placement's video frames are the file's. Throws ToolError when no FFT
// order places the notch on the tone. `switch_frames`, when not negative, is how fast
// the tone switches (as Fit::switch_frames) where `audio` no longer shows it: a later
// pass's tone starts inside the previous pass's tail, whose cross-fade is no switching
// of the tone's own, and ends as the tone ends. The tone's waves its trials read through
// are taken from `waves` (tone_wave).
Fit fit_settings(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, int32_t video_rate_num,
                 int32_t video_rate_den, double switch_frames = -1, ToneWaves* waves = nullptr);

// The frames of a file that fit_settings reads for a tone found in a region from the
// start of video frame `region.start_frame` up to `region_end`: the stretch may start a
// block and a few video frames before the region, each trial reads a little more before
// it, and a stretch may reach its longest past the region's end.
struct FrameRange {
    int64_t first = 0, end = 0;
};
FrameRange fit_reach(FilterTable& table, int32_t rate, int64_t file_frames, const Placement& region,
                     int64_t region_end);

// The audio the fit reads around `tone` (its frames those of `source`, which starts at
// the file's frame `origin`), as Audio whose first_frame is the file's: the check's reach
// from the video frame the tone starts in to its end (or as far as kMostPasses of the
// longest stretch reach), the longest stretch past that, a second past it and a next
// selection after that (it holds the fit's reach and every pass the plan makes).
Audio fit_audio(FilterTable& table, const SampleSource& source, int64_t origin, int64_t file_frames,
                const Placement& region, const Tone& tone);
