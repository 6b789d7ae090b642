#include "core/page_detect.h"
#include "core/page_chunks.h"

#include <fmt/format.h>

#include <algorithm>

#include "tool/analysis/sample_source.h"
#include "tool/session/detect_use_case.h"
#include "tool/analysis/measure.h"
#include "tool/commands/options.h"
#include "tool/session/plugin_session.h"
#include "tool/report/detect_json.h"
#include "tool/report/report.h"
#include "tool/report/svg_plot.h"
#include "tool/analysis/tool_error.h"
#include "shell/host_interface.h"

namespace {

// Frames [first, end) of `audio` as a window of the file, as the tool reads a region.
Audio window_of(const Audio& audio, int64_t first, int64_t end)
{
    Audio w;
    w.rate = audio.rate;
    w.channels = audio.channels;
    w.first_frame = first;
    w.samples.assign(audio.samples.begin() + first * audio.channels, audio.samples.begin() + end * audio.channels);
    return w;
}

SettingOptions setting_options(int32_t start_frame, const std::string& start, const std::string& fps)
{
    SettingOptions o;
    o.fps = fps;
    o.start = start;
    if (start_frame >= 0) {
        o.start_frame = start_frame;
        o.start_frame_given = true;
    }
    return o;
}

std::string json_bytes(const char* text)
{
    std::string out = "[";
    for (const char* c = text; *c; ++c) out += fmt::format("{}{}", c == text ? "" : ", ", unsigned(uint8_t(*c)));
    return out + "]";
}

} // namespace

std::string page_detect_begin(FilterTable& table, const Audio& audio, const PageDetectOptions& po, PageDetectJob* job)
{
    *job = PageDetectJob{};
    job->table = &table;
    job->audio = &audio;
    const SettingOptions so = setting_options(po.start_frame, po.start, po.fps);
    job->request = detect_request(table, po.name, so, po.length, po.hz_given, po.hz, audio.rate, audio.channels);
    // The audio in memory, read a chunk at a time as the tool reads a file.
    DetectFile& file = job->file;
    file.rate = audio.rate;
    file.channels = audio.channels;
    file.frames = audio.frames();
    job->whole = source_of(audio);
    const SampleSource* whole = &job->whole;
    file.from = [whole](int64_t origin) {
        SampleSource s = *whole;
        s.frames = whole->frames - origin;
        s.fill = [whole, origin](int64_t from, int64_t end, int16_t* to) {
            whole->fill(origin + from, origin + end, to);
        };
        return s;
    };
    // The page narrows the whole file as it is held; the tool, what it reads of it.
    const bool clipped = po.clipped;
    file.clipped = [clipped] { return clipped; };
    job->job = detect_job(table, file, job->request);
    std::string adds;
    const DetectJob& j = job->job;
    for (size_t k = 0; k < j.chunks.size(); ++k)
        adds += fmt::format("{}{}", k ? ", " : "", chunk_adds(j.chunks, k, j.first - j.origin));
    return fmt::format("{{\"chunks\": {}, \"region_frames\": {}, \"adds\": [{}]}}", j.chunks.size(), j.count, adds);
}

void page_chunk_frames(const PageDetectJob& job, size_t k, int64_t* first, int64_t* end, int64_t* at, int64_t* count)
{
    const ChunkSpan& c = job.job.chunks.at(k);
    *first = job.job.origin + c.from;
    *end = job.job.origin + c.to;
    *at = c.at;
    *count = c.count;
}

std::vector<uint8_t> page_detect_chunk(const Audio& audio, int64_t at, int64_t count)
{
    ChunkSpan span;
    span.to = audio.frames();
    span.at = at;
    span.count = count;
    std::vector<uint8_t> bytes;
    put_detection(detect_chunk(audio, span), &bytes);
    return bytes;
}

std::string page_detect_end(const PageDetectJob& job, const uint8_t* bytes, size_t size)
{
    const std::vector<Detection> chunks = detections_of(bytes, size);
    if (chunks.size() != job.job.chunks.size()) throw ToolError("a chunk's detection is missing");
    const SampleSource source = job.file.from(job.job.origin);
    const DetectAnswer a = detect_answer(*job.table, job.file, job.request, job.job, source, chunks);
    return detect_json(a.facts, a.detection, a.chosen_given ? &a.chosen : nullptr);
}

std::string page_render(FilterTable& table, const Audio& audio, const int32_t* values, int32_t start_frame,
                        const std::string& fps, std::vector<int16_t>* processed)
{
    SettingOptions so = setting_options(start_frame, "", fps);
    for (int i = 0; i < kSliderCount; ++i) {
        so.slider[i] = values[i];
        so.given[i] = true;
    }
    so.window = values[kSliderCount] != 0;
    so.no_window = !so.window;
    const int32_t rate = audio.rate;
    const int64_t frames = audio.frames();
    const Settings settings = resolve_settings(table, so, rate, audio.channels);
    const Placement placement = resolve_placement(so);
    const int64_t first = stretch_first_frame(rate, frames, placement);
    const NotchGeometry g = notch_geometry(settings, rate);
    const int64_t stretch_end = std::min(frames, first + g.length);
    const int64_t window_first = std::max<int64_t>(0, first - plot_margin(rate));
    const int64_t window_end =
        std::min(frames, std::max(plugin_reads_until(rate, frames, placement, g.length), stretch_end + plot_margin(rate)));

    const Audio in16 = window_of(audio, window_first, window_end);
    Audio out16 = in16;
    run_plugin_window(table, &out16, frames, g.length, settings, placement, false, {});
    const int64_t at = first - window_first;
    processed->assign(out16.samples.begin() + at * audio.channels,
                      out16.samples.begin() + (stretch_end - window_first) * audio.channels);
    const Measurement m = measure(in16, out16, at, g);
    return fmt::format("{{\"first_frame\": {}, \"end_frame\": {}, \"measurement\": {}}}", first, stretch_end,
                       measurement_json(m, settings, rate));
}

std::string page_dialog(const FilterTable& table)
{
    const Settings defaults = default_settings(table);
    const SliderRanges ranges = slider_ranges(table);
    std::string sliders;
    for (int i = 0; i < kSliderCount; ++i)
        sliders += fmt::format("{}{{\"name\": \"{}\", \"label\": {}, \"minimum\": {}, \"maximum\": {}, "
                               "\"default\": {}}}",
                               i ? ", " : "", kSliderNames[i], json_bytes(table.slider_labels[i]), ranges.minimum[i],
                               ranges.maximum[i], defaults.slider[i]);
    // Speech's band as the measurement bounds it, so that the page names its limits.
    return fmt::format("{{\"name\": {}, \"sliders\": [{}], \"check\": {{\"name\": \"{}\", \"label\": {}, "
                       "\"default\": {}}}, \"speech_band\": [{:g}, {:g}]}}",
                       json_bytes(table.name), sliders, kCheckNames[0], json_bytes(table.check_labels[0]),
                       defaults.use_window, kSpeechLowHz, kSpeechHighHz);
}
