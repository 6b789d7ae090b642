#include "tests/render/fake_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "shell/host_key.h"
#include "shell/callbacks.h"

static FakeHost* host_of(EditHandle edit)
{
    return static_cast<FakeHost*>(edit);
}

static int32_t TULM_CDECL fake_writing(EditHandle edit)
{
    return host_of(edit)->writing;
}

static int32_t TULM_CDECL fake_media_info(EditHandle edit, MediaInfo* info)
{
    const FakeHost* h = host_of(edit);
    info->video_rate_num = h->num;
    info->video_rate_den = h->den;
    info->audio_rate = h->rate;
    info->audio_channels = h->channels;
    return 1;
}

static int32_t TULM_CDECL fake_selection(EditHandle edit, int32_t* first, int32_t* last)
{
    *first = host_of(edit)->first;
    *last = host_of(edit)->last;
    return 1;
}

int64_t frame_start(const FakeHost& host, int32_t f)
{
    const int64_t p = int64_t(f) * host.rate * host.den;
    return p / host.num - (p % host.num < 0 ? 1 : 0);
}

// Frame f's audio is media frames start(f) .. start(f + 1) - 1; frames before the media
// are silence. Past the end it returns 0, but after 8 such calls it hands out silent
// frames, so that a capture that never stops on 0 still ends (and the test can fail).
static int32_t TULM_CDECL fake_source(FilterTable*, EditHandle edit, int32_t frame,
                                      int16_t* buffer)
{
    FakeHost* h = host_of(edit);
    ++h->source_calls;
    const int64_t total = int64_t(h->media.size()) / h->channels;
    const int64_t from = frame_start(*h, frame), to = frame_start(*h, frame + 1);
    int64_t count = to - from;
    if (from >= total && ++h->calls_past_end <= 8) return 0;
    if (from < total) count = std::min(to, total) - from;
    for (int64_t i = 0; i < count * h->channels; ++i) {
        const int64_t at = from * h->channels + i;
        buffer[i] = (at >= 0 && from < total) ? h->media[at] : 0;
    }
    const bool first_call = !h->base;
    if (first_call) h->base = buffer;
    h->lowest = std::min<int64_t>(h->lowest, buffer - h->base);
    h->highest = std::max<int64_t>(h->highest, buffer - h->base + count * h->channels);
    return h->claim && !first_call ? h->claim : int32_t(count);
}

void attach(FakeHost* host)
{
    host->services.is_output_in_progress = fake_writing;
    host->services.get_media_info = fake_media_info;
    host->services.get_selection = fake_selection;
    host->services.get_source_audio = fake_source;
    host->table = GetFilterTable();
    host->table->slider_values = host->sliders;
    host->table->check_values = &host->check;
    host->table->services = &host->services;
}

void process(FakeHost* host, int32_t frame, std::vector<int16_t>* audio, int32_t channels)
{
    ProcessRequest request;
    std::memset(&request, 0, sizeof request);
    request.frame = frame;
    request.audio = audio->data();
    request.samples = int32_t(audio->size()) / channels;
    request.channels = channels;
    request.edit = host;
    EXPECT_EQ(process_audio(host->table, &request), 1);
}

void render(FakeHost* host)
{
    attach(host);
    clear_key();
    host->base = nullptr;
    host->lowest = host->highest = 0;
    std::vector<int16_t> none;
    process(host, host->first, &none, host->channels);
}

std::vector<int16_t> tone(int32_t rate, int32_t channels, int32_t frames, double hz,
                          double amplitude)
{
    const double pi = 3.14159265358979323846;
    std::vector<int16_t> out(size_t(frames) * channels);
    for (int32_t t = 0; t < frames; ++t)
        for (int32_t k = 0; k < channels; ++k)
            out[size_t(t) * channels + k] =
                int16_t(std::lround(amplitude * std::sin(2 * pi * hz * t / rate)));
    return out;
}
