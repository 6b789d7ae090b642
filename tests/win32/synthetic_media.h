#pragma once
// The edit both the Windows test program and its native twin play: 5 s of stereo at
// 44100 Hz and 30 frames per second (1470 sample frames per frame, so the preview's
// frame-to-sample mapping is exact), a tone at the notch centre on the left channel
// and a 2000 Hz tone on the right, the default settings, and a selection from frame
// 30 to the end.
//
// With the defaults N = 2048, so the spacing is (44100 / 2) / 2048 = 10 and the notch
// index is 100 x 10 / 10 = 100: spectrum bin 50, i.e. 50 x 44100 / 2048 Hz. Two seconds
// round up to whole hops of 1536 plus a quarter block: L = 89600, faded in over 25 %.
#include "host/host_edit.h"

constexpr int kRate = 44100;
constexpr int kFrameSamples = 1470;
constexpr int kFrames = 150;
constexpr int kFirstFrame = 30;
constexpr int kSpanStart = kFirstFrame * kFrameSamples;
constexpr int kSampleFrames = kFrames * kFrameSamples;

constexpr double kNotchHz = 50.0 * kRate / 2048.0;
constexpr double kPassHz = 2000.0;
constexpr double kAmplitude = 10000.0;
constexpr int kSpanLength = 89600;
constexpr int kFadeLength = kSpanLength / 4;
constexpr int kBlock = 2048;
constexpr int kQuarter = kBlock / 4;

// Sets up *edit as above; its counters and service table are left alone.
void make_synthetic_edit(HostEdit* edit);

// The writing pass's output is exchanged between the two programs as a file of
// little-endian 16-bit samples, kSampleFrames x 2 values, named this.
constexpr const char* kOutputFile = "tulm_win32_output.raw";
