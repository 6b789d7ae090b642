#pragma once
// The plug-in as the tool drives it: loaded from its module by path through
// GetFilterTable and run by the host stand-in, so every processed sample is the
// plug-in's own.
#include <cstdint>
#include <string>

#include "cli/audio_file.h"
#include "cli/settings.h"
#include "host/plugin_loader.h"

// The module built beside this executable (found through /proc/self/exe).
std::string default_plugin_path();

// Owns a loaded module for the lifetime of one command.
class PluginSession {
public:
    // Throws ToolError when the module does not load or lacks GetFilterTable.
    explicit PluginSession(const std::string& path);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    FilterTable& table() const { return *module_.table; }

private:
    PluginModule module_;
};

// Where the processing starts and how the host is told about the video.
struct Placement {
    int32_t start_frame = 0;      // the selection's first frame
    int32_t video_rate_num = 30;
    int32_t video_rate_den = 1;
};

// The first sample frame of video frame `placement.start_frame` in `audio`, as the host
// splits audio into frames. Throws ToolError when that frame lies past the file's end.
int64_t stretch_first_frame(const Audio& audio, const Placement& placement);

// Runs the host's output pass (or, with `preview`, its preview) over a selection from
// `placement.start_frame` to the file's last frame. Frames before the selection are
// copied untouched. Shows a progress bar on a terminal for long files. `in` is taken
// by value so that a caller done with it can move it in and spare a copy.
Audio run_plugin(FilterTable& table, Audio in, const Settings& settings, const Placement& placement, bool preview);
