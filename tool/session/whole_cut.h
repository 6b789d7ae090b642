#pragma once
// The cut of a tone over its whole extent, counted one way wherever the tool reads it:
// the fit, choosing the notch's width by it, and the self-check, reporting it. A copy of
// the tone alone, switched on and off as fast as the source's was, is rendered through
// the plug-in with the settings, and all that the rendering left of it counts, at every
// frequency and wherever it lies: what the notch leaves of a tone it covers is mostly
// its switching, spread past the notch, and spread in time by the plug-in's blocks, a
// block either way of each edge, before the tone's onset and past its end. The plug-in's
// notch is linear, so what it leaves of the copy is what it left of the tone, whatever
// sounded with it.
#include <cstdint>
#include <limits>
#include <vector>

#include "host/plugin_loader.h"
#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/settings.h"
#include "tool/session/placement.h"

// The tone as the copy sounds it; frames count from the start of the window handed to
// whole_cut_db.
struct ToneCopy {
    double hz = 0;
    int64_t first = 0, end = 0;  // its extent, [first, end)
    double switch_frames = 0;    // raised-cosine ramp at each edge, as switching_frames
    bool from_start = false;     // it sounds from the region's start (to its end): the
    bool to_end = false;         // copy's switch there is not the tone's, and what it
                                 // spreads past that edge is not counted
};

// One pass of the plug-in over the file: its sliders and where its stretch starts.
struct PassSettings {
    Settings settings;
    Placement placement;
};

// The copy's values (one a frame, the same in every channel) over frames [from, from +
// values.size()) of a window, kept by whoever renders one copy again and again (the fit,
// width after width): they are made once. Empty until a copy is made.
struct CopyValues {
    ToneCopy copy;
    int32_t rate = 0;
    int64_t from = 0;
    std::vector<int16_t> values;
};

// `tone` over [first, end), switched over `switch_frames` where it is switched.
ToneCopy copy_of(const Tone& tone, int64_t first, int64_t end, double switch_frames);

// The copy's power against all that the plug-in left of it, in dB, the copy rendered
// through `passes` in turn, each on the one before's result, as the host's output holds
// it between passes. Counted over every frame rendered: from the first stretch's start
// (or the copy's, when earlier) to where the plug-in stops reading (or the copy ends,
// when later, as far as `window` reaches). Past the audio rendered the plug-in changed
// nothing, and the copy counts there uncut. Frames at or past `counted_end` count
// neither way. `window` is a window of a file of `file_frames` frames (it starts at its
// first_frame) that holds every frame the plug-in reads for each pass; throws ToolError
// when it does not.
double whole_cut_db(FilterTable& table, const Audio& window, int64_t file_frames,
                    const std::vector<PassSettings>& passes, const ToneCopy& copy,
                    int64_t counted_end = std::numeric_limits<int64_t>::max());
// The same, the copy's values kept in `kept` and taken from it where it holds them.
double whole_cut_db(FilterTable& table, const Audio& window, int64_t file_frames,
                    const std::vector<PassSettings>& passes, const ToneCopy& copy, CopyValues* kept,
                    int64_t counted_end = std::numeric_limits<int64_t>::max());
