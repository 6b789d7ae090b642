#pragma once
// A self-contained SVG picture of one processing: the average spectrum of the
// stretch's middle before and after with the notch band marked, and the first
// channel's waveform around the stretch's start and end.
#include <string>

#include "tool/analysis/audio.h"
#include "tool/analysis/measure.h"

// Frames on each side of the stretch that the picture and the click score read: a
// caller holding only part of a file holds at least these. `in` and `out` may be such
// windows (their first_frame says where they start); `m` counts from the window.
int64_t plot_margin(int32_t rate);

std::string svg_plot(const Audio& in, const Audio& out, const Measurement& m, const std::string& title);
