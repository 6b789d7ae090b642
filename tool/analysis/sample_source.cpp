#include "tool/analysis/sample_source.h"

#include <algorithm>

Audio read_frames(const SampleSource& source, int64_t first, int64_t end)
{
    Audio a;
    a.rate = source.rate;
    a.channels = source.channels;
    a.first_frame = first;
    a.samples.resize(size_t(end - first) * size_t(source.channels));
    if (end > first) source.fill(first, end, a.samples.data());
    return a;
}

SampleSource source_of(const Audio& audio)
{
    SampleSource s;
    s.rate = audio.rate;
    s.channels = audio.channels;
    s.frames = audio.frames();
    const Audio* a = &audio;
    s.fill = [a](int64_t first, int64_t end, int16_t* to) {
        std::copy(a->samples.begin() + first * a->channels, a->samples.begin() + end * a->channels, to);
    };
    return s;
}
