#include "shell/host_key.h"

#include <cstring>

RenderKey g_key;

void clear_key()
{
    std::memset(&g_key, 0, sizeof g_key);
}

int32_t key_changed(FilterTable* table, EditHandle edit)
{
    const int32_t* s = table->slider_values;
    if (s[0] != g_key.frequency || s[1] != g_key.seconds || s[2] != g_key.fft_order ||
        s[3] != g_key.width || s[4] != g_key.fade || table->check_values[0] != g_key.use_window)
        return 1;

    MediaInfo info;
    std::memset(&info, 0, sizeof info);
    table->services->get_media_info(edit, &info);
    if (info.audio_rate != g_key.audio_rate || info.audio_channels != g_key.audio_channels ||
        info.video_rate_num != g_key.video_rate_num || info.video_rate_den != g_key.video_rate_den)
        return 1;

    int32_t first = 0, last = 0;
    table->services->get_selection(edit, &first, &last);
    return first != g_key.first_frame;
}

void capture_key(FilterTable* table, EditHandle edit)
{
    const int32_t* s = table->slider_values;
    g_key.frequency = s[0];
    g_key.seconds = s[1];
    g_key.fft_order = s[2];
    g_key.width = s[3];
    g_key.fade = s[4];
    g_key.use_window = table->check_values[0];

    MediaInfo info;
    std::memset(&info, 0, sizeof info);
    table->services->get_media_info(edit, &info);
    g_key.audio_rate = info.audio_rate;
    g_key.audio_channels = info.audio_channels;
    g_key.video_rate_num = info.video_rate_num;
    g_key.video_rate_den = info.video_rate_den;

    int32_t last = 0;
    table->services->get_selection(edit, &g_key.first_frame, &last);
}
