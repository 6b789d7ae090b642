#pragma once
// The picture the page draws of a file: its spectrum through time, from the tool's own
// Hann-windowed block spectra, on a logarithmic frequency axis (a 50 Hz hum and a 10 kHz
// whine both get rows of their own).
#include <cstdint>
#include <string>
#include <vector>

#include "tool/analysis/audio.h"

// Lowest frequency the picture shows; the highest is half the sampling rate.
constexpr double kPictureLowHz = 20;
// Levels from this many dBFS (byte 0) up to 0 dBFS (byte 255).
constexpr double kPictureFloorDb = -120;

// Fills *picture with `columns` x `rows` bytes, column after column, row 0 the lowest
// frequency; column c shows a block centred at frame (c + 0.5) * frames / columns (each
// column's level is the loudest block in its span when blocks are shorter than it).
// Returns JSON: the shape, the block length and the axis's ends. Throws ToolError when
// the audio is shorter than one block or the shape is empty.
std::string page_spectrogram(const Audio& audio, int32_t columns, int32_t rows, std::vector<uint8_t>* picture);
