#pragma once
// Calling the plug-in's processing callback the way the host does: one video frame per
// call, in a host-owned buffer sized exactly for that frame's audio.
//
// Every call here first runs host_attach(edit, table), then builds a ProcessRequest
// (every field the plug-in does not read is zero) whose `edit` is the HostEdit's address.
// The delivery mode is whatever edit->output_in_progress says at the time of the call,
// except in the passes, which set it for their duration and restore it afterwards.
#include <cstdint>
#include <vector>

#include "host/host_edit.h"

// One call with a request exactly as given: any frame number, sample count, channel
// count or buffer, including a null buffer or counts that do not match it (the caller
// plays a hostile host). Returns what the callback returns.
int32_t host_process_raw(HostEdit* edit, FilterTable* table, int32_t frame, int16_t* audio,
                         int32_t samples, int32_t channels);

// One call for media frame `frame` as the host makes it: *frame_audio is set to that
// frame's audio from the media (media_frame_samples x channels values, possibly none),
// the request carries it with the media's channel count, and on return *frame_audio
// holds what the plug-in left there. Returns what the callback returns.
int32_t host_process_media_frame(HostEdit* edit, FilterTable* table, int32_t frame,
                                 std::vector<int16_t>* frame_audio);

// Called after every processed frame of a pass: `done` frames of `total` so far.
typedef void (*HostProgress)(void* user, int64_t done, int64_t total);

// A pass over frames first .. last (inclusive), cut to the frames the media has and to
// the 32-bit frame numbers a request can carry. *output is set to a copy of the media's
// whole audio; each frame of the pass is processed by host_process_media_frame and its
// result written back at the frame's place. Frames outside the pass stay as the media
// has them. `writing` non-zero runs the pass with output in progress (delivery from the
// cursor), zero as a preview (delivery by frame position). `progress` may be null.
// Returns the number of frames processed.
int64_t host_run_frames(HostEdit* edit, FilterTable* table, int64_t first, int64_t last,
                        int32_t writing, std::vector<int16_t>* output, HostProgress progress,
                        void* user);

// The host's output: the selection (selection_first .. selection_last) in writing mode,
// with the frames before and after it untouched.
int64_t host_run_output(HostEdit* edit, FilterTable* table, std::vector<int16_t>* output,
                        HostProgress progress, void* user);

// The same frames delivered as a preview.
int64_t host_run_preview(HostEdit* edit, FilterTable* table, std::vector<int16_t>* output,
                         HostProgress progress, void* user);
