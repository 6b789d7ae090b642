#pragma once
// How fast a tone switches on and off in the source. What a notch leaves of a tone it
// covers is mostly its switching, spread past the notch, and a steeper ramp spreads
// further: the copy of the tone whose cut the tool reads is switched as fast.
#include <cstdint>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"

// A raised-cosine switch of `ramp` frames centred on 0, from 0 to 1 (a step at 0 when
// `ramp` is 0).
double switch_gate(double into, double ramp);

// The raised-cosine ramp, in frames, that fits the tone's switching on at `first` and off
// at `end` (frames of `a`) best, one ramp for both edges: a beep is switched alike at
// both ends, so the program's sound over one edge weighs against the other's readings
// rather than deciding alone. An edge that lies too near the audio's edge to be read says
// nothing. 0 when neither can be read, or when what is read fits no switch: taken as
// abrupt, the switch that leaves the most, a cut read from it may fall short of the
// truth but never flatters it.
double switching_frames(const Audio& a, const Tone& tone, int64_t first, int64_t end);
