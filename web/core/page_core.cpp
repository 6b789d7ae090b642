// The page's entries into the tool's own code, called from the page's worker: one file's
// audio held as the plug-in sees it (16-bit, interleaved), the detector and the fit run
// over it as `tulm detect` runs them, and the plug-in itself (linked in, its FilterTable
// taken straight from GetFilterTable) run by the host stand-in as `tulm render` runs it.
//
// Every entry returns 0 on success and leaves its JSON for tulm_result(); a failure
// leaves {"error": {"code": ..., "values": {...}}} there instead, the code and values
// the page words in the user's language, and the held audio as it was.
#include <emscripten/emscripten.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>

#include "tool/analysis/detect.h"
#include "tool/session/fit.h"
#include "tool/analysis/measure.h"
#include "tool/session/plugin_session.h"
#include "tool/report/json.h"
#include "tool/report/report.h"
#include "tool/analysis/settings.h"
#include "tool/analysis/tool_error.h"
#include "tool/analysis/sample_source.h"
#include "core/page_detect.h"
#include "core/page_spectrogram.h"
#include "shell/host_interface.h"

extern "C" FilterTable* TULM_CDECL GetFilterTable(void);

namespace {

Audio g_audio;            // the file's audio as the plug-in sees it
std::string g_result;     // what the last entry produced
std::vector<uint8_t> g_picture;
std::vector<int16_t> g_processed;  // the processed stretch of the last render
PageDetectJob g_job;               // the analysis under way, over the audio held when it began
int64_t g_held = 0;                // counts the audio held, so that a job knows its own
int64_t g_job_held = -1;
std::vector<uint8_t> g_bytes;  // the last chunk's detection

// A job's chunk or end asked for after other audio came in: the job is gone with its audio.
void check_job()
{
    if (g_job_held != g_held) throw ToolError("the file changed while it was analysed");
}

// The plug-in's table, asked for once, as the host asks a loaded module.
FilterTable& filter_table()
{
    static FilterTable* table = GetFilterTable();
    return *table;
}

// A failure as the page reads it; a number JSON cannot hold (NaN, an infinity) as text.
std::string error_json(const char* code, const std::vector<ErrorValue>& values)
{
    std::string v;
    for (const ErrorValue& x : values)
        v += fmt::format("{}{}: {}", v.empty() ? "" : ", ", json_string(x.name),
                         x.is_text                 ? json_string(x.text)
                         : std::isfinite(x.number) ? fmt::format("{}", x.number)
                                                   : json_string(fmt::format("{}", x.number)));
    return fmt::format("{{\"error\": {{\"code\": {}, \"values\": {{{}}}}}}}", json_string(code), v);
}

} // namespace

