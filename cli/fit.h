#pragma once
// Slider values and a selection that cut one detected tone: the FFT order and width
// whose notch covers the tone and its drift most narrowly, a stretch that starts a
// block ahead of the tone and reaches past its end, and the fade and window that do
// best when candidates are rendered through the plug-in and measured: the smallest
// step at the stretch's start, the deepest cut of the tone.
#include <cstdint>
#include <vector>

#include "cli/audio_file.h"
#include "cli/detect.h"
#include "cli/plugin_session.h"
#include "cli/settings.h"

struct FitTrial {
    int32_t fade = 0, use_window = 0;
    double step_start = 0;  // largest step at the stretch's start, full scale = 1
    double cut_db = 0;      // the tone's amplitude before over after, over its covered part
};

struct Fit {
    Settings settings;
    Placement placement;         // the selection's first frame and the video rate
    NotchGeometry notch;
    int64_t stretch_first = 0;   // the stretch's first sample frame in the file
    int64_t cut_end = 0;         // where the tail's cross-fade back to the source begins
    bool starts_too_early = false;  // the tone starts less than a block after a stretch can
    bool too_long = false;          // the tone outlasts the longest stretch
    double input_step_start = 0;    // the input's own largest step at the stretch's start
    std::vector<FitTrial> trials;   // every rendering tried, in order
    FitTrial chosen;
};

// Throws ToolError when no FFT order places the notch on the tone.
Fit fit_settings(FilterTable& table, const Audio& audio, const Tone& tone, int32_t video_rate_num,
                 int32_t video_rate_den);
