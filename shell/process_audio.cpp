#include <cstring>

#include "render/plan_arithmetic.h"
#include "render/render_plan.h"
#include "render/render_span.h"
#include "shell/callbacks.h"
#include "shell/host_key.h"

int64_t frame_offset(int32_t frame, int32_t first, int32_t rate, int32_t num, int32_t den)
{
    return plan_frame_start(frame, rate, num, den) - plan_frame_start(first, rate, num, den);
}

// The renderer reads the span's source through the host's source-audio service, with
// the table and edit of the call that asked for the render.
struct HostSource {
    FilterTable* table;
    EditHandle edit;
};

static int32_t read_host_source(void* context, int32_t frame, int16_t* buffer)
{
    const HostSource* s = static_cast<const HostSource*>(context);
    return s->table->services->get_source_audio(s->table, s->edit, frame, buffer);
}

static void copy_slice(ProcessRequest* request, int64_t from, int64_t frames)
{
    std::memcpy(request->audio, g_span.samples + from * g_span.channels,
                size_t(frames) * size_t(g_span.channels) * sizeof(int16_t));
}

// While the host writes its output it asks for consecutive frames, so the span is
// handed out in order from the cursor, whatever the frame numbers say.
static void deliver_in_order(ProcessRequest* request)
{
    const int32_t remaining = g_span.length - g_span.cursor;
    const int32_t count = request->samples < remaining ? request->samples : remaining;
    if (count <= 0) return;
    copy_slice(request, g_span.cursor, count);
    g_span.cursor += count;
}

static void deliver_at_frame(ProcessRequest* request)
{
    const int64_t offset = frame_offset(request->frame, g_plan.start_frame, g_plan.audio_rate,
                                        g_plan.video_rate_num, g_plan.video_rate_den);
    if (offset < 0 || offset >= g_span.length) return;
    const int64_t remaining = g_span.length - offset;
    copy_slice(request, offset, request->samples < remaining ? request->samples : remaining);
}

int32_t TULM_CDECL process_audio(FilterTable* table, ProcessRequest* request)
{
    if (!table || !request || !table->services || !table->slider_values ||
        !table->check_values)
        return 1;
    HostServices* services = table->services;
    const EditHandle edit = request->edit;

    if (key_changed(table, edit)) {
        capture_key(table, edit);
        HostSource host_source = {table, edit};
        const int32_t planned = derive_plan(g_key);
        const int32_t rendered = render_span(SourceReader{read_host_source, &host_source});
        // Out of memory: render nothing now and try again on the next call.
        if (!planned || !rendered) clear_key();
    }

    if (g_span.length <= 0 || !request->audio || request->samples <= 0 ||
        request->channels != g_span.channels)
        return 1;
    if (services->is_output_in_progress(edit)) deliver_in_order(request);
    else deliver_at_frame(request);
    return 1;
}
