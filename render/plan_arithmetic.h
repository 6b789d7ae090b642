#pragma once
// The render plan's arithmetic, for the plan and for anyone who must say what the
// plug-in will do (the tool, the tests): block size, notch entry, hop, span length,
// fade length and the first sample frame of a video frame. 64-bit throughout, so that
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
