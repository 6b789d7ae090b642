// The registration record and the library's only export.
#include "render/render_key.h"
#include "render/render_span.h"
#include "shell/callbacks.h"
#include "shell/host_interface.h"

// Slider order: frequency, seconds, fft_order, width, fade. Labels in CP932.
static const char* const kSliderLabels[5] = {
    "\x8e\xfc\x94\x67\x90\x94",         // 周波数 (frequency, units of 10 Hz)
    "\x95\x62",                         // 秒 (seconds)
    "FFT",                              // FFT (block size, power of two)
    "\x95\x9d",                         // 幅 (width, spectrum entries)
    "\x83\x74\x83\x46\x81\x5b\x83\x68", // フェード (fade, percent)
};
static const int32_t kSliderDefaults[5] = {100, 2, 11, 30, 25};
static const int32_t kSliderMinima[5] = {1, 1, 9, 5, 0};
static const int32_t kSliderMaxima[5] = {1800, 3, 14, 256, 100};

static const char* const kCheckLabels[1] = {
    "\x91\x8b\x8a\xd6\x90\x94\x8e\x67\x97\x70", // 窓関数使用 (use window)
};
static const int32_t kCheckDefaults[1] = {0};

// Writable: the host fills the value pointers and its service table.
static FilterTable s_filter_table = {
    0x00240800u,
    {0, 0},
    "Pellomar",
    5,
    kSliderLabels,
    kSliderDefaults,
    kSliderMinima,
    kSliderMaxima,
    1,
    kCheckLabels,
    kCheckDefaults,
    process_audio,
    {nullptr, nullptr, nullptr},
    window_message,
    nullptr,
    nullptr,
    {0, 0},
    "Pellomar Ver. 0.3.1 by Orvane",
    {0, 0},
    nullptr,
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// The render buffers start empty (null, length 0) and freeing null is harmless, so
// clearing the key and dropping any span a previous load left is all the set-up the
// renderer needs.
extern "C"
#if !defined(_WIN32)
__attribute__((visibility("default")))
#endif
FilterTable* TULM_CDECL GetFilterTable(void)
{
    clear_key();
    discard_span();
    return &s_filter_table;
}
