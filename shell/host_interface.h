#pragma once
// The host's records, as the host lays them out. The host is a 32-bit Windows program:
// wherever pointers are 32 bits every byte offset below is the host's own, checked by
// the compiler. On 64-bit builds (the native tests and tools) the same fields exist
// with natural alignment; only the field names and their meaning carry over there.
#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define TULM_CDECL __cdecl
#else
#define TULM_CDECL
#endif

// Identifies the host's current edit. Opaque: the plug-in only passes it back to the
// host's services.
typedef void* EditHandle;

struct FilterTable;

// What the host hands the processing callback for one video frame. Host-owned; the
// plug-in writes only into `audio`, and never reads it.
struct ProcessRequest {
    int32_t reserved0[7];   // host's
    int32_t frame;          // current frame number (signed)
    int32_t reserved1[3];   // host's
    int16_t* audio;         // interleaved 16-bit samples, `samples` frames x `channels`
    int32_t samples;        // sample frames in `audio`
    int32_t channels;       // channels in `audio`
    int32_t reserved2;      // host's
    EditHandle edit;        // the edit this frame belongs to
};

// Filled by the host's media-information service into a 64-byte area the caller owns.
struct MediaInfo {
    int32_t reserved0[4];   // host's
    int32_t video_rate_num; // frames per second = video_rate_num / video_rate_den
    int32_t video_rate_den;
    int32_t audio_rate;     // sampling rate in Hz
    int32_t audio_channels; // channel count
    int32_t reserved1[8];   // host's
};

// The host's service table. The host stores its address in the FilterTable before it
// calls the plug-in. Only the four slots below are used; the rest are the host's.
struct HostServices {
    void* reserved0[5];
    // Non-zero while the host is writing its output (as opposed to previewing).
    int32_t(TULM_CDECL* is_output_in_progress)(EditHandle edit);
    void* reserved1[17];
    // Fills *info; the result is ignored.
    int32_t(TULM_CDECL* get_media_info)(EditHandle edit, MediaInfo* info);
    void* reserved2[4];
    // Writes the first and last selected frames; the result is ignored.
    int32_t(TULM_CDECL* get_selection)(EditHandle edit, int32_t* first, int32_t* last);
    void* reserved3[14];
    // Writes the audio of `frame` (interleaved, the media's channel count) at `buffer`
    // and returns the number of sample frames written.
    int32_t(TULM_CDECL* get_source_audio)(FilterTable* table, EditHandle edit, int32_t frame,
                                          int16_t* buffer);
};

typedef int32_t(TULM_CDECL* ProcessCallback)(FilterTable* table, ProcessRequest* request);
// Window handle, message number, first and second message parameter. The host passes
// further arguments, which are not read.
typedef int32_t(TULM_CDECL* WindowMessageCallback)(void* window, uint32_t message,
                                                   uintptr_t wparam, intptr_t lparam);

// The registration record: static and writable, it lives as long as the library is
// loaded, and the host may read and write it between calls.
struct FilterTable {
    uint32_t flags;                     // flag word read by the host
    int32_t reserved0[2];               // 0
    const char* name;                   // filter name (CP932)
    int32_t slider_count;               // 5
    const char* const* slider_labels;   // slider_count labels (CP932)
    const int32_t* slider_defaults;
    const int32_t* slider_minima;
    const int32_t* slider_maxima;
    int32_t check_count;                // 1
    const char* const* check_labels;    // check_count labels (CP932)
    const int32_t* check_defaults;
    ProcessCallback process;            // the processing callback
    void* reserved_callbacks[3];        // empty callback slots
    WindowMessageCallback window_message;
    int32_t* slider_values;             // host fills: current slider values
    int32_t* check_values;              // host fills: current check-box values (non-zero = ticked)
    int32_t reserved1[2];               // 0
    const char* information;            // information string (CP932)
    int32_t reserved2[2];               // 0
    HostServices* services;             // host fills: its service table
    int32_t reserved3[10];              // 0
};

// The flag word the plug-in registers with. What each bit asks of the host is the
// host's own and not documented to this plug-in; these three are the ones the host is
// given, named by their place so that the word is never spelled as a bare number.
constexpr uint32_t kFilterFlagBit11 = uint32_t(1) << 11;
constexpr uint32_t kFilterFlagBit18 = uint32_t(1) << 18;
constexpr uint32_t kFilterFlagBit21 = uint32_t(1) << 21;
constexpr uint32_t kFilterFlags = kFilterFlagBit11 | kFilterFlagBit18 | kFilterFlagBit21;
static_assert(kFilterFlags == 0x00240800u, "the flag word the host is given");

// Host notifications through the window-message callback, at the user-message base
// plus 101 and plus 105. Either tells the plug-in that what it rendered may no longer
// match the host's edit: it discards its rendered state.
constexpr uint32_t kUserMessageBase = 0x0400;
constexpr uint32_t kHostNotifyStale101 = kUserMessageBase + 101;
constexpr uint32_t kHostNotifyStale105 = kUserMessageBase + 105;

#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(ProcessRequest, frame) == 28, "host layout");
static_assert(offsetof(ProcessRequest, audio) == 44, "host layout");
static_assert(offsetof(ProcessRequest, samples) == 48, "host layout");
static_assert(offsetof(ProcessRequest, channels) == 52, "host layout");
static_assert(offsetof(ProcessRequest, edit) == 60, "host layout");
static_assert(offsetof(HostServices, is_output_in_progress) == 20, "host layout");
static_assert(offsetof(HostServices, get_media_info) == 92, "host layout");
static_assert(offsetof(HostServices, get_selection) == 112, "host layout");
static_assert(offsetof(HostServices, get_source_audio) == 172, "host layout");
static_assert(offsetof(FilterTable, name) == 12, "host layout");
static_assert(offsetof(FilterTable, slider_count) == 16, "host layout");
static_assert(offsetof(FilterTable, slider_labels) == 20, "host layout");
static_assert(offsetof(FilterTable, slider_maxima) == 32, "host layout");
static_assert(offsetof(FilterTable, check_count) == 36, "host layout");
static_assert(offsetof(FilterTable, check_defaults) == 44, "host layout");
static_assert(offsetof(FilterTable, process) == 48, "host layout");
static_assert(offsetof(FilterTable, window_message) == 64, "host layout");
static_assert(offsetof(FilterTable, slider_values) == 68, "host layout");
static_assert(offsetof(FilterTable, check_values) == 72, "host layout");
static_assert(offsetof(FilterTable, information) == 84, "host layout");
static_assert(offsetof(FilterTable, services) == 96, "host layout");
static_assert(sizeof(FilterTable) == 140, "host layout");
#endif
static_assert(offsetof(MediaInfo, video_rate_num) == 16, "host layout");
static_assert(offsetof(MediaInfo, audio_rate) == 24, "host layout");
static_assert(offsetof(MediaInfo, audio_channels) == 28, "host layout");
static_assert(sizeof(MediaInfo) == 64, "host layout");

extern "C" {
// The only export: returns the static FilterTable. Clears the render key and sets up
// the placeholder buffers first.
FilterTable* TULM_CDECL GetFilterTable(void);
}
