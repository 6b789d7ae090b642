#pragma once
// Average power spectra for the tool's own analysis (detect, measure, plots). This is
// measurement, not filtering: Hann-windowed segments with half overlap (Welch),
// averaged over segments and channels.
#include <cstdint>
#include <vector>

struct Spectrum {
    int32_t rate = 0;
    int32_t n = 0;              // segment length
    std::vector<double> power;  // n/2 + 1 bins
    double bin_hz() const { return double(rate) / n; }
};

// Power per bin, scaled so that the bins of a full-scale sine add up to 0.5 (its mean
// square) and white noise of mean square p gives about p * 2/n per bin. Frames
// [first, first + count) of interleaved 16-bit audio; count must be at least n.
Spectrum average_spectrum(const int16_t* samples, int32_t channels, int32_t rate, int64_t first,
                          int64_t count, int32_t n);

// Power spectra of single Hann-windowed blocks, scaled as average_spectrum's, for
// analyses that follow a sound through time. Holds its window and buffers; the
// transform is the project's own real FFT, so the tool and its page compute alike.
class BlockSpectrum {
public:
    explicit BlockSpectrum(int32_t n);

    int32_t n() const { return n_; }
    // Power per bin (n/2 + 1 bins) of frames [first, first + n), averaged over channels.
    const std::vector<double>& power(const int16_t* samples, int32_t channels, int64_t first);

private:
    int32_t n_;
    int32_t channels_ = 0;  // of the last block, whose spare lanes hold zeros
    double window_energy_ = 0;
    std::vector<double> window_, block_, power_;
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
