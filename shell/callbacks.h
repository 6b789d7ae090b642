#pragma once
// The two callbacks the FilterTable hands the host, and the frame-to-span mapping the
// preview path uses.
//
// Threading, as the host gives it: the host calls GetFilterTable, process_audio and
// window_message from its own thread, one call at a time; no two of them
// ever overlap, and none is re-entered from inside another (the host's services that
// process_audio calls do not call back into the plug-in). The plug-in starts no
// threads and takes no locks: the key, the plan and the span are shared by both
// callbacks unprotected, which is sound only under this contract.
#include <cstdint>

#include "shell/host_interface.h"

// The processing callback [host thread; never overlaps window_message].
// Re-renders the span when the render key changed, then copies the matching slice of
// it over request->audio: sequentially from the cursor while the host writes its
// output, by the frame's position while it previews. Audio outside the span, and any
// request that does not match the span (other channel count, no buffer, no samples),
// passes untouched. Always returns 1.
int32_t TULM_CDECL process_audio(FilterTable* table, ProcessRequest* request);

// The settings window's message callback [host thread; never overlaps
// process_audio]. Forwards key-down, key-up and mouse-wheel messages to the window's
// owner with their parameters unchanged; on either host notification clears the render
// key so the next processing call re-renders and restarts the cursor. Always returns 0.
int32_t TULM_CDECL window_message(void* window, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam);

// The offset, in sample frames from the start of frame `first`, of the start of frame
// `frame`'s audio: start(frame) - start(first), start(f) = floor(f * rate * den / num).
// Exact at any frame rate, including fractional ones (30000/1001) and rates whose
// numerator does not divide the sampling rate. Needs rate, num, den > 0 and
// rate * den / num below 2^31 (the plan refuses media beyond that).
int64_t frame_offset(int32_t frame, int32_t first, int32_t rate, int32_t num, int32_t den);
