#pragma once
// The pieces of tone detection, shared by its files: a short-time spectrum's peaks
// frame by frame and their runs (detect_frames), the looks that tell whether a run
// holds still (detect_steady), a run's level and extent as a tone (detect_extent), and
// the rules that mark a steady stretch as program sound or gather a hum's family
// (detect_program). detect.cpp runs them as stages, each handing a typed result to the
// next, and keeps every candidate a stage drops with its reason.
#include <algorithm>
#include <array>
#include <complex>
#include <cstdint>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/detect_params.h"
#include "tool/analysis/statistics.h"

namespace detection {

// How far over its floor a frame's peak must stand (dB): where a bin of noise does so
// with probability peak_false_alarm.
double peak_db(const DetectParams& p);

// The share of a stretch's phasors' sizes their sum must reach for the phase look to
// read it (see in_step_share in detect_steady.cpp).
double in_step_share(const DetectParams& p);

// Phases the model behind in_step_share averages over, evenly spaced round the circle.
constexpr int32_t kModelPhases = 360;

// The amplitude (full scale = 1) of a level in dBFS.
double amplitude_of(double dbfs);

// The power ratio of a level difference in dB.
double power_ratio_of(double db);

// A Hann main lobe: the peak's bin and two on each side.
constexpr int32_t kLobeBins = 5;

// Room for to_db's rounding where a peak's power is tested before its levels are taken
// (the levels then decide): against the floor, and against its lobe's other bins.
constexpr double kFloorSlack = 0.99;
constexpr double kTopSlack = 0.999;

// Values that follow from the method rather than from data, so not DetectParams:
// Frames start a quarter block apart: Hann windows at that step sum to a constant, so
// every instant of the audio weighs the same, and a block's span is four frames.
constexpr int32_t kHopsPerBlock = 4;
// A run may miss a frame or two in a row (half a block) where louder sound breaks it.
constexpr int32_t kGapFrames = kHopsPerBlock / 2;
// The block grows by doubling from here, under every rate's analysis block.
constexpr int32_t kSmallestBlock = 256;
// Bins no wider than this (Hz): a 50 Hz hum's harmonics then lie 8 bins or more apart,
// so between two main lobes (kLobeBins) stand bins of floor. The block is a power of two,
// so every width from 5.9 to 11.7 Hz gives the same block at 48 kHz: a bound of the
// method, not a figure fitted to recordings; a narrower bin costs time and smears a
// tone that moves.
constexpr double kWidestBinHz = 6.0;
// Bins on each side whose levels make a peak's floor: 41 levels, so its low quantile
// rests on 8 of them, and the window (some 230 Hz) still spans several harmonics of a
// hum. Wider smooths the floor over more of the spectrum's slope; narrower makes the
// quantile noisier.
constexpr int32_t kFloorHalfWidthBins = 20;
// The floor changes slowly across bins: it is taken every few bins and held between.
constexpr int32_t kFloorEveryBins = 4;
// Of half the rate: the anti-alias filter's roll-off lies above, for peaks and harmonics.
constexpr double kHighestShare = 0.98;
// Nothing lower is heard as a tone (the ear's lower limit), nor is a hum's fundamental.
constexpr double kLowestHz = 20;
// A sine one 16-bit step high: nothing quieter is sound.
constexpr double kSilentDbfs = -90.3;
// Frames whose median level stands for each side of a level step (three: a median).
constexpr int32_t kSwitchFrames = 3;
// The second look's block against the analysis block: twice as long halves the bin.
constexpr int32_t kFineFactor = 2;
// The phase look: grid points per step its stretch resolves, the step it halves down
// to, the share of a stretch's frames that must be clear (more clear than covered), and
// the fewest readings that make a spread.
constexpr int32_t kPhaseGridPerBin = 16;
constexpr double kPhaseFinestHz = 1e-3;
constexpr double kClearShare = 0.5;
constexpr int32_t kFewestReadings = 3;
// Walking to a crossing: coarse steps a block holds, and fine steps a second (2.5 ms,
// well under the 1/15 s an extent is held to).
constexpr int32_t kCrossingStepsPerBlock = 8;
constexpr int32_t kCrossingStepsPerSecond = 400;
// The highest harmonic order a family is searched to (and half of it for a fundamental
// under a harmonic): a bound on the search's cost; a hum's partials above it lie at
// 800 Hz or more for a 50 Hz hum, where they stand as tones of their own.
constexpr int32_t kHighestHarmonic = 16;
// A quieter partial on a lower tone's multiple whose track holds on beside it in more
// than this share of the frames on one side at least is a piece of a harmonic that
// louder sound broke, not a tone switched on by itself: more present than absent.
constexpr double kPieceBesideShare = 0.5;
// The level's trend is its first third against its last; a robust line through it is
// made of at most this many frames (its pairs grow with the square).
constexpr int32_t kTrendParts = 3;
constexpr int32_t kSlopePoints = 200;

// Bins per word of Frames::audible.
constexpr int32_t kWordBits = 64;

struct Peak {
    int32_t bin;
    float at;           // interpolated bin
    float level_dbfs;
    float above_floor;
};

struct Frames {
    int32_t n = 0, hop = 0, rate = 0;
    int64_t first = 0;                     // sample frame where frame 0 starts
    std::vector<std::vector<Peak>> peaks;  // per frame, in order of bin
    // Per frame, `words` words with a bit for each bin that holds a peak loud enough to
    // hear: whether a run goes on at a bin is asked of every frame for every bin that
    // holds peaks, and a search through the frame's peaks each time took a good share
    // of detect's time.
    int32_t words = 0;
    std::vector<uint64_t> audible;
    double bin_hz() const { return double(rate) / n; }
    // Whether frame m holds a peak loud enough to hear within one bin of `bin`, as
    // peak_near(..., bin, 1) finds one.
    bool audible_near(int32_t m, int32_t bin) const
    {
        const uint64_t* w = audible.data() + size_t(m) * size_t(words);
        for (int32_t b = std::max(0, bin - 1); b <= bin + 1; ++b)
            if ((w[b / kWordBits] >> (b % kWordBits)) & 1) return true;
        return false;
    }
};

// Which look found a run holding still.
enum class Look { kFirst, kSecond, kPhase };

// A tone's run of frames before it becomes a Tone.
struct Run {
    int32_t bin = 0;
    int32_t from = 0, to = 0;  // frames [from, to)
    std::vector<double> hz, level, above;
    Look look = Look::kFirst;
    bool under_harmonic = false;  // a fundamental found under a harmonic's run
    double drift_hz = 0, range_db = 0;  // as the first look read them
};

// A run's peaks, frame by frame, as the analysis read them.
struct Readings {
    std::vector<int32_t> frame;
    std::vector<double> hz, level, above;
};

// A look's verdict on a run's readings: whether they hold still, the figures against
// their limits, and the frequencies it judged (those of the uncovered frames).
struct Steadiness {
    bool holds = false;
    double drift_hz = 0, drift_limit_hz = 0;
    double range_db = 0, range_limit_db = 0;
    std::vector<double> hz;
};

// The runs that held still at one of the looks, and those that stood clear but held
// still at none.
struct Looks {
    std::vector<Run> steady, unsteady;
};

// A run with its reading as a tone, through the rules that confirm it.
struct Line {
    Run run;
    Tone tone;
    bool confirmed = false;
};

// A tone confirmed, with its run, before families are gathered.
struct Confirmed {
    Tone tone;
    Run run;
    bool in_family = false;  // taken into a lower tone's family
};

// A rule's verdict: the reason it drops a candidate (none when it passes) and the figure
// that decided it against its limit.
struct Verdict {
    bool drops = false;
    DropReason reason = DropReason::kTooQuiet;
    double figure = 0, limit = 0, other_hz = 0;
};

// The sample frame of the audio at the centre of frame `frame`'s block.
int64_t frame_centre(const Frames& f, int32_t frame);

// The own level of a run's levels (own_quantile), and whether a level is covered.
double own_level(const DetectParams& p, const std::vector<double>& levels);
bool covered(const DetectParams& p, double level, double own);

// The `hz` component of the n frames from `at`, by a Hann-windowed single-frequency DFT.
struct Probe {
    int32_t n, rate;
    double hz;
    std::vector<std::complex<double>> kernel;
    double gain;
    Probe(int32_t size, double probe_hz, int32_t sample_rate);
    // Amplitude (full scale = 1), root mean square over the channels.
    double amplitude(const Audio& a, int64_t at) const;
    // Amplitude and phase of the channels' mean, the phase measured from the audio's
    // first frame: a steady tone's phasor turns from block to block by the tone's
    // offset from `hz`, times the time between them.
    std::complex<double> phasor(const Audio& a, int64_t at) const;

private:
    std::complex<double> sum_over(const Audio& a, int64_t at, int32_t channel) const;
    std::array<std::complex<double>, 2> stereo_sums(const Audio& a, int64_t at) const;
};


// Whether bin `b` of `v` (powers, or their levels) stands over the two bins on each
// side, the Hann main lobe of a sine; false within two bins of either end.
bool tops_lobe(const std::vector<double>& v, int32_t b);

// The power of the main lobe around bin `b`: a sine's power spreads over it, so its sum
// is the sine's wherever it falls between bins.
double lobe_power(const std::vector<double>& power, int32_t b);

// Each frame's peaks over frames [first, first + count) of `audio`, frames a quarter
// block apart.
Frames frame_peaks_over(const DetectParams& p, const Audio& audio, int64_t first, int64_t count);

// The most prominent peak within `reach` bins of `bin` that is loud enough to hear;
// with `any_level`, also those under the hiss (a sound's track can fade under it).
const Peak* peak_near(const DetectParams& p, const std::vector<Peak>& peaks, int32_t bin, int32_t reach, bool any_level = false);

// Runs of frames in which bin `bin` (give or take one) holds a peak, missing no more
// than kGapFrames in a row and at most a tenth of the frames overall; a sound switched
// on or off over quieter sound at the same bin makes a run of its own.
std::vector<Run> runs_at(const DetectParams& p, const Frames& f, int32_t bin, int32_t shortest);

// The run's peaks frame by frame, from the analysis's own peaks.
Readings readings_of(const DetectParams& p, const Frames& f, const Run& r);

// The first look: whether the readings hold frequency and level, within a share of
// `bin_hz`, the bin of the block that read them.
Steadiness steadiness(const DetectParams& p, const Frames& f, const Run& r, const Readings& x, double bin_hz);

// Looks again, through a longer block and then at the phase of each frame, at the runs
// in `failed` that stood clear but did not hold still: those that do now are `steady`
// (marked with the look that passed them), the rest `unsteady`.
Looks second_look(const DetectParams& p, const Audio& a, const Frames& f, int64_t first, int64_t count,
                  const std::vector<Run>& failed);

// How deep the levels (dB, one a frame `hop_seconds` apart) dip between two peaks,
// counted from the lower peak: a beat's depth; 0 when the lowest lies at an end, or
// where the level moves faster than two tones widest_beat_hz apart can make it.
double beat_depth(const std::vector<double>& levels, int32_t block_frames, double hop_seconds,
                  double widest_beat_hz);

// The run as a tone: its frequency, level and their spread, and where it starts and
// stops within frames [first, first + count).
Tone tone_of(const DetectParams& p, const Audio& a, const Frames& f, const Run& r, int64_t first, int64_t count);

// Whole multiples of `low`'s tone among the other confirmed tones join its family
// (marked in_family); multiples that hold a peak through most of its run join it too,
// unless their line goes on through the `span` frames on both sides of it.
void gather_harmonics(const DetectParams& p, const Frames& f, int32_t span, Confirmed* low,
                      std::vector<Confirmed>* all);

// The run of a hum's fundamental under `r`, weaker than its harmonic; false when none.
bool fundamental_below(const DetectParams& p, const Frames& f, const Run& r, Run* out);

// Whether the fundamental `low` has a family among `lines` over part of its frames: a
// line at a whole multiple of its frequency confirmed as a tone, or lines at two or
// more such multiples that held still (the figure: how many, against two).
Verdict family_stands(const DetectParams& p, const std::vector<Line>& lines, const Run& low);

// Whether `t`'s frequency holds a peak through the `span` frames before (or after) it.
bool track_goes_on(const DetectParams& p, const Frames& f, const Tone& t, bool before, int32_t span);

// The share of the `span` frames before (or after) `t` that hold its frequency; -1
// when too few frames lie there to tell.
double track_share(const DetectParams& p, const Frames& f, const Tone& t, bool before, int32_t span);

// Whether another partial outside `line`'s family starts together with it (the figure:
// how far apart they start, in seconds; other_hz: the partner).
Verdict starts_with_another(const DetectParams& p, const Frames& f, const std::vector<Line>& all, const Line& line,
                            int32_t span);

// Joins the pieces of one tone that louder sound broke apart (and their runs); each
// piece joined to another is noted in `dropped`.
void join_pieces(const Frames& f, std::vector<Confirmed>* tones, std::vector<Dropped>* dropped);

// Whether the tone's extent takes in a run at its frequency that failed all looks
// (other_hz: that run's).
Verdict unsteady_within(const DetectParams& p, const Frames& f, const std::vector<Run>& unsteady, const Run& r,
                        const Tone& t);

} // namespace detection
