#pragma once
// A native FLAC file's metadata blocks as the file holds them, byte for byte, so that
// those an encoder does not make itself (every tag, pictures, a cue sheet, application
// data) can go into a new stream of the same audio unchanged.
#include <cstdint>
#include <string>
#include <vector>

enum FlacBlockType {
    kFlacStreamInfo = 0,
    kFlacPadding = 1,
    kFlacApplication = 2,
    kFlacSeekTable = 3,
    kFlacVorbisComment = 4,
    kFlacCueSheet = 5,
    kFlacPicture = 6,
};

struct FlacBlock {
    int type;
    std::string body;  // without the block's 4-byte header
};

// The blocks of the FLAC file open at `fd` that a new stream of the same samples keeps
// true: all but STREAMINFO and SEEKTABLE (the encoder's own, the second pointing into
// the old frames) and PADDING. Read with pread, so the descriptor's offset is left as
// it was; empty for a file that is not native FLAC or whose blocks are cut short.
std::vector<FlacBlock> carried_flac_blocks(int fd);

// The field names of a Vorbis comment block ("ISRC", "REPLAYGAIN_TRACK_GAIN"),
// upper-cased, each once, in the block's order.
std::vector<std::string> vorbis_comment_fields(const std::string& body);

// What an encoder writes at the start of a stream, rewritten: its STREAMINFO stays
// first and in place (the encoder rewrites it when it finishes), its own blocks of a
// type `blocks` holds give way to those, and `blocks` follow. Bytes are fed in as the
// encoder writes them, from position 0 on.
class FlacOpening {
public:
    explicit FlacOpening(std::vector<FlacBlock> blocks) : blocks_(std::move(blocks)) {}

    // True once the encoder's last metadata block is in.
    bool complete() const { return end_ > 0; }
    // Takes the encoder's bytes for positions [at, at + size); false when they are not
    // the next ones (an encoder that skips about before its first frame).
    bool take(int64_t at, const char* data, size_t size);
    // When complete: the new opening followed by whatever came after the encoder's
    // own, and how far later positions move.
    std::string rewritten() const;
    int64_t shift() const;
    // The encoder's own opening ends here; positions before it, after the rewrite, may
    // only fall inside STREAMINFO.
    int64_t end() const { return end_; }
    static constexpr int64_t kStreamInfoEnd = 4 + 4 + 34;

private:
    std::vector<FlacBlock> blocks_;
    std::string held_;
    int64_t end_ = 0;
};
