#pragma once
// Finds the steady tones in a stretch of audio: a hum, a whine or a beep that holds its
// frequency and level while speech and music change around it. A short-time spectrum
// covers the whole stretch; a peak counts only where it stands clear of a floor taken
// from the quieter neighbouring bins of its own frame, and a tone is a peak that does so
// in nearly every frame of a run, with a drift well under a bin and a level that varies
// by a few dB at most. Speech harmonics and music partials come, go and glide, so they
// never make such a run.
//
// The stages, each from one typed result to the next: peaks (per frame) -> runs (a
// bin's peaks over consecutive frames) -> looks (which runs hold still) -> lines (twins
// dropped, fundamentals added) -> confirmed tones -> pieces joined -> families ->
// tones that stand in the surround. A candidate a stage drops is kept with its reason.
//
// Words, one meaning each:
//   stands clear  a peak over its frame's floor by peak_db(); a run whose median does so
//                 by tone_db
//   holds still   drift and level spread within their limits (a look's verdict)
//   look          one reading of a run's steadiness: the first (analysis block), the
//                 second (a longer block) and the phase look
//   own level     a low quantile (own_quantile) of a run's levels: the tone alone
//   covered       a frame more than covered_db over the own level: other sound shares
//                 the bin, so its readings are passed over
//   program       the speech or music a tone is mixed into
//   piece         one of the runs into which louder sound broke a tone
//   reach         how many bins from a given bin a peak is looked for (peak_near)
//   surround      the audio on each side of the region that its tones are judged with
#include <cstdint>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect_params.h"

// One harmonic of a tone taken for a family's fundamental (a hum).
struct Harmonic {
    int32_t order = 0;          // 2 for the second harmonic, ...
    double hz = 0;
    double level_dbfs = 0;
    double relative_db = 0;     // level against the fundamental
};

struct Tone {
    bool found = false;
    double hz = 0;              // median of the frames' interpolated peak frequencies
    double level_dbfs = 0;      // a full-scale sine is 0 dBFS
    double above_floor_db = 0;  // prominence: median over its frames of peak over floor
    double drift_hz = 0;        // spread of the frames' frequencies (10th to 90th percentile)
    double level_range_db = 0;  // spread of its own level, likewise, in the frames where
                                // no louder sound shares its bin
    double level_trend_db = 0;  // how far the level rises or falls over the tone's extent
    double level_slope_db = 0;  // how far it moves along a robust line through the frames
    double beat_db = 0;         // how deep its level dips between two peaks at one level
                                // (two tones beating); 0 when it does not come back
    double resolution_hz = 0;   // bin spacing of the analysis
    int64_t first = 0;          // where it starts and stops, in sample frames of the file:
    int64_t end = 0;            // [first, end), each where its amplitude crosses half its own
    bool from_region_start = false;  // already sounding where the analysed region starts
    bool to_region_end = false;      // still sounding where it ends
    std::vector<Harmonic> harmonics;  // steady tones at whole multiples, over the same time
    double over_band_db = 0;    // its level over the program's in its critical band, over its
                                // extent (the program: the band's power without the tone's)
    double audibility_db = 0;   // over what a listener just hears (the threshold in quiet and
                                // the program's masking), + 10 log10(seconds): the list's order
};

// Why a candidate is not reported as a tone of its own, in the order the stages ask.
enum class DropReason {
    kTooQuiet,        // its run's median prominence is under tone_db
    kNotSteady,       // stood clear but held still at none of the three looks (its drift
                      // at the first look; kLevelScatters when its level spread instead)
    kTwin,            // another run, more prominent, reads the same line
    kNoFamily,        // a fundamental found under a harmonic, with no harmonic standing
    kLevelScatters,   // its level at its own frequency spreads too far
    kHeldNote,        // its level swells or decays as a held note's does
    kTrackGoesOn,     // a steady stretch of a partial that sounds on both sides of it
    kNotePartial,     // another partial on its harmonic series starts with it, and their
                      // levels move together: a note's
    kUnsteadyWithin,  // its extent takes in a run at its frequency that glides
    kPiece,           // a piece of a tone, joined to it
    kHarmonic,        // a harmonic, reported in a lower tone's family
    kConversionClip,  // a harmonic that a floating-point file's conversion to 16 bits made
                      // by clipping its tone: not the file's, left out of the list
    kNotInSurround,   // no tone there when the region is looked at with the audio around it
    kTooShort,        // its extent, pieces joined, is under shortest_seconds
};

