#include "audible.h"

#include <algorithm>
#include <cmath>

#include "corpus.h"

Audibility audibility(const Audio& tone, const Audio& programme, double hz, int64_t first, int64_t end)
{
    const int64_t frame = int64_t(std::lround(kAudibleFrameSeconds * tone.rate));
    const int64_t count = std::max<int64_t>(1, (end - first) / frame);
    Audibility a;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t from = first + i * frame, to = count == 1 ? end : from + frame;
        ++a.frames;
        if (band_level_dbfs(tone, hz, from, to) < band_level_dbfs(programme, hz, from, to) - kCriticalRatioDb)
            ++a.masked;
    }
    return a;
}
