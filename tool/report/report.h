#pragma once
// What the commands print: settings, the stretch, a detected tone and a measurement,
// as text for people and JSON for machines.
#include <cstdint>
#include <string>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/settings.h"
#include "tool/session/cut_check.h"
#include "tool/session/fit.h"
#include "tool/session/pass_plan.h"

// One line of slider values, spelt as the command-line options that give them.
// "1 sample", "2 samples".
std::string samples_count(int64_t n);

std::string settings_line(const Settings& settings);

// Where the notch lies and which frames the stretch covers.
std::string geometry_text(const NotchGeometry& g, int64_t first_frame, int32_t rate);

// Every steady tone found, most audible first, with its extent in seconds and video frames
// and its family of harmonics; or the plain "no steady tone" line.
std::string detection_text(const Detection& d, int32_t rate, int32_t video_rate_num, int32_t video_rate_den);

// Once, where the conversion to 16 bits clipped the input (`clips`): the note that says
// so, and that the `left_out` harmonics that clipping made are not the file's; empty
// where it did not clip.
std::string clipping_text(bool clips, int32_t left_out);

// The video frame that holds sample frame `sample`, as the host splits audio into frames
// at num/den frames per second: the last frame whose first sample frame is at or before
// it (plan_frame_of), so a stretch that starts at frame f is said to start in frame f.
int64_t video_frame_of(int64_t sample, int32_t rate, int32_t num, int32_t den);

// Whether a notch band from `low_hz` to `high_hz` overlaps speech's band.
bool reaches_speech_band(double low_hz, double high_hz);

// A notch band in words: its width in Hz and octaves, the notes it spans, and whether
// it reaches into speech's band.
std::string band_text(double low_hz, double high_hz);

// Why a band that band_too_wide() holds is too wide, in words: what measure warns of the
// band it measured and detect of the band it suggests.
std::string wide_band_text(double low_hz, double high_hz);

// `word` as a shell reads it back: as it is when it holds only characters no shell
// treats specially, else in single quotes.
std::string shell_word(const std::string& word);

// A file named on a suggested command line: as shell_word, and after ./ when it starts
// with a dash (other than - itself), which the command would take for an option.
std::string path_word(const std::string& path);

// The name suggested for IN processed: NAME-notch.EXT beside it, so it never names IN;
// for a pass's result NAME-notch.EXT, NAME-notch-2.EXT (then -3, ...), so each pass
// keeps its own file. The name part is shortened to fit NAME_MAX bytes.
std::string notched_name(const std::string& in);

// The `tulm render` command line that applies the fit to `in`.
std::string render_line(const Fit& fit, const std::string& in);

// What the user must know before using the fit, one sentence each: a tone that takes
// more than one pass (and where it still sounds after the passes planned), or one
// that goes on where no second selection fits; without a check, a tone too long for
// one stretch (and where the second selection starts); one starting too early; and a
// cut over the whole extent (the plan's, all passes together, when given) under kWeakCutDb.
std::vector<std::string> fit_warnings(const Fit& fit, const Tone& tone, int32_t rate, const CutCheck* check = nullptr,
                                      const PassPlan* plan = nullptr);

// What a pass did to the program outside its notch band, in one clause.
std::string program_text(const ProgramChange& change);

// The passes of a plan, one line each with its `tulm render` line (each on the one
// before's output, named by notched_name), and their cut together.
std::string plan_text(const PassPlan& plan, int32_t rate, const std::string& in);

// The check of the cut in one line: where the result was looked at and the cut over the
// tone's whole extent.
std::string check_text(const CutCheck& check, int32_t rate);

// The settings that fit `tone`: a `tulm render` line for `in`, the host's slider values
// and selection, what the trials measured, the check of the cut (may be null) and
// warnings (a tone too long for one stretch, or starting too early; a hum's harmonics
// that one notch leaves); with the plan (may be null), what the pass does to the program
// and, for a tone that takes more than one pass, every pass.
std::string fit_text(const Fit& fit, const Tone& tone, int32_t rate, const std::string& in,
                     const CutCheck* check = nullptr, const PassPlan* plan = nullptr);

// Why a measurement has no tone: none found, or none near the frequency named.
std::string no_tone_text(const Measurement& m);

std::string measurement_text(const Measurement& m, int32_t rate);
std::string measurement_json(const Measurement& m, const Settings& settings, int32_t rate);
