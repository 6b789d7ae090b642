#pragma once
// The detector's stages, a file each, as detect.cpp runs them: peaks and runs
// (detect_frames), the looks that tell whether a run holds still (detect_looks), lines
// (detect_lines), a run's reading as a tone and its extent (detect_extent), the rules
// that part a tone from program sound (detect_rules), pieces (detect_pieces), the
// fundamentals under odd series (detect_odd_series) and families (detect_families).
// Each hands the next a typed result (detect_types.h) and keeps every candidate it
// drops with its reason.
#include <cstdint>
#include <vector>

#include "tool/analysis/detect_types.h"

namespace detection {

// Peaks and runs (detect_frames.cpp).

// How far over its floor a frame's peak must stand (dB): where a bin of noise does so
// with probability peak_false_alarm.
double peak_db(const DetectParams& p);

// The amplitude (full scale = 1) of a level in dBFS.
double amplitude_of(double dbfs);

// Whether bin `b` of `v` (powers, or their levels) stands over the two bins on each
// side, the Hann main lobe of a sine; false within two bins of either end.
bool tops_lobe(const std::vector<double>& v, int32_t b);

// The power of the main lobe around bin `b`: a sine's power spreads over it, so its sum
// is the sine's wherever it falls between bins.
double lobe_power(const std::vector<double>& power, int32_t b);

// The sample frame of the audio at the centre of frame `frame`'s block.
int64_t frame_centre(const Frames& f, int32_t frame);

// A run at `hz` that a verdict of `stage` dropped before it became a tone, spanning its
// frames' block centres.
Dropped dropped_run(DropStage stage, const Frames& f, const Run& r, double hz, const Verdict& v);

// Each frame's peaks over frames [first, first + count) of `audio`, frames a quarter
// block apart.
Frames frame_peaks_over(const DetectParams& p, const Audio& audio, int64_t first, int64_t count);

// The most prominent peak within `reach` bins of `bin` that is loud enough to hear;
// with `any_level`, also those under the hiss (a sound's track can fade under it).
const Peak* peak_near(const DetectParams& p, const std::vector<Peak>& peaks, int32_t bin, int32_t reach,
                      bool any_level = false);

// Runs of frames in which bin `bin` (give or take one) holds a peak, missing no more
// than two frames in a row and at most a tenth of the frames overall, and at least
// `shortest` frames long; a sound switched on or off over quieter sound at the same bin
// makes a run of its own.
std::vector<Run> runs_at(const DetectParams& p, const Frames& f, int32_t bin, int32_t shortest);

// A run that holds still at no look may have taken in, beside a tone, quieter sound at
// its bin: a note a bin away, or one the tone's step over it was not tone_db over
// everything before. The longest stretch of it between two steps of its readings (by
// tone_db in level, or half a bin in frequency, between the medians of a few readings
// on each side) or its ends, beside which the readings (all but the loudest few,
// kBesideQuantile) lie more than level_range_db under its own level; an empty run
// (from == to) where there is none.
Run part_of(const DetectParams& p, const Frames& f, const Run& r, int32_t shortest);

// The runs at every bin worth following, bin by bin.
std::vector<Run> runs_over(const Context& c);

// Looks (detect_looks.cpp).

// The own level of a run's levels (own_quantile), and whether a level is covered.
double own_level(const DetectParams& p, const std::vector<double>& levels);
bool covered(const DetectParams& p, double level, double own);

// The share of a stretch's phasors' sizes their sum must reach for the phase look to
// read it.
double in_step_share(const DetectParams& p);

// The run's peaks frame by frame, from the analysis's own peaks.
Readings readings_of(const DetectParams& p, const Frames& f, const Run& r);

// The first look: whether the readings hold frequency and level, within a share of
// `bin_hz`, the bin of the block that read them.
Steadiness steadiness(const DetectParams& p, const Frames& f, const Run& r, const Readings& x, double bin_hz);

// Which of the runs hold still at one of the looks; those under tone_db are no
// candidates, and those that stand clear but hold still at none are `unsteady`.
Looks look_at_runs(const Context& c, const std::vector<Run>& runs, std::vector<Dropped>* dropped);

// The program's partials in the critical band around `hz` in frame `m`, the lobe there
// (the tone's own peak) left out, as one level (dBFS; -inf for none).
double band_partials_dbfs(const Frames& f, int32_t m, double hz);

// A run read as two steady tones beating (detect_pair.cpp), where it stands clear of
// the program: their middle, how far apart they lie, how deep they beat, and the share
// of the clear phasors' energy they leave unexplained. True when they explain the run.
struct PairReading {
    double hz = 0, apart_hz = 0, beat_db = 0, unexplained = 1;
    PairFit fit;
};
bool holds_as_pair(const Context& c, const Run& r, PairReading* out);

// Moves `t`'s start and end out to where the pair `fit` describes (fitted over run `r`)
// starts and stops, across the nulls that broke its run (detect_pair.cpp).
void reach_pair_ends(const Context& c, const Run& r, const PairFit& fit, Tone* t);

// Moves `t`'s start and end in, past a note beside it whose phase turns against the
// tone's, to where the tone, fitted as one steady phasor over the middle of run `r`,
// takes over from that note or gives way to it (detect_pair.cpp).
void in_step_ends(const Context& c, const Run& r, Tone* t);

// Where run `r`'s level moves as a held note's, whether it is a piece of a pair that
// sounds on past a null beside it; if so, `t` beats and reaches the pair's ends
// (detect_pair.cpp).
bool swells_past_null(const Context& c, const Run& r, Tone* t);

// Lines (detect_lines.cpp): the steady runs, twins dropped and the fundamentals found
// under harmonics added.
std::vector<Run> lines_of(const Context& c, std::vector<Run> steady, std::vector<Dropped>* dropped);

// A run as a tone, and its extent (detect_extent.cpp).

// How deep the levels (dB, one a frame `hop_seconds` apart) dip between two peaks no
// more than `peaks_apart_db` apart, counted from the lower peak: a beat's depth, the
// deepest such dip; 0 where none lies between two higher levels, or where the level
// moves faster than two tones widest_beat_hz apart can make it.
double beat_depth(const std::vector<double>& levels, int32_t block_frames, double hop_seconds, double widest_beat_hz,
                  double peaks_apart_db);

// How far `levels` move along a robust straight line (the median of the slopes between
// pairs of them) from the first to the last: a note's decay or swell, where program
// sound over a tone only lifts some of them.
double level_slope_change(const std::vector<double>& levels);

// Whether a level dipping `depth_db` between two swells (beat_depth) beats: deeper than
// a steady sound's level may spread, so that the level rules would take it for a note.
bool beats(const DetectParams& p, double depth_db);

// How deep the level at `hz` beats over frames [from, to) and as long again on each
// side: a piece of a pair that the beat's nulls broke beats with its neighbours.
double beat_around(const Context& c, double hz, int32_t from, int32_t to);
// The frames [*lo, *hi) whose levels beat_around reads for frames [from, to).
void beat_span(const Context& c, int32_t from, int32_t to, int32_t* lo, int32_t* hi);
// beat_around's depth from levels already read over its frames (beat_span's), the first
// of them frame `lo`'s.
double beat_in(const Context& c, const std::vector<double>& levels, int32_t lo, int32_t from, int32_t to);

// The levels (dB) a probe reads over frames [from, to), one a frame, as a tone's level
// is read (detect_probe.cpp).
std::vector<double> probe_levels(const Context& c, const Probe& probe, int32_t from, int32_t to);

// The run as a tone: its frequency, level and their spread, and where it starts and
// stops within the region.
Tone tone_of(const Context& c, const Run& r);

// The tones that last shortest_seconds or more; the others are dropped.
std::vector<Confirmed> long_enough(const Context& c, std::vector<Confirmed> tones, std::vector<Dropped>* dropped);

// Rules (detect_rules.cpp).

// Each line as a tone, through the rules; `unsteady` holds the runs that held still at
// no look.
std::vector<Confirmed> confirmed_tones(const Context& c, const std::vector<Run>& lines,
                                       const std::vector<Run>& unsteady, std::vector<Dropped>* dropped);

// The share of the shortest run's frames before (or after) `t` that hold its frequency;
// -1 when too few frames lie there to tell. `level_dbfs`, where given, takes the median
// level of the peaks found there.
double track_share(const Context& c, const Tone& t, bool before, double* level_dbfs = nullptr);

// Whether `t`'s frequency holds a peak through the shortest run's frames before (or after) it.
bool track_goes_on(const Context& c, const Tone& t, bool before);

// Whether `a` reaches full scale within frames [first, end): it clipped there, on the
// way to 16 bits or before, and the tone that reached it has harmonics (and, past half
// the rate, their aliases) that the clipping made.
bool clips_within(const Audio& a, int64_t first, int64_t end);

// Pieces (detect_pieces.cpp).

// Makes `a` one tone with `b`, a piece of the same tone: the extent of both, the
// readings of the more prominent and the larger of their spreads.
void join_tone(Tone* a, const Tone& b);

// Joins the pieces of one tone that louder sound broke apart (and their runs); each
// piece joined to another is noted in `dropped`.
void join_pieces(const Context& c, std::vector<Confirmed>* tones, std::vector<Dropped>* dropped);

// The fundamentals that made no run under two tones on its odd series, added as tones
// (detect_odd_series.cpp).
std::vector<Confirmed> with_odd_fundamentals(const Context& c, std::vector<Confirmed> tones);

// Families (detect_families.cpp): from the lowest tone up, the tones at its multiples
// join its family; the tones left are the region's.
std::vector<Tone> families(const Context& c, const std::vector<Confirmed>& tones, std::vector<Dropped>* dropped);

} // namespace detection
