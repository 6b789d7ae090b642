#include "cli/plugin_session.h"

#include <climits>
#include <cmath>
#include <unistd.h>

#include <fmt/format.h>

#include "cli/progress.h"
#include "cli/tool_error.h"
#include "host/host_process.h"
#include "host/window_messages.h"

std::string default_plugin_path()
{
    char buf[PATH_MAX];
    const ssize_t len = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (len <= 0) return "tulm.so";
    const std::string exe(buf, size_t(len));
    const size_t slash = exe.find_last_of('/');
    return exe.substr(0, slash + 1) + "tulm.so";
}

PluginSession::PluginSession(const std::string& path)
{
    std::string why;
    if (!plugin_load(path.c_str(), &module_, &why)) throw ToolError(why);
    if (module_.table->slider_count < kSliderCount || module_.table->check_count < 1) {
        plugin_unload(&module_);
        throw ToolError(path + ": the module's filter has " + std::to_string(module_.table->slider_count) +
                        " sliders, not the " + std::to_string(kSliderCount) + " this tool sets");
    }
}

PluginSession::~PluginSession() { plugin_unload(&module_); }

static HostMedia media_for(const Audio& audio, const Placement& placement)
{
    HostMedia media;
    media.audio_rate = audio.rate;
    media.channels = audio.channels;
    media.video_rate_num = placement.video_rate_num;
    media.video_rate_den = placement.video_rate_den;
    return media;
}

int64_t stretch_first_frame(const Audio& audio, const Placement& placement)
{
    const HostMedia media = media_for(audio, placement);
    // Frames that carry audio: the smallest F whose start lies at or past the end.
    // Searched rather than asked of the media, which would need a copy of the audio.
    int64_t lo = 0, hi = INT32_MAX;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (media_frame_start(media, mid) >= audio.frames()) hi = mid;
        else lo = mid + 1;
    }
    const int64_t frames_in_file = lo;
    if (placement.start_frame < 0 || placement.start_frame >= frames_in_file) {
        const double fps = double(placement.video_rate_num) / placement.video_rate_den;
        throw ToolError(fmt::format("the stretch starts at frame {} ({:.3f} s), past the end of the file "
                                    "({} frames, {:.3f} s)",
                                    placement.start_frame, placement.start_frame / fps, frames_in_file,
                                    double(audio.frames()) / audio.rate));
    }
    return media_frame_start(media, placement.start_frame);
}

static void show_progress(void* user, int64_t done, int64_t /*total*/)
{
    static_cast<Progress*>(user)->update(done);
}

Audio run_plugin(FilterTable& table, Audio in, const Settings& settings, const Placement& placement, bool preview)
{
    HostEdit edit;
    edit.media = media_for(in, placement);
    edit.media.audio = std::move(in.samples);
    host_load_defaults(&edit, &table);
    for (int i = 0; i < kSliderCount; ++i) edit.slider_values[i] = settings.slider[i];
    edit.check_values[0] = settings.use_window;
    edit.selection_first = placement.start_frame;
    edit.selection_last = int32_t(std::min<int64_t>(media_frame_count(edit.media) - 1, INT32_MAX));

    Audio out;
    out.rate = in.rate;
    out.channels = in.channels;
    // Tell the plug-in its media changed, as the host does when another file is opened:
    // its render key holds only settings, media format and start frame, so a second
    // file alike in all of them would otherwise get the first file's stretch.
    host_send_message(&table, nullptr, kHostNotifyA, 0, 0);
    Progress progress(preview ? "previewing" : "rendering", edit.selection_last - edit.selection_first + 1);
    if (preview) host_run_preview(&edit, &table, &out.samples, show_progress, &progress);
    else host_run_output(&edit, &table, &out.samples, show_progress, &progress);
    progress.finish();
    return out;
}
