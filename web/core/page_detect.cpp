#include "core/page_detect.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect.h"
#include "tool/analysis/detect_stream.h"
#include "tool/analysis/sample_source.h"
#include "tool/session/fit.h"
#include "tool/analysis/measure.h"
#include "tool/commands/options.h"
#include "tool/commands/parse_units.h"
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

std::string page_detect(FilterTable& table, const Audio& audio, const PageDetectOptions& po)
{
    const SettingOptions so = setting_options(po.start_frame, po.start, po.fps);
    const int32_t rate = audio.rate;
    const int64_t frames = audio.frames();
    resolve_settings(table, so, rate, audio.channels);
    const Placement placement = resolve_placement(so);
    const int64_t first = stretch_first_frame(rate, frames, placement);
    int64_t count = frames - first;
    if (!po.length.empty()) count = std::min<int64_t>(count, std::llround(parse_seconds(po.length) * rate));
    const bool hz_given = po.hz > 0;
    if (hz_given && po.hz >= rate / 2.0)
        throw ToolError(fmt::format("--hz {:g} is not between 0 and half the sampling rate ({:g} Hz)", po.hz,
                                    rate / 2.0));
    if (count < shortest_region(rate))
        throw ToolError(fmt::format("the region holds only {:.3f} s of audio, too little to tell a steady tone; "
                                    "detect needs {:.3f} s",
                                    double(std::max<int64_t>(count, 0)) / rate, double(shortest_region(rate)) / rate));

    // The region looked at a chunk at a time, as the tool looks at a file; frames count
    // from where the region's surround and the fit's reach begin.
    const FrameRange reach = fit_reach(table, rate, frames, placement, first + count);
    const int64_t origin = std::min(reach.first, std::max<int64_t>(0, first - surround_length(rate)));
    SampleSource source = source_of(audio);
    const auto whole = source.fill;
    source.frames = frames - origin;
    source.fill = [&](int64_t from, int64_t end, int16_t* to) { whole(origin + from, origin + end, to); };
    const int64_t at = first - origin;
    int64_t looked_at = 0;
    const auto done = [&](int64_t more) {
        looked_at += more;
        if (po.progress) po.progress(double(looked_at) / double(count));
    };
    const Detection d = detect_tones_in(source, at, count, chunk_plan(rate, audio.channels), done);
    const Detection shown = in_file(d, origin);
    DetectFacts facts;
    facts.path = po.name;
    facts.rate = rate;
    facts.channels = audio.channels;
    facts.frames = frames;
    facts.region_first = first;
    facts.region_end = first + count;
    facts.video_rate_num = placement.video_rate_num;
    facts.video_rate_den = placement.video_rate_den;
    if (d.tones.empty()) return detect_json(facts, shown, nullptr);

    const ChosenTone chosen =
        choose_and_fit(table, source, origin, frames, placement, d, hz_given, po.hz, at, count);
    return detect_json(facts, shown, &chosen);
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
