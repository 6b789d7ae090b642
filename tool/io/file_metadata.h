#pragma once
// What a sound file says besides its samples, carried from IN to OUT: its texts, a
// Broadcast WAV's description (bext), cue markers and their labels, the speaker of
// each channel, and a native FLAC's own blocks (every tag, pictures). What OUT's format
// cannot hold is named, never dropped in silence.
#include <sndfile.h>

#include <string>
#include <vector>

#include "tool/io/flac_blocks.h"

// A text the file carries (title, artist, comment, ...), as libsndfile names it.
struct TextTag {
    int kind;  // SF_STR_TITLE and the rest
    std::string text;
};

// Room for a coding history far longer than any recorder writes.
typedef SF_BROADCAST_INFO_VAR(16384) BroadcastInfo;

struct FileMetadata {
    std::vector<TextTag> texts;
    std::vector<BroadcastInfo> broadcast;  // none or one
    std::vector<SF_CUE_POINT> cues;
    std::string cue_labels;              // the cues' names as a WAV's LIST adtl chunk (libsndfile
                                         // reads them but writes them only into AIFF)
    std::vector<int> channel_map;        // SF_CHANNEL_MAP_* for each channel; empty: not given
    std::vector<FlacBlock> flac_blocks;  // a native FLAC input's blocks
};

// What libsndfile reads of `file`; `fd` (the file's descriptor, or -1) gives a native
// FLAC's blocks.
FileMetadata read_metadata(SNDFILE* file, int format, int fd);

// Hands `m` to a file opened for writing, before its first sample.
void set_metadata(SNDFILE* file, const FileMetadata& m);

// The kinds of `m` that a file of `format` does not give back alike, in words
// ("album", "broadcast info (bext)", "cover art", "FLAC tags ISRC and ENCODER"), found
// by writing a file of one frame in memory and reading it again.
std::vector<std::string> metadata_left_out(const FileMetadata& m, int format, int rate, int channels);
