#pragma once
// The render plan's arithmetic, for the plan and for anyone who must say what the
// plug-in will do (the tool, the tests): block size, notch entry, hop, span length,
// fade length, the first sample frame of a video frame and the video frame that holds a
// sample frame, and whether a plan's buffers hold the span and one frame's audio. 64-bit throughout, so that
// absurd rates from a damaged header cannot overflow it. Depends on nothing, so the
// tool includes it without linking the core.
#include <cstdint>

// FFT block size n = 2^fft_order.
inline int64_t plan_block_size(int32_t fft_order)
{
    return int64_t(1) << fft_order;
}

// Block hop 3n/4, and the overlap and ramp length n/4.
inline int64_t plan_hop(int64_t n)
{
    return 3 * n / 4;
}

inline int64_t plan_quarter(int64_t n)
{
    return n / 4;
}

// What the notch assumes one spectrum entry to span, in Hz. Saved projects keep their
// notch where it always was, so the spacing is the whole-Hz (rate / 2) / n, truncated;
// only a block of more than half a second (which would give 0) uses the exact
// rate / (2n).
inline double plan_entry_spacing(int64_t rate, int64_t n)
{
    const int64_t s = (rate / 2) / n;
    return s > 0 ? double(s) : double(rate) / (2.0 * double(n));
}

// Hz one step of the frequency slider asks for.
constexpr int32_t kFrequencyUnitHz = 10;

// The notch centre: entry trunc(frequency x 10 / spacing + 0.5) of the n-double
// spectrum array. Needs rate > 0. May lie past the array (at n or above).
inline int64_t plan_notch_entry(int32_t frequency, int64_t rate, int64_t n)
{
    return int64_t(int64_t(frequency) * kFrequencyUnitHz / plan_entry_spacing(rate, n) + 0.5);
}

// Sample frames in the span: `seconds` of audio rounded up to whole hops, plus the
// last block's ramp, so that the length less a quarter block is a whole number of hops.
inline int64_t plan_span_length(int32_t seconds, int64_t rate, int64_t n)
{
    const int64_t h = plan_hop(n);
    const int64_t t = seconds * rate + h - 1;
    return t - t % h + plan_quarter(n);
}

// Fade-in length in sample frames: `fade` percent of the span, truncated.
inline int64_t plan_fade_length(int32_t fade, int64_t span_length)
{
    return fade * span_length / 100;
}

// floor(a / b) for b > 0; integer division truncates toward zero.
inline int64_t plan_floor_div(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// The first sample frame of video frame f: floor(f x rate x den / num), for rate, num
// and den > 0 and any f. With rate x den = whole x num + part and f = fq x num + fr,
// that is f x whole + fq x part + floor(fr x part / num), where only f x whole can
// leave 64 bits; it then saturates at the end of the range f points to.
inline int64_t plan_frame_start(int64_t f, int32_t rate, int32_t num, int32_t den)
{
    const int64_t per_frame = int64_t(rate) * den;
    const int64_t whole = per_frame / num, part = per_frame % num;
    const int64_t fq = f / num, fr = f % num;
    const int64_t beyond = f < 0 ? INT64_MIN : INT64_MAX;
    int64_t head = 0, sum = 0;
    if (__builtin_mul_overflow(f, whole, &head)) return beyond;
    if (__builtin_add_overflow(head, fq * part + plan_floor_div(fr * part, num), &sum)) return beyond;
    return sum;
}

// The video frame that holds sample frame s: the last f whose first sample frame
// plan_frame_start(f) is at or before s. Every frame number said of a sample frame is
// this one, so that a stretch starting at frame f is said to start in frame f. The
// estimate in long double is settled on the exact starts.
inline int64_t plan_frame_of(int64_t s, int32_t rate, int32_t num, int32_t den)
{
    const long double estimate = static_cast<long double>(s) * num / (static_cast<long double>(rate) * den);
    int64_t f = estimate >= 9.0e18L ? INT64_MAX - 1 : estimate <= -9.0e18L ? INT64_MIN + 1 : int64_t(estimate);
    while (plan_frame_start(f, rate, num, den) > s) --f;
    while (plan_frame_start(f + 1, rate, num, den) <= s) ++f;
    return f;
}

// The largest buffer of 16-bit samples a plan may ask for (128 MiB). Media whose span
// and one frame's audio need more (absurd rates, channel counts or frame lengths) is
// not rendered. A 3 s span of 8 channels at 192 kHz needs under 5 million samples.
constexpr int64_t kMaxBufferSamples = int64_t(1) << 26;

// One frame's audio is at most ceil(rate x den / num) sample frames; a source-audio
// call may write twice that (plus a little) without reaching past the capture.
inline int64_t plan_frame_capacity(int64_t rate, int64_t num, int64_t den)
{
    return 2 * ((rate * den + num - 1) / num) + 16;
}

// Whether a span of `span` sample frames and one source-audio call's capacity fit the
// plan's buffer at `channels` channels.
inline bool plan_fits(int64_t span, int64_t frame_capacity, int64_t channels)
{
    return span + frame_capacity <= kMaxBufferSamples / channels;
}

// The most sample frames one video frame may hold for plan_fits() to hold with this span
// and channel count; 0 or less when not even a one-sample frame fits.
inline int64_t plan_longest_frame(int64_t span, int64_t channels)
{
    return (kMaxBufferSamples / channels - span - 16) / 2;
}