// The stage that drops a candidate, in the order the stages run. One reason can be
// given at two stages (a level that scatters at the looks, or as a tone at the rules).
enum class DropStage { kRuns, kLooks, kLines, kRules, kPieces, kExtent, kFamilies, kSurround };

// A candidate dropped, with the stage that dropped it and the figure that decided it
// against its limit.
struct Dropped {
    DropStage stage = DropStage::kRuns;
    DropReason reason = DropReason::kTooQuiet;
    double hz = 0;
    int64_t first = 0, end = 0;  // sample frames of the audio, as a Tone's
    double figure = 0, limit = 0;
    double other_hz = 0;         // the other line the rule looked at (twin, partner, ...)
};

struct Detection {
    double resolution_hz = 0;
    std::vector<Tone> tones;    // every confirmed tone, most audible first (rank_by_audibility);
                                // empty: no steady tone
    std::vector<Dropped> dropped;  // every candidate that is not a tone, in stage order
};

// The notches that would remove `t` and its family: one notch removes one harmonic.
inline int32_t notches_for(const Tone& t) { return 1 + int32_t(t.harmonics.size()); }

// The analysis block for a sampling rate: bins no wider than 6 Hz, so a 50 Hz hum's
// harmonics lie apart and a tone's drift is judged against a fine grid.
int32_t analysis_length(int32_t rate);

// The fewest frames a region must hold to be analysed.
int64_t shortest_region(int32_t rate, const DetectParams& params = DetectParams());

// The sample frames on each side of a region that its tones are judged with, where the
// audio holds them: the caller reads that much around the region when it can.
int64_t surround_length(int32_t rate, const DetectParams& params = DetectParams());

// Looks at frames [first, first + count); count must be at least shortest_region(). A
// tone found there is reported only where it stands too when the region is looked at
// with up to surround_length() of `audio` on each side.
Detection detect_tones(const Audio& audio, int64_t first, int64_t count,
                       const DetectParams& params = DetectParams());

// The most audible steady tone of the region; found is false when there is none.
Tone detect_tone(const Audio& audio, int64_t first, int64_t count);

// The width of the ear's critical band around `hz` (after Zwicker and Terhardt): a tone is
// heard over the program's sound inside that band, not over the whole spectrum.
double critical_band_hz(double hz);

// A tone in its critical band is masked where it lies more than this under the
// program's power there (the critical ratio).
constexpr double kCriticalRatioDb = 4;

// A file has no loudness of its own: the list ranks tones as heard where a full-scale
// sine plays at this level (loud listening on headphones or a monitor).
constexpr double kFullScaleDbSpl = 100;

// The threshold of hearing in quiet for a tone at `hz`, dB SPL (ISO 226's threshold
// contour, extended by ISO 389-7 to 18 kHz and along its last segments beyond).
double threshold_in_quiet_db_spl(double hz);

// Sets each tone's over_band_db from `audio` (the frames its first and end count in):
// the program's level in the tone's critical band over its extent, the tone's own power
// taken out.
void measure_over_band(const Audio& audio, std::vector<Tone>* tones);

// Sets each tone's audibility_db, its energy over what a listener just hears (the
// threshold in quiet at kFullScaleDbSpl and the program's masking in its band, from
// over_band_db, added as powers) with its length at `rate`, and orders the tones by it,
// most audible first.
void rank_by_audibility(std::vector<Tone>* tones, int32_t rate);

// The confirmed tone of `d` nearest `hz` when one lies within two bins of it: a listed
// tone, or a harmonic in one's family (read as a tone of its own over the family's
// extent); otherwise the tone as a user names it, taken to sound through the region
// [first, first + count), and *detected is false. --hz in detect and measure and the
// page's click all ask through this.
Tone tone_near(const Detection& d, double hz, int64_t first, int64_t count, bool* detected);
