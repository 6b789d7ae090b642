#pragma once
// Media the tests build: the host stand-in's HostMedia around given audio, and the
// signals more than one test needs.
#include <cstdint>
#include <vector>

#include "host/media.h"

// `audio` (interleaved, `channels` per sample frame) at these rates.
HostMedia media_with(int32_t rate, int32_t channels, int32_t num, int32_t den,
                     std::vector<int16_t> audio);

// `frames` sample frames of a sine of `hz` at `amplitude`, the same on every channel.
std::vector<int16_t> tone(int32_t rate, int32_t channels, int64_t frames, double hz,
                          double amplitude);
