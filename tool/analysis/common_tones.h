#pragma once
// The tones people most often need to cut, and the slider values that cut each one at a
// sampling rate and FFT order: what the slider table lists and what the guides quote.
// The values come from the plug-in's own placement of the notch (settings.h) and the
// covering width the fit starts from (suggest.h), so the table and the guides cannot
// drift from what the plug-in does.
#include <cstdint>
#include <string>
#include <vector>

#include "tool/analysis/settings.h"

struct CommonTone {
    double hz = 0;
    std::string ja;   // the label a Japanese user knows it by
    std::string en;
};

// Mains hum in eastern and western Japan.
constexpr double kHumEastHz = 50, kHumWestHz = 60;

// Hum and its harmonics up to the fifth, the tuning and test tones, the line whine of
// 625-line and 525-line picture tubes and a few round values, lowest first.
std::vector<CommonTone> common_tones();

// The rates the slider table covers unless asked for others, and the FFT order it
// recommends: at these rates blocks of 8192 samples give a band a few tens of Hz wide
// and a lead of well under a quarter second.
inline const std::vector<int32_t> kTableRates = {44100, 48000, 96000};
constexpr int32_t kRecommendedOrder = 13;

// One tone at one rate and FFT order.
struct ToneCell {
    bool placed = false;    // false: no frequency value places the notch (or the tone lies
                            // at or above half the rate)
    bool covered = false;   // some width within the slider's range covers the tone
    Settings settings;      // frequency, FFT order and width to set
    NotchGeometry notch;
    bool outside = false;   // the tone lies outside the band the notch removes
    bool speech = false;    // that band reaches into speech's band
};

// `width` 0: the narrowest width that covers the tone as the fit computes it (the
// widest there is when none does); otherwise that width.
ToneCell tone_cell(double hz, const Settings& base, const SliderRanges& ranges, int32_t rate, int32_t order,
                   int32_t width);
