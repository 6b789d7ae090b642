#pragma once
// What the detector's stages hand one another (the public results, Tone and Dropped, are
// in detect.h), the region a look works on, and the constants more than one stage reads.
// A constant one stage alone reads lives in that stage's file, with its reason.
#include <algorithm>
#include <array>
#include <complex>
#include <cstdint>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/detect_params.h"

namespace detection {

// Values that follow from the method rather than from data, so not DetectParams:
// Frames start a quarter block apart: Hann windows at that step sum to a constant, so
// every instant of the audio weighs the same, and a block's span is four frames.
constexpr int32_t kHopsPerBlock = 4;
// The block grows by doubling from here, under every rate's analysis block.
constexpr int32_t kSmallestBlock = 256;
// A Hann main lobe: the peak's bin and two on each side.
constexpr int32_t kLobeBins = 5;
// Bins on each side whose levels make a peak's floor: 41 levels, so its low quantile
// rests on 8 of them, and the window (some 230 Hz) still spans several harmonics of a
// hum. Wider smooths the floor over more of the spectrum's slope; narrower makes the
// quantile noisier.
constexpr int32_t kFloorHalfWidthBins = 20;
// Of half the rate: the anti-alias filter's roll-off lies above, for peaks and harmonics.
constexpr double kHighestShare = 0.98;
// Nothing lower is heard as a tone (the ear's lower limit), nor is a hum's fundamental.
constexpr double kLowestHz = 20;
// The highest harmonic order a family is searched to (and half of it for a fundamental
// under a harmonic): a bound on the search's cost; a hum's partials above it lie at
// 800 Hz or more for a 50 Hz hum, where they stand as tones of their own.
constexpr int32_t kHighestHarmonic = 16;
// A walk to a tone's crossing or end goes in coarse steps of this share of a block: a
// block's centre moves 21 ms at 48 kHz, and the level's crossing near the end is read
// finer.
constexpr int32_t kCrossingStepsPerBlock = 8;
// Bins per word of Frames::audible.
constexpr int32_t kWordBits = 64;

struct Peak {
    int32_t bin;
    float at;  // interpolated bin
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

struct ProbeKernels;

// One look at a region: the tuned values, the audio, its frames' peaks, the region
// [first, first + count) of the audio, the fewest frames a run holds (shortest_seconds,
// and a block), and the probes' kernels kept by the detection the look is part of (none:
// each made afresh). Every stage after the peaks reads it.
struct Context {
    const DetectParams& p;
    const Audio& audio;
    const Frames& f;
    int64_t first = 0, count = 0;
    int32_t shortest = 0;
    ProbeKernels* kernels = nullptr;
};

// Which look found a run holding still: the first; the first's readings where the tone
// stands clear of the program in its band; the longer block; the phase; two tones
// beating, where it stands clear.
enum class Look { kFirst, kClear, kSecond, kPhase, kPair };

// Two steady tones fitted to a run's probe phasors (the pair look's): the probe's
// frequency, each tone's offset from it and its phasor at block start `at` (a sample
// frame), so that the pair's phasor can be told at any block.
struct PairFit {
    bool fitted = false;
    double probe_hz = 0, low_hz = 0, high_hz = 0, at = 0;
    std::complex<double> low, high;
};

// A tone's run of frames before it becomes a Tone.
struct Run {
    int32_t bin = 0;
    int32_t from = 0, to = 0;  // frames [from, to)
    std::vector<double> hz, level, above;
    Look look = Look::kFirst;
    bool under_harmonic = false;        // a fundamental found under a harmonic's run
    bool after_louder = false;          // parted where a louder sound at its bin died away into it
    double drift_hz = 0, range_db = 0;  // as the first look read them
    double hz_per_s = 0;                // the drift a look allowed it (steady_hz_per_s at most)
    double beat_db = 0;                 // the pair look's: how deep its two tones beat
    PairFit pair;                       // the pair look's two tones, where it found them
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
    double hz_per_s = 0;  // the drift allowed for, taken out of drift_hz
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
};

// A rule's verdict: the reason it drops a candidate (none when it passes) and the figure
// that decided it against its limit.
struct Verdict {
    bool drops = false;
    DropReason reason = DropReason::kTooQuiet;
    double figure = 0, limit = 0, other_hz = 0;
};

// The last kernels a detection's probes made, with their gains, and the window of the
// last length: the looks and the extent's walk make a probe at one frequency twice in a
// row, and a kernel's sines and cosines cost more than its reading (the page's module's
// most of all). Held by one detection, over the region and the audio around it.
struct ProbeKernels {
    struct Kept {
        int32_t n = 0, rate = 0;
        double hz = 0, gain = 0;
        std::vector<std::complex<double>> kernel;
    };
    Kept kept[2];
    size_t oldest = 0;
    std::vector<double> window;
};

// The `hz` component of the n frames from `at`, by a Hann-windowed single-frequency DFT.
struct Probe {
    int32_t n, rate;
    double hz;
    std::vector<std::complex<double>> kernel;
    double gain;
    // The kernel is taken from `kept` when it holds it, and kept there when made.
    Probe(int32_t size, double probe_hz, int32_t sample_rate, ProbeKernels* kept = nullptr);
    // Amplitude (full scale = 1), root mean square over the channels.
    double amplitude(const Audio& a, int64_t at) const;
    // Amplitude and phase of the channels' mean, the phase measured from the audio's
    // first frame: a steady tone's phasor turns from block to block by the tone's
    // offset from `hz`, times the time between them.
    std::complex<double> phasor(const Audio& a, int64_t at) const;
    // The same at `count` blocks `step` frames apart from `at`, as amplitude() and
    // phasor() read each: either output may be null. A run's frames are read so.
    void read_blocks(const Audio& a, int64_t at, int64_t step, int32_t count, std::vector<double>* amplitudes,
                     std::vector<std::complex<double>>* phasors) const;

private:
    double amplitude_of(const std::complex<double>* sums, int32_t channels) const;
    std::complex<double> phasor_of(const std::complex<double>* sums, int32_t channels, int64_t at) const;
};

}  // namespace detection
