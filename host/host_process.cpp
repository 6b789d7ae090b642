#include "host/host_process.h"

#include <algorithm>
#include <cstring>

int32_t host_process_raw(HostEdit* edit, FilterTable* table, int32_t frame, int16_t* audio,
                         int32_t samples, int32_t channels)
{
    host_attach(edit, table);
    ProcessRequest request;
    std::memset(&request, 0, sizeof request);
    request.frame = frame;
    request.audio = audio;
    request.samples = samples;
    request.channels = channels;
    request.edit = edit;
    return table->process(table, &request);
}

int32_t host_process_media_frame(HostEdit* edit, FilterTable* table, int32_t frame,
                                 std::vector<int16_t>* frame_audio)
{
    const HostMedia& media = edit->media;
    const int64_t samples = media_frame_samples(media, frame);
    const int64_t channels = media.channels > 0 ? media.channels : 0;
    // Sized exactly for the frame, so a plug-in writing past it is caught by the
    // sanitizers as it would corrupt the real host's heap.
    frame_audio->clear();
    if (samples > 0) {
        frame_audio->resize(static_cast<size_t>(samples * channels));
        media_copy_frames(media, media_frame_start(media, frame), samples, frame_audio->data());
    }
    return host_process_raw(edit, table, frame, frame_audio->data(),
                            static_cast<int32_t>(samples), media.channels);
}

int64_t host_run_frames(HostEdit* edit, FilterTable* table, int64_t first, int64_t last,
                        int32_t writing, std::vector<int16_t>* output, HostProgress progress,
                        void* user)
{
    *output = edit->media.audio;
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>({last, media_frame_count(edit->media) - 1, INT32_MAX});
    const int64_t total = last >= first ? last - first + 1 : 0;
    const int32_t saved = edit->output_in_progress;
    edit->output_in_progress = writing;
    std::vector<int16_t> frame_audio;
    for (int64_t f = first; f <= last; ++f) {
        host_process_media_frame(edit, table, static_cast<int32_t>(f), &frame_audio);
        const int64_t at = media_frame_start(edit->media, f) * edit->media.channels;
        std::copy(frame_audio.begin(), frame_audio.end(), output->begin() + at);
        if (progress) progress(user, f - first + 1, total);
    }
    edit->output_in_progress = saved;
    return total;
}

int64_t host_run_output(HostEdit* edit, FilterTable* table, std::vector<int16_t>* output,
                        HostProgress progress, void* user)
{
    return host_run_frames(edit, table, edit->selection_first, edit->selection_last, 1, output,
                           progress, user);
}

int64_t host_run_preview(HostEdit* edit, FilterTable* table, std::vector<int16_t>* output,
                         HostProgress progress, void* user)
{
    return host_run_frames(edit, table, edit->selection_first, edit->selection_last, 0, output,
                           progress, user);
}
