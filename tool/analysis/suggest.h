#pragma once
// Slider values that put the notch on a detected tone, for every FFT size.
#include <cstdint>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/settings.h"

// Bins of the plug-in's own FFT kept clear on each side of the tone (beyond its drift):
// the plug-in's blocks are ramped only over a quarter block, so a tone leaks into
// neighbouring bins and only a notch reaching this far past it removes that leakage.
constexpr double kGuardBins = 8.0;

struct Suggestion {
    Settings settings;       // the base settings with this FFT order and frequency
    NotchGeometry notch;     // with the base width
    int32_t cover_width = 0; // smallest width reaching kGuardBins past the tone's drift; 0 if none
    NotchGeometry cover;     // with cover_width
    bool placed = false;     // false: no frequency value places the notch at this size
};

// One suggestion per fft_order in the slider's range, in increasing order.
std::vector<Suggestion> suggest_settings(const Tone& tone, const Settings& base, const SliderRanges& ranges,
                                         int32_t rate);
