#pragma once
// The filter's five sliders and one check box: the labels the host shows, the names
// the rest of this system uses, the defaults and the ranges. The FilterTable hands
// these very arrays to the host, the plan clamps with them, and the tool and the tests
// read them here. Depends on nothing, so the tool includes it without linking the core.
#include <cstdint>

enum SliderIndex : int32_t { kFrequency, kSeconds, kFftOrder, kWidth, kFade, kSliderCount };

// Labels in CP932, in slider order.
inline constexpr const char* kSliderLabels[kSliderCount] = {
    "\x8e\xfc\x94\x67\x90\x94",         // 周波数 (frequency, units of 10 Hz)
    "\x95\x62",                         // 秒 (seconds)
    "FFT",                              // FFT (block size, power of two)
    "\x95\x9d",                         // 幅 (width, spectrum entries)
    "\x83\x74\x83\x46\x81\x5b\x83\x68", // フェード (fade, percent)
};
inline constexpr const char* kSliderNames[kSliderCount] = {"frequency", "seconds", "fft_order",
                                                           "width", "fade"};
inline constexpr int32_t kSliderDefaults[kSliderCount] = {100, 2, 11, 30, 25};
inline constexpr int32_t kSliderMinima[kSliderCount] = {1, 1, 9, 5, 0};
inline constexpr int32_t kSliderMaxima[kSliderCount] = {1800, 3, 14, 256, 100};

constexpr int32_t kCheckCount = 1;
inline constexpr const char* kCheckLabels[kCheckCount] = {
    "\x91\x8b\x8a\xd6\x90\x94\x8e\x67\x97\x70", // 窓関数使用 (use window)
};
inline constexpr const char* kCheckNames[kCheckCount] = {"use_window"};
inline constexpr int32_t kCheckDefaults[kCheckCount] = {0};

// A slider value as the plan uses it: one outside the range (a damaged project) is
// taken as the nearest end.
inline int32_t clamp_slider(SliderIndex i, int32_t v)
{
    return v < kSliderMinima[i] ? kSliderMinima[i] : v > kSliderMaxima[i] ? kSliderMaxima[i] : v;
}
