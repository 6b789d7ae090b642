#pragma once
// Runs the built tool as a user would, in a folder of the test's own, and reads and
// writes the audio files the tests hand it.
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tool/io/audio_file.h"

struct ToolRun {
    int status = -1;     // exit status; -1 when it did not exit normally
    std::string out;     // stdout
    std::string err;     // stderr
};

// A fresh empty folder, removed with its contents on destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

// How the tool's process is set up besides its arguments.
struct ToolSetup {
    std::string stdin_path = "/dev/null";
    bool stdin_pipe = false;      // stdin_path is fed through a pipe instead of opened
    int64_t file_size_limit = 0;  // RLIMIT_FSIZE in bytes; 0: none
    bool size_limit_signal = false; // a write past the limit raises SIGXFSZ instead of failing
    int run_as_uid = -1;          // when root: the user (and group) to run the tool as
    std::string program;          // run in place of the built tool (a copy of it, or a shell); empty: the tool
};

// Runs the tool with `args` in folder `cwd`.
ToolRun run_tool(const std::vector<std::string>& args, const std::string& cwd, const ToolSetup& setup = {});

// Runs the tool with stderr on a terminal (a pseudo-terminal the test reads) and stdout
// into a pipe that is left unread for `hold_ms` milliseconds, so that the tool, once
// the pipe is full, is still at work when that time has passed.
ToolRun run_tool_on_terminal(const std::vector<std::string>& args, const std::string& cwd, int hold_ms);

// A steady sine plus optional white noise, both in full-scale units, deterministic.
Audio sine_audio(int32_t rate, int32_t channels, double seconds, double hz, double amplitude, double noise);

// Amplitude (full scale = 1) of the `hz` component of channel 0 over frames
// [first, first + count), by a Hann-windowed single-frequency DFT.
double tone_amplitude(const Audio& a, double hz, int64_t first, int64_t count);

// Opens `path` to write libsndfile's `format` (SF_FORMAT_...), or nullptr.
SNDFILE* open_sound_for_writing(const std::string& path, int32_t rate, int32_t channels, int format);

bool file_exists(const std::string& path);
std::string read_text(const std::string& path);
