#pragma once
// A tiny in-process host for the renderer and callback tests: one media held in
// memory, its rates, a selection, the sliders and check box, and the four services,
// attached to the module's FilterTable. The edit handle is the FakeHost itself.
#include <cstdint>
#include <vector>

#include "shell/host_interface.h"

struct FakeHost {
    int32_t rate = 44100, channels = 1, num = 30, den = 1;
    int32_t first = 0, last = 1000;
    int32_t writing = 0;              // answer of the output-in-progress query
    std::vector<int16_t> media;       // interleaved; past its end the host returns 0
    int32_t sliders[5] = {100, 2, 11, 30, 0};
    int32_t check = 0;
    int32_t claim = 0;                // non-zero: what every call after a render's first returns
    int32_t source_calls = 0, calls_past_end = 0;
    // Extent of the source-audio writes of the last render, in samples from the
    // buffer the first call of that render was given.
    const int16_t* base = nullptr;
    int64_t lowest = 0, highest = 0;
    HostServices services = {};
    FilterTable* table = nullptr;
};

// Points the module's FilterTable at the host's values and services.
void attach(FakeHost* host);

// One processing call for `frame` on `audio` (interleaved, `channels` per frame).
void process(FakeHost* host, int32_t frame, std::vector<int16_t>* audio, int32_t channels);

// Forces a re-render with the host's current settings and media, delivering nothing.
void render(FakeHost* host);

// start(f) = floor(f * rate * den / num): the first sample frame of video frame f.
int64_t frame_start(const FakeHost& host, int32_t f);

// `frames` frames of a sine of `hz` at `amplitude` on every channel.
std::vector<int16_t> tone(int32_t rate, int32_t channels, int32_t frames, double hz,
                          double amplitude);