extern "C" {

// The one place a failure is caught (the link lets only the entries below catch, so
// that the analysis's calls run without the cost of a landing pad each): the current
// exception's sentence for tulm_result().
static int tulm_failed()
{
    try {
        throw;
    } catch (const ToolError& e) {
        g_result = error_json(error_code_name(e.code), e.values);
    } catch (const std::bad_alloc&) {
        g_result = error_json("memory", {});
    } catch (const std::exception& e) {
        g_result = error_json(error_code_name(ErrorCode::kWorded), {ErrorValue("text", e.what())});
    }
    return 1;
}

// Makes room for `frames` frames of `channels` channels at `rate` and returns where the
// page writes them; null when the memory is not there.
EMSCRIPTEN_KEEPALIVE int16_t* tulm_hold(double frames, int32_t channels, int32_t rate)
{
    try {
        ++g_held;
        g_audio = Audio{};
        g_audio.rate = rate;
        g_audio.channels = channels;
        g_audio.samples.assign(size_t(frames) * size_t(channels), 0);
        return g_audio.samples.data();
    } catch (const std::bad_alloc&) {
        g_audio = Audio{};
        return nullptr;
    }
}

EMSCRIPTEN_KEEPALIVE const char* tulm_result() { return g_result.c_str(); }

// `tulm detect --json` over the held audio, in steps (page_detect.h): the job begun with
// the options as the command line spells them (empty text: not given; hz_given 0: not
// given; start_frame < 0: not given; clipped 1: narrowing the file to 16 bits clipped
// samples); the result gives its chunks' count.
EMSCRIPTEN_KEEPALIVE int tulm_analyse_begin(const char* name, int32_t start_frame, const char* start, const char* fps,
                                            const char* length, int32_t hz_given, double hz, int32_t clipped)
{
    try {
        PageDetectOptions o;
        o.name = name;
        o.start_frame = start_frame;
        o.start = start;
        o.fps = fps;
        o.length = length;
        o.hz_given = hz_given != 0;
        o.hz = hz;
        o.clipped = clipped != 0;
        g_job_held = -1;
        g_result = page_detect_begin(filter_table(), g_audio, o, &g_job);
        g_job_held = g_held;
        return 0;
    } catch (...) {
        return tulm_failed();
    }
}

// Where chunk k lies in the held audio: its frames [first, end), and the part of them
// it judges, [at, at + count) counted from `first`, as JSON.
EMSCRIPTEN_KEEPALIVE int tulm_chunk(int32_t k)
{
    try {
        check_job();
        int64_t first = 0, end = 0, at = 0, count = 0;
        page_chunk_frames(g_job, size_t(k), &first, &end, &at, &count);
        g_result = fmt::format("{{\"first\": {}, \"end\": {}, \"at\": {}, \"count\": {}}}", first, end, at, count);
        return 0;
    } catch (...) {
        return tulm_failed();
    }
}

EMSCRIPTEN_KEEPALIVE const int16_t* tulm_held() { return g_audio.samples.data(); }

// A chunk looked at: frames [first, end) of the held audio, or the whole of it when
// `end` is negative (a helper holds one chunk's audio only); its detection's bytes are
// left at tulm_bytes().
EMSCRIPTEN_KEEPALIVE int tulm_analyse_chunk(double first, double end, double at, double count)
{
    try {
        if (end < 0) {
            g_bytes = page_detect_chunk(g_audio, int64_t(at), int64_t(count));
        } else {
            check_job();
            g_bytes = page_detect_chunk(read_frames(source_of(g_audio), int64_t(first), int64_t(end)), int64_t(at),
                                        int64_t(count));
        }
        g_result = fmt::format("{}", g_bytes.size());
        return 0;
    } catch (...) {
        return tulm_failed();
    }
}

EMSCRIPTEN_KEEPALIVE const uint8_t* tulm_bytes() { return g_bytes.data(); }

// The job's answer, `tulm detect --json`'s text, from its chunks' detections put one
// after another in the job's order.
EMSCRIPTEN_KEEPALIVE int tulm_analyse_end(const uint8_t* bytes, int32_t size)
{
    try {
        check_job();
        g_result = page_detect_end(g_job, bytes, size_t(size));
        return 0;
    } catch (...) {
        return tulm_failed();
    }
}

// `tulm render` over the held audio with these sliders (kSliderCount values, then the
// check box) from video frame `start_frame`: the stretch's processed 16-bit samples are
// left at tulm_processed(), and the result is the measurement's JSON with the stretch.
EMSCRIPTEN_KEEPALIVE int tulm_render(const int32_t* values, int32_t start_frame, const char* fps)
{
    try {
        g_result = page_render(filter_table(), g_audio, values, start_frame, fps, &g_processed);
        return 0;
    } catch (...) {
        return tulm_failed();
    }
}

EMSCRIPTEN_KEEPALIVE const int16_t* tulm_processed() { return g_processed.data(); }

// A picture of the held audio's spectrum through time, `columns` x `rows` levels (one
// byte each, column after column, the lowest frequency first) on the axis that
// spectrogram_hz() gives; the result says the picture's shape as JSON.
EMSCRIPTEN_KEEPALIVE int tulm_spectrogram(int32_t columns, int32_t rows)
{
    try {
        g_result = page_spectrogram(g_audio, columns, rows, &g_picture);
        return 0;
    } catch (...) {
        return tulm_failed();
    }
}

EMSCRIPTEN_KEEPALIVE const uint8_t* tulm_picture() { return g_picture.data(); }

// The plug-in's own dialog: its name, slider labels and check box label as the host
// shows them (CP932), with ranges and defaults, as JSON with the labels' bytes listed.
EMSCRIPTEN_KEEPALIVE int tulm_dialog()
{
    try {
        g_result = page_dialog(filter_table());
        return 0;
    } catch (...) {
        return tulm_failed();
    }
}

} // extern "C"
