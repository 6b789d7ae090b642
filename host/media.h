#pragma once
// The media the stand-in host edits: one stretch of interleaved 16-bit audio with its
// sampling rate, channel count and video rate, and how the host cuts that audio into
// video frames.
//
// Frame f carries the sample frames start(f) to start(f + 1) - 1, with
//   start(f) = floor(f * audio_rate * video_rate_den / video_rate_num),
// and no audio past the media's end: the last frames are cut short at the end of the
// audio, and frames from frame_count on carry nothing. The products are 64-bit, so
// hours of 48 kHz audio at 30000/1001 fps split exactly.
//
// Degenerate media never crash these functions: when audio_rate, channels,
// video_rate_num or video_rate_den is not positive, the media has no frames and no
// sample frames, and every frame carries nothing.
#include <cstdint>
#include <vector>

struct HostMedia {
    std::vector<int16_t> audio;  // interleaved, `channels` values per sample frame; a
                                 // trailing partial sample frame is ignored
    // A host that streams a long file holds only a window of it: `audio` then starts at
    // sample frame `held_first` of a media `length` sample frames long. A negative
    // length means the media is exactly what `audio` holds.
    int64_t held_first = 0;
    int64_t length = -1;
    int32_t audio_rate = 48000;  // Hz
    int32_t channels = 2;
    int32_t video_rate_num = 30; // frames per second = video_rate_num / video_rate_den
    int32_t video_rate_den = 1;
};

// Whole sample frames in the media (0 for a degenerate media).
int64_t media_sample_frames(const HostMedia& media);

// start(f) as above, for f >= 0; 0 for f <= 0 and for a degenerate media. Saturates at
// INT64_MAX where the exact value does not fit (only for absurd rates).
int64_t media_frame_start(const HostMedia& media, int64_t f);

// Number of frames that carry audio: the smallest F with start(F) >= sample frames.
// Frames 0 .. F - 1 exist; a frame may carry 0 sample frames when the audio rate is
// below the video rate.
int64_t media_frame_count(const HostMedia& media);

// Sample frames carried by frame f: start(f + 1) - start(f), cut at the media's end;
// 0 for f < 0, f >= frame_count and a degenerate media.
int64_t media_frame_samples(const HostMedia& media, int64_t f);

// The held audio of sample frames [from, from + count) (count <= 0: none), copied to `to`;
// frames the window does not hold come out as silence.
void media_copy_frames(const HostMedia& media, int64_t from, int64_t count, int16_t* to);
