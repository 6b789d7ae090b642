#pragma once
// A self-contained SVG picture of one processing: the average spectrum of the
// stretch's middle before and after with the notch band marked, and the first
// channel's waveform around the stretch's start and end.
#include <string>

#include "cli/audio_file.h"
#include "cli/measure.h"

std::string svg_plot(const Audio& in, const Audio& out, const Measurement& m, const std::string& title);
