#pragma once
// The plug-in as the tool drives it: loaded from its module by path through
// GetFilterTable and run by the host stand-in, so every processed sample is the
// plug-in's own.
#include <cstdint>
#include <functional>
#include <string>

#include "host/plugin_loader.h"
#include "tool/analysis/audio.h"
#include "tool/analysis/settings.h"
#include "tool/session/placement.h"

// The module built beside this executable (found through /proc/self/exe).
std::string default_plugin_path();

// A module's name as a path: a bare name is a file in the current folder.
std::string module_path(const std::string& name);

// Owns a loaded module for the lifetime of one command.
class PluginSession {
public:
    // Loads module_path(name). Throws ToolError when the module is missing (naming where
    // it was looked for), does not load or lacks GetFilterTable.
    explicit PluginSession(const std::string& name);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    FilterTable& table() const { return *module_.table; }

private:
    PluginModule module_;
};

// The first sample frame of video frame `placement.start_frame` in a file of `frames`
// sample frames at `rate`, as the host splits audio into frames. Throws ToolError when
// that frame lies past the file's end.
int64_t stretch_first_frame(int32_t rate, int64_t frames, const Placement& placement);
int64_t stretch_first_frame(const Audio& audio, const Placement& placement);

// The end of the sample frames the plug-in reads for a stretch of `length` frames: it
// pulls whole video frames from the selection's first until it has the stretch, so
// it reads up to the end of the frame that holds the stretch's last sample frame.
int64_t plugin_reads_until(int32_t rate, int64_t frames, const Placement& placement, int64_t length);

// Runs the host's output pass (or, with `preview`, its preview) over the stretch,
// given a window of a file `file_frames` long that holds every frame the plug-in
// reads: the frames of the selection whose audio starts inside the stretch go through
// the plug-in and come back in `window`; the plug-in leaves every other frame as it is.
// `processed` (may be empty) is told the sample frames of each video frame processed.
void run_plugin_window(FilterTable& table, Audio* window, int64_t file_frames, int64_t stretch_length,
                       const Settings& settings, const Placement& placement, bool preview,
                       const std::function<void(int64_t)>& processed);

// The same over a whole file held in memory, for the demo's short clip.
Audio run_plugin(FilterTable& table, Audio in, const Settings& settings, const Placement& placement, bool preview);
