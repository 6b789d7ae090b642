#include "host/host_edit.h"

#include <cstring>

static HostEdit* edit_of(EditHandle edit)
{
    return static_cast<HostEdit*>(edit);
}

int32_t TULM_CDECL host_is_output_in_progress(EditHandle handle)
{
    HostEdit* edit = edit_of(handle);
    if (!edit) return 0;
    ++edit->output_query_calls;
    return edit->output_in_progress;
}

int32_t TULM_CDECL host_get_media_info(EditHandle handle, MediaInfo* info)
{
    HostEdit* edit = edit_of(handle);
    // The host writes its whole 64-byte record, so a caller's short area shows up.
    std::memset(info, 0, sizeof *info);
    if (!edit) return 0;
    ++edit->media_info_calls;
    info->video_rate_num = edit->media.video_rate_num;
    info->video_rate_den = edit->media.video_rate_den;
    info->audio_rate = edit->media.audio_rate;
    info->audio_channels = edit->media.channels;
    return 1;
}

int32_t TULM_CDECL host_get_selection(EditHandle handle, int32_t* first, int32_t* last)
{
    HostEdit* edit = edit_of(handle);
    *first = edit ? edit->selection_first : 0;
    *last = edit ? edit->selection_last : 0;
    if (!edit) return 0;
    ++edit->selection_calls;
    return 1;
}

// Writes `count` sample frames of the media starting at sample frame `from`, repeating
// them as often as `copies` says.
static void write_frames(const HostMedia& media, int64_t from, int64_t count, int copies,
                         int16_t* buffer)
{
    if (count <= 0 || media.channels <= 0) return;
    const size_t values = static_cast<size_t>(count) * static_cast<size_t>(media.channels);
    for (int i = 0; i < copies; ++i) media_copy_frames(media, from, count, buffer + i * values);
}

static void record_extent(HostEdit* edit, const int16_t* buffer, int64_t values)
{
    if (!edit->source_first_buffer) {
        edit->source_first_buffer = buffer;
        edit->source_lowest = edit->source_highest = 0;
    }
    const int64_t at = buffer - edit->source_first_buffer;
    if (at < edit->source_lowest) edit->source_lowest = at;
    if (at + values > edit->source_highest) edit->source_highest = at + values;
}

int32_t TULM_CDECL host_get_source_audio(FilterTable* table, EditHandle handle, int32_t frame,
                                         int16_t* buffer)
{
    HostEdit* edit = edit_of(handle);
    if (!edit) return 0;
    ++edit->source_audio_calls;
    edit->last_source_table = table;
    const HostMedia& media = edit->media;
    const int64_t count = media_frame_samples(media, frame);
    const int64_t from = media_frame_start(media, frame);
    if (frame >= media_frame_count(media)) ++edit->source_calls_past_end;
    int64_t written = 0;  // sample frames
    int32_t answer = 0;
    switch (edit->source_mode) {
    case source_none:
        break;
    case source_one:
        if (media.channels <= 0) break;
        if (count > 0)
            write_frames(media, from, 1, 1, buffer);
        else
            std::memset(buffer, 0, static_cast<size_t>(media.channels) * sizeof(int16_t));
        written = answer = 1;
        break;
    case source_twice:
        write_frames(media, from, count, 2, buffer);
        written = answer = static_cast<int32_t>(2 * count);
        break;
    case source_claim:
        write_frames(media, from, count, 1, buffer);
        written = count;
        answer = edit->claimed_frames;
        break;
    case source_true:
    default:
        write_frames(media, from, count, 1, buffer);
        written = answer = static_cast<int32_t>(count);
        break;
    }
    record_extent(edit, buffer, written * (media.channels > 0 ? media.channels : 0));
    return answer;
}

void host_attach(HostEdit* edit, FilterTable* table)
{
    edit->services = HostServices{};
    edit->services.is_output_in_progress = host_is_output_in_progress;
    edit->services.get_media_info = host_get_media_info;
    edit->services.get_selection = host_get_selection;
    edit->services.get_source_audio = host_get_source_audio;
    table->slider_values = edit->slider_values;
    table->check_values = edit->check_values;
    table->services = &edit->services;
}

void host_load_defaults(HostEdit* edit, const FilterTable* table)
{
    for (int i = 0; i < kHostSliders; ++i)
        edit->slider_values[i] =
            table->slider_defaults && i < table->slider_count ? table->slider_defaults[i] : 0;
    for (int i = 0; i < kHostChecks; ++i)
        edit->check_values[i] =
            table->check_defaults && i < table->check_count ? table->check_defaults[i] : 0;
}

void host_select_all(HostEdit* edit)
{
    const int64_t frames = media_frame_count(edit->media);
    edit->selection_first = 0;
    const int64_t last = frames > 0 ? frames - 1 : 0;
    edit->selection_last = last > INT32_MAX ? INT32_MAX : static_cast<int32_t>(last);
}
