#include "tool/io/video_container.h"

#include <unistd.h>

#include <cstring>

std::string video_container(int fd)
{
    unsigned char head[12] = {0};
    if (pread(fd, head, sizeof head, 0) != ssize_t(sizeof head)) return "";
    const auto at = [&](size_t offset, const char* word) {
        return std::memcmp(head + offset, word, std::strlen(word)) == 0;
    };
    // An ISO media file opens with its size and a box type; QuickTime files written before
    // the ftyp box existed open with their movie or data box.
    if (at(4, "ftyp") || at(4, "moov") || at(4, "mdat") || at(4, "wide") || at(4, "free"))
        return "an MP4, MOV or M4A file";
    if (head[0] == 0x1A && head[1] == 0x45 && head[2] == 0xDF && head[3] == 0xA3) return "a WebM or MKV file";
    if (at(0, "RIFF") && at(8, "AVI ")) return "an AVI file";
    // A transport stream repeats its sync byte every 188 bytes.
    unsigned char second = 0;
    if (head[0] == 0x47 && pread(fd, &second, 1, 188) == 1 && second == 0x47)
        return "an MPEG transport stream (MTS or M2TS)";
    if (head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0xBA) return "an MPEG program stream (MPG or VOB)";
    return "";
}
