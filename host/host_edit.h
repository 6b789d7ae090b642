#pragma once
// The stand-in host's edit: the media, the selection, the output-in-progress flag, the
// slider and check values it attaches to the plug-in's FilterTable, and the four host
// services the plug-in calls.
//
// The EditHandle the plug-in receives (in every ProcessRequest, and passed back to the
// services) is the address of the HostEdit, so the services need no globals and several
// edits may exist side by side. A HostEdit must therefore stay at one address while a
// plug-in may call its services; it may be copied, and the copy is attached afresh by
// host_attach.
#include <cstdint>

#include "host/media.h"
#include "shell/host_interface.h"

// What the source-audio service hands the plug-in. The real host always gives the
// frame's true audio; the others play a hostile host for robustness tests.
enum SourceAudioMode : int32_t {
    source_true = 0,  // the frame's sample frames, as the host would
    source_none = 1,  // writes nothing and returns 0, even for frames that carry audio
    source_one = 2,   // writes and returns 1 sample frame for every frame: the frame's
                      // first, or silence when the frame carries nothing (0 when the
                      // channel count is not positive)
    source_twice = 3, // writes and returns 2 x the frame's sample frames: the frame's
                      // audio twice in a row. The writes are not limited to what the
                      // plug-in's buffer can hold: the real host writes a whole frame
                      // without asking either.
    source_claim = 4, // writes the frame's sample frames, as the host would, but returns
                      // claimed_frames whatever it wrote
};

constexpr int kHostSliders = 5; // slider values the host keeps for the plug-in
constexpr int kHostChecks = 1;  // check-box values

struct HostEdit {
    HostMedia media;
    int32_t selection_first = 0;    // first selected frame
    int32_t selection_last = 0;     // last selected frame (inclusive)
    int32_t output_in_progress = 0; // answer of the output-in-progress query
    int32_t slider_values[kHostSliders] = {};
    int32_t check_values[kHostChecks] = {};
    SourceAudioMode source_mode = source_true;
    int32_t claimed_frames = 0;     // what source_claim answers

    // Counters the services advance on every call, whatever they answer. Tests read
    // source_audio_calls to see whether a processing call re-rendered.
    int64_t source_audio_calls = 0;
    int64_t media_info_calls = 0;
    int64_t selection_calls = 0;
    int64_t output_query_calls = 0;
    int64_t source_calls_past_end = 0; // source-audio calls for frames past the media's end
    // The FilterTable pointer of the most recent source-audio call.
    const FilterTable* last_source_table = nullptr;
    // Where the source-audio service wrote, in samples from the buffer of its first call
    // since source_first_buffer was last set to null: the lowest and one past the highest.
    const int16_t* source_first_buffer = nullptr;
    int64_t source_lowest = 0, source_highest = 0;

    // The service table whose address goes into the FilterTable; host_attach fills it.
    HostServices services = {};
};

// Does what the host does before every call into the plug-in: fills edit->services (the
// four services; every other slot null) and stores into the table the addresses of
// edit->slider_values, edit->check_values and edit->services.
void host_attach(HostEdit* edit, FilterTable* table);

// Sets the slider and check values to the table's defaults, as the host does when the
// filter is first shown. Copies at most kHostSliders and kHostChecks values; values the
// table does not define are set to 0.
void host_load_defaults(HostEdit* edit, const FilterTable* table);

// Selects every frame of the media (first 0, last frame_count - 1; both 0 when the
// media has no frames).
void host_select_all(HostEdit* edit);

// The four services, exactly as the FilterTable's service table holds them (exposed for
// tests that call them directly). A null EditHandle is tolerated: the query answers 0,
// the media information and selection are all zero, and no audio is written.
int32_t TULM_CDECL host_is_output_in_progress(EditHandle edit);
int32_t TULM_CDECL host_get_media_info(EditHandle edit, MediaInfo* info);
int32_t TULM_CDECL host_get_selection(EditHandle edit, int32_t* first, int32_t* last);
int32_t TULM_CDECL host_get_source_audio(FilterTable* table, EditHandle edit, int32_t frame,
                                         int16_t* buffer);
