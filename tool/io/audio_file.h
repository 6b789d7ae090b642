#pragma once
// Audio files through libsndfile, streamed. Samples are carried in the file's own kind
// (left-justified 32-bit integers for integer formats, doubles for floating-point ones)
// so that audio copied from one file to another of the same format keeps every bit;
// only the stretch the plug-in works on is converted to its 16 bits and back.
#include <cstdint>
#include <string>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/io/file_metadata.h"

class OutputFile;
struct sf_private_tag;

// A run of frames as a file holds them.
struct SampleBlock {
    bool integer = true;
    int32_t channels = 0;
    int64_t frames = 0;
    std::vector<int32_t> ints;   // integer formats: value << (32 - bits)
    std::vector<double> reals;   // floating-point formats: full scale is 1.0

    void resize(int64_t frames);
};

// What the plug-in's 16 bits do to the samples of one stretch.
struct Narrowing {
    int64_t clipped = 0; // floating-point samples beyond full scale (or not numbers)
};

// Converts `frames` frames of `block` from frame `at` to 16 bits: integers keep their
// top 16 bits, floating-point values are rounded to the nearest step and clipped.
void to_16bit(const SampleBlock& block, int64_t at, int64_t frames, int16_t* to, Narrowing* narrowing);
// Puts 16-bit samples back into `block`'s kind at frame `at`.
void from_16bit(const int16_t* from, int64_t frames, SampleBlock* block, int64_t at);

class AudioReader {
public:
    // "-" reads standard input. A pipe (standard input, a FIFO, /dev/stdin, <(...)) is
    // first copied to a temporary file that has no name (so nothing is left behind
    // however the tool ends): every format is then read as from disk, with its true
    // length, and sought as the analyses need. Throws ToolError for a missing, unreadable or
    // unknown file, in the tool's own words.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    const std::string& path() const { return path_; }
    // The file as messages name it: "standard input" for "-".
    std::string name() const { return path_ == "-" ? "standard input" : path_; }
    int32_t rate() const { return rate_; }
    int32_t channels() const { return channels_; }
    int format() const { return format_; }
    // Frames the file holds (for a truncated file, what is really there).
    int64_t frames() const { return frames_; }
    // Frames the header claims, when the data is shorter than that; otherwise frames().
    int64_t header_frames() const { return header_frames_; }
    bool integer() const { return integer_; }
    // True when the samples carry more than the plug-in's 16 bits.
    bool wider_than_16bit() const;
    // What the file says besides its samples, to be written into the output.
    const FileMetadata& metadata() const { return metadata_; }
    // When the file holds fewer frames than its header claims, one sentence saying so
    // (for the command to print as a warning); otherwise empty.
    std::string cut_short_warning() const;

    // Reads up to `count` frames into `block` (resized to what was read). Throws
    // ToolError, naming the sample, when the file cannot be decoded to its end.
    int64_t read(SampleBlock* block, int64_t count);
    // For a format whose frames are decoded (FLAC, Ogg, MP3, ...), decodes the whole
    // file once and comes back to its start, so that damage anywhere stops a command
    // that reads only part of it, as it stops render; a PCM file's length is its size.
    // Throws ToolError as read() does.
    void check_decodes();
    // Moves to `frame` of a seekable file. Throws ToolError.
    void seek(int64_t frame);

private:
    std::string path_;
    sf_private_tag* file_ = nullptr;
    int32_t rate_ = 0;
    int32_t channels_ = 0;
    int format_ = 0;
    int64_t frames_ = 0;
    int64_t header_frames_ = 0;
    int64_t position_ = 0;
    bool integer_ = true;
    FileMetadata metadata_;
};

// A whole file in 16 bits (for short clips and tests). Throws ToolError.
Audio read_audio(const std::string& path);

// Writes 16-bit audio held in memory as 16-bit PCM, the container named by the file's
// extension (WAV without one), and commits the file. Throws ToolError.
void write_audio(OutputFile* file, const Audio& audio);
void write_audio(const std::string& path, const Audio& audio);

// Frames [first, end) of a file in 16 bits (cut at the file's end); *file_frames gets
// the file's length, and *warning the reader's cut_short_warning() when given. detect
// and measure read only what they analyse. Throws ToolError.
Audio read_region(const std::string& path, int64_t first, int64_t end, int64_t* file_frames,
                  std::string* warning = nullptr);
// The same from a file already open.
Audio read_region(AudioReader& reader, int64_t first, int64_t end);

// The samples of `format` in words, e.g. "24-bit samples".
std::string sample_description(int format);

// True for an encoding that cannot be written again without changing the samples (a
// lossy codec, or ADPCM whose blocks also pad the length): its decoded samples are
// what the tool keeps.
bool lossy_encoding(int format);

// The sample encodings --encoding names: "8", "16", "24", "32", "float", "double".
// Returns the libsndfile subtype, or 0 for a name it does not know.
int encoding_subtype(const std::string& name, int major);

// The format of an output file: the container its extension names (the input's
// when it has none or is "-"), holding the input's samples unless `encoding` is
// given. A lossy input's samples are written as decoded (16-bit PCM, or 32-bit float
// for the codecs that decode to floating point), in WAV when the input's container
// holds only the codec. Throws ToolError naming what cannot be written and the
// --encoding values that can.
int output_format_for(const std::string& path, int input_format, const std::string& encoding,
                      int32_t rate, int32_t channels);

// The most audio data, in bytes, a file whose size fields count 32 bits is given: the
// rest of 4 GiB is room for the header's chunks.
constexpr int64_t kRiffDataLimit = 0xFFFFFFFFLL - (1 << 20);

// The format that holds `frames` frames of `format`: a WAV whose data would pass
// `limit` bytes becomes RF64 (the WAV with 64-bit sizes); an AIFF or AU, whose sizes
// would wrap, is refused before anything is written, naming the formats that hold it.
// Throws ToolError naming `path`.
int format_for_length(const std::string& path, int format, int32_t channels, int64_t frames,
                      int64_t limit = kRiffDataLimit);

// Writes a sound file of `format` into `out`, which need not be seekable: for a FIFO,
// a pipe or a device the header is worked out from `frames` before the first byte.
class AudioWriter {
public:
    // The format is first fitted to the length (format_for_length, at `limit`) and to
    // the channel layout (a WAV with one becomes WAVE_FORMAT_EXTENSIBLE). `metadata` is
    // written where the format has room for it; notes() names the rest.
    AudioWriter(OutputFile* out, int format, int32_t rate, int32_t channels, int64_t frames,
                const FileMetadata& metadata = {}, int64_t limit = kRiffDataLimit);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const SampleBlock& block, int64_t at, int64_t frames);
    // Completes the file's header; the caller then commits the OutputFile.
    void close();
    // Sentences for the user, each one line: a WAV written as RF64, and the metadata
    // the format has no room for.
    const std::vector<std::string>& notes() const { return notes_; }
    // The format written, after fitting.
    int format() const { return format_; }

    struct Sink;

private:
    OutputFile* out_;
    int format_;
    std::vector<std::string> notes_;
    Sink* sink_;
    sf_private_tag* file_ = nullptr;
};
