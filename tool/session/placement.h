#pragma once
// Where a stretch starts in a file, in the host's terms.
#include <cstdint>

// Where the processing starts and how the host is told about the video.
struct Placement {
    int32_t start_frame = 0;      // the selection's first frame
    int32_t video_rate_num = 30;
    int32_t video_rate_den = 1;
};
