#include "tests/win32/synthetic_media.h"

#include <cmath>
#include <cstring>

#include "render/slider_table.h"

void make_synthetic_edit(HostEdit* edit)
{
    HostMedia& media = edit->media;
    media.audio_rate = kRate;
    media.channels = 2;
    media.video_rate_num = 30;
    media.video_rate_den = 1;
    media.audio.resize(static_cast<size_t>(kSampleFrames * 2));
    const double pi = std::acos(-1.0);
    for (int t = 0; t < kSampleFrames; ++t) {
        media.audio[static_cast<size_t>(2 * t)] =
            static_cast<int16_t>(std::lround(kAmplitude * std::sin(2.0 * pi * kNotchHz * t / kRate)));
        media.audio[static_cast<size_t>(2 * t + 1)] =
            static_cast<int16_t>(std::lround(kAmplitude * std::sin(2.0 * pi * kPassHz * t / kRate)));
    }
    std::memcpy(edit->slider_values, kSliderDefaults, sizeof kSliderDefaults);
    edit->check_values[0] = kCheckDefaults[0];
    edit->selection_first = kFirstFrame;
    edit->selection_last = kFrames - 1;
    edit->output_in_progress = 0;
    edit->source_mode = source_true;
}
