#pragma once
// Programmes the self-check's tests lay tones over, as doubles in 16-bit steps (not yet
// rounded, so that a test adds its tones before it rounds once).
#include <cstdint>
#include <vector>

// Pink noise (a sum of three one-pole filters of white noise, flat to within half a dB
// per octave across the audio band at 44.1 and 48 kHz) at `rms`.
std::vector<double> pink_noise(int64_t frames, double rms, uint32_t seed);

// Noise from `low_hz` to `high_hz` (two second-order sections at each edge) that swells
// and fades at a syllable's pace, as speech does, at `rms` over its whole length.
std::vector<double> speech_like_noise(int64_t frames, int32_t rate, double low_hz, double high_hz, double rms,
                                      uint32_t seed);

// Samples rounded to 16 bits, clipped at full scale.
std::vector<int16_t> to_samples(const std::vector<double>& x);
