#pragma once
// A file's samples in 16 bits as a SampleSource, read again wherever an analysis asks
// for them, so that only what it asks for at one time is held. A file seeks to the
// frames asked for. Standard input cannot seek: what is read from it is copied, in 16
// bits, to a temporary file (deleted when the program ends), which then serves every
// request; memory stays small, the disk holds 2 bytes a sample of what was read.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tool/analysis/sample_source.h"
#include "tool/io/audio_file.h"

class FileSamples {
public:
    // Frames of `reader`'s file from `origin` on; the source's frame 0 is the file's
    // frame `origin`. The reader must stand at the file's start and is used only
    // through this object from then on.
    FileSamples(AudioReader& reader, int64_t origin);
    ~FileSamples();
    FileSamples(const FileSamples&) = delete;
    FileSamples& operator=(const FileSamples&) = delete;

    const SampleSource& source() const { return source_; }
    // Whether floating-point samples read so far lie over full scale (or are not
    // numbers): the conversion to 16 bits clipped them, and the harmonics that makes
    // are the tool's, not the file's.
    bool clipped() const { return narrowing_.clipped > 0; }

private:
    void fill(int64_t first, int64_t end, int16_t* to);
    void spool_to(int64_t end);

    AudioReader& reader_;
    int64_t origin_;
    int64_t position_ = -1;    // the reader's next frame, counted from origin; -1: unknown
    std::FILE* spool_ = nullptr;
    int64_t spooled_ = 0;      // frames [0, spooled_) are in the spool
    SampleBlock block_;
    std::vector<int16_t> narrow_;
    Narrowing narrowing_;
    SampleSource source_;
};
