#pragma once
// Average power spectra for the tool's own analysis (detect, measure, plots). This is
// measurement, not filtering: Hann-windowed segments with half overlap (Welch),
// averaged over segments and channels.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct Spectrum {
    int32_t rate = 0;
    int32_t n = 0;              // segment length
    std::vector<double> power;  // n/2 + 1 bins
    double bin_hz() const { return double(rate) / n; }
};

// The windows of the last sizes spectra were made at, for whoever makes one spectrum
// after another at one size (a program's change, read piece by piece): a window's
// cosines cost as much as a few of its blocks.
struct SpectrumWindows {
    struct Kept {
        int32_t n = 0;
        double energy = 0;
        std::vector<double> values;
    };
    Kept kept[2];
    size_t oldest = 0;
};

// Power per bin, scaled so that the bins of a full-scale sine add up to 0.5 (its mean
// square) and white noise of mean square p gives about p * 2/n per bin. Frames
// [first, first + count) of interleaved 16-bit audio; count must be at least n. The
// window is taken from `windows` (BlockSpectrum).
Spectrum average_spectrum(const int16_t* samples, int32_t channels, int32_t rate, int64_t first, int64_t count,
                          int32_t n, SpectrumWindows* windows = nullptr);

// Power spectra of single Hann-windowed blocks, scaled as average_spectrum's, for
// analyses that follow a sound through time. Holds its window and buffers; the
// transform is the project's own real FFT, so the tool and its page compute alike.
class BlockSpectrum {
public:
    // The window is taken from `windows` when it holds it, and kept there when made.
    explicit BlockSpectrum(int32_t n, SpectrumWindows* windows = nullptr);

    int32_t n() const { return n_; }
    // Power per bin (n/2 + 1 bins) of frames [first, first + n), averaged over channels.
    const std::vector<double>& power(const int16_t* samples, int32_t channels, int64_t first);

    // How many blocks of `channels` channels powers() takes at once: as many as fill
    // the transform's lanes side by side (a stereo block fills two of four), at least one.
    static int32_t blocks_at_once(int32_t channels);
    // The powers of the `count` blocks (at most blocks_at_once) starting at firsts[0]
    // to firsts[count - 1], block i's in power_of(i), each to the bit as power() gives
    // it alone, for about the time of one.
    void powers(const int16_t* samples, int32_t channels, const int64_t* firsts, int32_t count);
    const std::vector<double>& power_of(int32_t i) const { return power_[size_t(i)]; }

private:
    int32_t n_;
    int32_t transforms_ = 0;  // of the last call, whose spare lanes hold zeros
    double window_energy_ = 0;
    std::vector<double> window_, block_;
    std::vector<std::vector<double>> power_;
    std::vector<const double*> lanes_of_block_;  // each channel's transform, for the block summed
};

// The powers of a series of blocks whose starts are known ahead, handed out one at a
// time in order, each as BlockSpectrum::power gives it; taken blocks_at_once at a time,
// so a stereo series costs about half as much.
class BlockSeries {
public:
    BlockSeries(int32_t n, const int16_t* samples, int32_t channels, std::vector<int64_t> firsts,
                SpectrumWindows* windows = nullptr);
    // The next block's powers (n/2 + 1 bins); asked once for each start, in order.
    const std::vector<double>& next();

private:
    BlockSpectrum spectrum_;
    const int16_t* samples_;
    int32_t channels_;
    std::vector<int64_t> firsts_;
    // The next block handed out, and the first and the end of those last transformed.
    size_t next_ = 0, group_ = 0, taken_ = 0;
};

// The largest power of two not above `count` and not above `limit`, at least 64.
int32_t segment_length(int64_t count, int32_t limit);

// Peak position refined between bins by a parabola through the log powers of bins
// k - 1, k, k + 1; returns a fractional bin.
double refine_peak(const std::vector<double>& power, int32_t k);
// The same from the levels (to_db) of bins k - 1, k and k + 1, for a caller that has
// them already.
double refine_peak_db(int32_t k, double below_db, double at_db, double above_db);

// Sum of power over bins whose centre lies in [low_hz, high_hz].
double band_power(const Spectrum& s, double low_hz, double high_hz);

double to_db(double power);

// Weight j of an n-point Hann window, the window every spectrum and probe here uses.
double hann(int64_t j, int64_t n);

// Amplitude (full scale = 1) of the `hz` component of frames [first, first + count), by
// a Hann-windowed single-frequency DFT; the root mean square over the channels.
double tone_amplitude(const int16_t* samples, int32_t channels, int32_t rate, double hz, int64_t first,
                      int64_t count);

// The Hann-windowed wave tone_amplitude reads `count` frames through, made once for a
// caller that reads one tone block after block: it depends on nothing else.
struct ToneWave {
    double hz = 0;
    int64_t count = 0;
    // Weight times cosine and sine, frame by frame; shared with the waves kept for the
    // next caller, so that a copy of the wave copies no values.
    std::shared_ptr<const std::vector<double>> values;
};

// Waves kept for the next caller that asks for the same one: a fit reads one tone through
// the same span at every trial, and a plan's checks read it pass after pass through the
// same few block lengths, while a wave's sines and cosines cost more than a reading
// through it. Held by whoever fits and checks one tone; waves longer than
// kKeptWaveFrames are made afresh, so that the kept ones hold a few megabytes at most.
struct ToneWaves {
    static constexpr int64_t kKeptWaveFrames = int64_t(1) << 18;
    struct Kept {
        int32_t rate = 0;
        ToneWave wave;
    };
    Kept kept[8];
    size_t oldest = 0;
};

// The wave, taken from `kept` when it holds it and kept there when made (none: made afresh).
ToneWave tone_wave(int32_t rate, double hz, int64_t count, ToneWaves* kept = nullptr);

// tone_amplitude through `wave`, over frames [first, first + wave.count).
double tone_amplitude(const ToneWave& wave, const int16_t* samples, int32_t channels, int64_t first);
