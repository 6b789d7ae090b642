#include "host/media.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "render/plan_arithmetic.h"

static bool media_is_degenerate(const HostMedia& media)
{
    return media.audio_rate <= 0 || media.channels <= 0 || media.video_rate_num <= 0 ||
           media.video_rate_den <= 0;
}

int64_t media_sample_frames(const HostMedia& media)
{
    if (media_is_degenerate(media)) return 0;
    if (media.length >= 0) return media.length;
    return static_cast<int64_t>(media.audio.size()) / media.channels;
}

int64_t media_frame_start(const HostMedia& media, int64_t f)
{
    if (media_is_degenerate(media) || f <= 0) return 0;
    return plan_frame_start(f, media.audio_rate, media.video_rate_num, media.video_rate_den);
}

int64_t media_frame_count(const HostMedia& media)
{
    const int64_t total = media_sample_frames(media);
    if (total == 0) return 0;
    // F = ceil(total * num / (rate * den)), whose product may not fit in 64 bits for
    // absurd rates: estimate it in long double, then settle it on the exact start().
    const long double per_frame =
        static_cast<long double>(media.audio_rate) * media.video_rate_den;
    const long double estimate = static_cast<long double>(total) * media.video_rate_num / per_frame;
    int64_t f = estimate >= 9.0e18L ? INT64_MAX - 1 : static_cast<int64_t>(estimate);
    while (f < INT64_MAX - 1 && media_frame_start(media, f) < total) ++f;
    while (f > 0 && media_frame_start(media, f - 1) >= total) --f;
    return f;
}

int64_t media_frame_samples(const HostMedia& media, int64_t f)
{
    if (f < 0 || f >= media_frame_count(media)) return 0;
    const int64_t total = media_sample_frames(media);
    int64_t end = media_frame_start(media, f + 1);
    if (end > total) end = total;
    return end - media_frame_start(media, f);
}

void media_copy_frames(const HostMedia& media, int64_t from, int64_t count, int16_t* to)
{
    if (count <= 0 || media.channels <= 0) return;
    const size_t channels = static_cast<size_t>(media.channels);
    std::memset(to, 0, static_cast<size_t>(count) * channels * sizeof(int16_t));
    const int64_t held = static_cast<int64_t>(media.audio.size() / channels);
    const int64_t lo = std::max(from, media.held_first);
    const int64_t hi = std::min(from + count, media.held_first + held);
    if (lo >= hi) return;
    std::memcpy(to + static_cast<size_t>(lo - from) * channels,
                media.audio.data() + static_cast<size_t>(lo - media.held_first) * channels,
                static_cast<size_t>(hi - lo) * channels * sizeof(int16_t));
}
