#pragma once
// The plug-in's five sliders and check box as the tool sees them, and the geometry of
// the stretch and the notch that follows from them for one file's sampling rate. The
// geometry is the plug-in's own plan arithmetic, so that the tool can say which frames
// are processed and which Hz the notch covers; the samples themselves always come from
// the plug-in.
#include <cstdint>
#include <string>

#include "render/slider_table.h"

struct FilterTable;

// A slider's option on the command line: its name with dashes, "--fft-order".
std::string option_name(int32_t slider);

struct Settings {
    int32_t slider[kSliderCount] = {};
    int32_t use_window = 0;
};

struct SliderRanges {
    int32_t minimum[kSliderCount] = {};
    int32_t maximum[kSliderCount] = {};
};

// The plug-in's own defaults and ranges, read from its registration record.
Settings default_settings(const FilterTable& table);
SliderRanges slider_ranges(const FilterTable& table);

// Throws ToolError naming the first slider outside its range.
void check_ranges(const Settings& settings, const SliderRanges& ranges);

// Everything the plug-in derives from the settings and the sampling rate.
struct NotchGeometry {
    int64_t n = 0;          // FFT block size
    double spacing = 0;     // Hz per frequency-slider step unit that the plug-in assumes per entry
    int64_t centre = 0;     // notch centre, a spectrum-array entry index
    int64_t hop = 0;        // 3n/4
    int64_t quarter = 0;    // n/4: block ramps and the tail cross-fade
    int64_t length = 0;     // stretch length in sample frames
    int64_t fade = 0;       // fade-in length in sample frames
    double centre_hz = 0;   // where the centre entry lies: centre * rate / (2n)
    double low_hz = 0;      // first and last bin the notch touches; entry e lies in bin e/2 (entry 1,
                            // half the rate, in none of the band)
    double high_hz = 0;
    bool inside = false;    // the centre lies within the n entries of the spectrum
};

NotchGeometry notch_geometry(const Settings& settings, int32_t rate);

// The sampling rates the tool takes run from kLowestRate to the highest the plug-in
// serves: it holds the stretch and its capture buffer with 32-bit counts, so
// (seconds + 1) x channels x rate samples must fit.
constexpr int32_t kLowestRate = 1;
int32_t highest_rate_served(const Settings& settings, int32_t channels);

// The lowest and highest notch centres (Hz) that the frequency values of `ranges` reach at
// this rate with the settings' FFT order; both -1 when none lies inside the spectrum.
void reachable_centres(const Settings& settings, const SliderRanges& ranges, int32_t rate, double* low, double* high);

// The frequency slider value, within `ranges`, whose real notch centre lies nearest to
// `hz` for this rate and the settings' FFT order; a tie goes to the value whose nominal
// frequency (value x 10 Hz) is nearer. Throws ToolError when no value places the notch.
int32_t frequency_for_hz(double hz, const Settings& settings, const SliderRanges& ranges,
                         int32_t rate);
