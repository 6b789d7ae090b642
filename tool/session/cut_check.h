#pragma once
// The tool's check of its own cut: the fitted settings rendered through the plug-in
// once more, and the tone looked for in the result over the stretch and
// kCheckPastSeconds past its end (and on to the tone's detected end, when that is
// later). Where the tone still sounds at its own level there, it went on past what the
// stretch cut: its detected extent was short, or it outlasts one stretch. The check
// says where, fits the next selection to what remains, and reads the cut over the
// tone's whole extent (as detected, extended to where it was still found), so that a
// part left outside the stretch counts against the cut for as long as it lasts. The cut
// is counted as the fit counts it (whole_cut.h): from the tone alone, switched as the
// source's was, so that its switching, spread past the notch and a block either way of
// each edge, counts wherever the rendering holds it, which a probe at its frequency
// does not see.
#include <cstdint>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"
#include "tool/session/fit.h"

// How far past the stretch's end the result is looked at.
constexpr double kCheckPastSeconds = 1.0;

// A cut over the whole extent under this is no cut a listener would call clean, and
// the tool says so plainly.
constexpr double kWeakCutDb = 20;

// Gaps shorter than this (a louder sound over the tone's bin, a dip) do not end where
// the tone still sounds; a stretch shorter than kLeftShortest, or whose median level lies
// further than kLeftHoldDb from the tone's own, is other sound passing through its bin.
constexpr double kLeftBridgeSeconds = 0.25;
constexpr double kLeftShortest = 0.2;
constexpr double kLeftHoldDb = 3;

// Sample frames count as the fit's do: from the start of the audio handed to the check.
struct CutCheck {
    int64_t look_first = 0, look_end = 0;  // where the result was looked at: [first, end)
    bool goes_on = false;                  // the tone still sounds in the result
    int64_t left_first = 0, left_end = 0;  // where it still sounds: [first, end)
    bool left_to_look_end = false;         // it still sounds where the looking ended
    int64_t extent_first = 0, extent_end = 0;  // the whole extent the cut is read over
    double cut_db = 0;                         // the tone's power over that extent over all that
                                               // is left of it, every frequency and wherever
                                               // the rendering spread it counted
    bool weak = false;                     // cut_db under kWeakCutDb
    bool has_next = false;                 // `next` holds a selection for what remains
    Tone rest;                             // the tone from left_first on, as `next` was fitted to it
    Fit next;                              // fitted to `rest` on this pass's result
};

// `audio` is the window the fit was made on (a file of `file_frames` frames), `tone` the
// tone it was fitted to and `fit` in the window's frames, as fit_settings returns it.
// The result is looked at no further than the window reaches. Throws ToolError when the
// window does not hold what the plug-in reads.
CutCheck check_cut(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& fit);

// The same where `after` is already `audio` with the fit applied (pass_output); without
// `read_cut`, only where the tone goes on and the next selection (cut_db stays 0): a
// later pass's cut is read with every pass's (chained_cut_db). The tone's waves, here and
// in the next selection's fit, are taken from `waves` (tone_wave).
CutCheck check_pass(FilterTable& table, const Audio& audio, const Audio& after, int64_t file_frames, const Tone& tone,
                    const Fit& fit, bool read_cut = true, ToneWaves* waves = nullptr);

// Whether `audio`, a window of a file of `file_frames` frames, holds every frame the
// plug-in reads for the fit.
bool window_holds(const Audio& audio, int64_t file_frames, const Fit& fit);

// `audio` with the fit applied, as the host's output holds it: the window the next pass
// reads. Throws ToolError when the window does not hold what the plug-in reads.
Audio pass_output(FilterTable& table, const Audio& audio, int64_t file_frames, const Fit& fit);

// The tone's cut over [extent_first, extent_end), read as check_cut reads it, through
// every pass in turn, each applied to the one before's result. `audio` is the source
// the first pass was fitted on; the window must hold what every pass reads.
double chained_cut_db(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone,
                      const std::vector<Fit>& passes, int64_t extent_first, int64_t extent_end);

// The window's frames as the file's: `offset` is the window's first frame in the file.
CutCheck check_in_file(CutCheck c, int64_t offset);

// The frames of a file that fit_settings and then check_cut read for a tone found in a
// region (as fit_reach): past the longest stretch, the check looks on for
// kCheckPastSeconds, and the next selection may start as late as that.
FrameRange check_reach(FilterTable& table, int32_t rate, int64_t file_frames, const Placement& region,
                       int64_t region_end);
