#include "tool/session/plugin_session.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "host/host_process.h"
#include "host/window_messages.h"
#include "tool/analysis/tool_error.h"

std::string default_plugin_path()
{
    char buf[PATH_MAX];
    const ssize_t len = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (len <= 0) return "tulm.so";
    const std::string exe(buf, size_t(len));
    const size_t slash = exe.find_last_of('/');
    return exe.substr(0, slash + 1) + "tulm.so";
}

std::string module_path(const std::string& name)
{
    return name.find('/') == std::string::npos ? "./" + name : name;
}

PluginSession::PluginSession(const std::string& name)
{
    // The loader searches the system's library folders for a name without a slash; a
    // user who names a module means a file.
    const std::string path = module_path(name);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        char cwd[PATH_MAX];
        const std::string where = path[0] == '/' || !getcwd(cwd, sizeof cwd) ? path : std::string(cwd) + "/" + (path.compare(0, 2, "./") == 0 ? path.substr(2) : path);
        throw path == default_plugin_path() ? ToolError(ErrorCode::kModuleNotBeside, {{"where", where}})
                                            : ToolError(ErrorCode::kModuleMissing, {{"name", name}, {"where", where}});
    }
    std::string why;
    if (!plugin_load(path.c_str(), &module_, &why)) throw ToolError(why);
    if (module_.table->slider_count < kSliderCount || module_.table->check_count < 1) {
        plugin_unload(&module_);
        throw ToolError(ErrorCode::kModuleSliders, {{"path", path},
                                                    {"sliders", double(module_.table->slider_count)},
                                                    {"needed", double(kSliderCount)}});
    }
}

PluginSession::~PluginSession() { plugin_unload(&module_); }

static HostMedia media_for(int32_t rate, int32_t channels, int64_t frames, const Placement& placement)
{
    HostMedia media;
    media.audio_rate = rate;
    media.channels = channels;
    media.length = frames;
    media.video_rate_num = placement.video_rate_num;
    media.video_rate_den = placement.video_rate_den;
    return media;
}

int64_t stretch_first_frame(int32_t rate, int64_t frames, const Placement& placement)
{
    const HostMedia media = media_for(rate, 1, frames, placement);
    const int64_t frames_in_file = media_frame_count(media);
    if (placement.start_frame < 0 || placement.start_frame >= frames_in_file) {
        const double fps = double(placement.video_rate_num) / placement.video_rate_den;
        throw ToolError(ErrorCode::kStretchPastEnd, {{"frame", double(placement.start_frame)},
                                                     {"seconds", placement.start_frame / fps},
                                                     {"file_frames", double(frames_in_file)},
                                                     {"file_seconds", double(frames) / rate}});
    }
    return media_frame_start(media, placement.start_frame);
}

int64_t stretch_first_frame(const Audio& audio, const Placement& placement)
{
    return stretch_first_frame(audio.rate, audio.frames(), placement);
}

// The last video frame whose audio starts before `end`.
static int64_t last_frame_before(const HostMedia& media, int64_t from_frame, int64_t end)
{
    int64_t lo = from_frame, hi = std::max<int64_t>(media_frame_count(media) - 1, from_frame);
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo + 1) / 2;
        if (media_frame_start(media, mid) < end) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

int64_t plugin_reads_until(int32_t rate, int64_t frames, const Placement& placement, int64_t length)
{
    const HostMedia media = media_for(rate, 1, frames, placement);
    const int64_t first = media_frame_start(media, placement.start_frame);
    const int64_t last = last_frame_before(media, placement.start_frame, first + length);
    return std::min(frames, media_frame_start(media, last + 1));
}

void run_plugin_window(FilterTable& table, Audio* window, int64_t file_frames, int64_t stretch_length,
                       const Settings& settings, const Placement& placement, bool preview,
                       const std::function<void(int64_t)>& processed)
{
    HostEdit edit;
    edit.media = media_for(window->rate, window->channels, file_frames, placement);
    edit.media.held_first = window->first_frame;
    edit.media.audio = std::move(window->samples);
    host_load_defaults(&edit, &table);
    for (int i = 0; i < kSliderCount; ++i) edit.slider_values[i] = settings.slider[i];
    edit.check_values[0] = settings.use_window;
    edit.selection_first = placement.start_frame;
    edit.selection_last = int32_t(std::min<int64_t>(media_frame_count(edit.media) - 1, INT32_MAX));
    edit.output_in_progress = preview ? 0 : 1;

    // The plug-in changes nothing past its stretch, so the frames after the last one
    // that starts inside it would only be copied through.
    const int64_t first = media_frame_start(edit.media, placement.start_frame);
    const int64_t last = std::min<int64_t>(last_frame_before(edit.media, placement.start_frame, first + stretch_length),
                                           edit.selection_last);
    // Tell the plug-in its media changed, as the host does when another file is opened:
    // its render key holds only settings, media format and start frame, so a second
    // file alike in all of them would otherwise get the first file's stretch.
    host_send_message(&table, nullptr, kHostNotifyStale101, 0, 0);
    // The plug-in reads the frames it was given until the last is processed, so what it
    // returns is held apart until then: only the frames it returns, not a second window.
    const size_t channels = size_t(window->channels);
    const int64_t out_first = media_frame_start(edit.media, placement.start_frame) - window->first_frame;
    std::vector<int16_t> out;
    std::vector<int16_t> frame_audio;
    for (int64_t f = placement.start_frame; f <= last; ++f) {
        host_process_media_frame(&edit, &table, int32_t(f), &frame_audio);
        const int64_t at = media_frame_start(edit.media, f) - window->first_frame;
        const size_t from = size_t((at - out_first) * int64_t(channels));
        if (out.size() < from + frame_audio.size()) out.resize(from + frame_audio.size());
        std::copy(frame_audio.begin(), frame_audio.end(), out.begin() + int64_t(from));
        if (processed) processed(int64_t(frame_audio.size() / channels));
    }
    window->samples = std::move(edit.media.audio);
    std::copy(out.begin(), out.end(), window->samples.begin() + out_first * int64_t(channels));
}

Audio run_plugin(FilterTable& table, Audio in, const Settings& settings, const Placement& placement, bool preview)
{
    const int64_t frames = in.frames();
    const NotchGeometry g = notch_geometry(settings, in.rate);
    run_plugin_window(table, &in, frames, g.length, settings, placement, preview, nullptr);
    return in;
}
