#include "test_media.h"

#include <cmath>
#include <utility>

HostMedia media_with(int32_t rate, int32_t channels, int32_t num, int32_t den,
                     std::vector<int16_t> audio)
{
    HostMedia m;
    m.audio = std::move(audio);
    m.audio_rate = rate;
    m.channels = channels;
    m.video_rate_num = num;
    m.video_rate_den = den;
    return m;
}

std::vector<int16_t> tone(int32_t rate, int32_t channels, int64_t frames, double hz,
                          double amplitude)
{
    const double pi = 3.14159265358979323846;
    std::vector<int16_t> out(size_t(frames) * size_t(channels));
    for (int64_t t = 0; t < frames; ++t)
        for (int32_t k = 0; k < channels; ++k)
            out[size_t(t) * channels + k] =
                int16_t(std::lround(amplitude * std::sin(2 * pi * hz * double(t) / rate)));
    return out;
}
