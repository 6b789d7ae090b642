#pragma once

#include <string>

// The container of a video (or of sound alone in a video's container) that the audio
// library does not open, named from the file's first bytes as a user knows it ("an MP4,
// MOV or M4A file"), or "" for anything else. Reads through pread, so the file's
// offset is left where it was.
std::string video_container(int fd);
