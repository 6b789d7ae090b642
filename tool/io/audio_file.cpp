#include "tool/io/audio_file.h"

#include <fmt/format.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <utility>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "tool/analysis/tool_error.h"
#include "tool/io/output_file.h"
#include "tool/io/video_container.h"

namespace {

constexpr int64_t kRegionChunk = 65536;

std::string extension_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char ch) { return char(std::tolower(ch)); });
    return ext;
}

std::string lowercase_first(std::string text)
{
    if (!text.empty()) text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// The number libsndfile's parse log gives for `key` in the summary it writes when an
// open fails (" Sample rate :   0"), or -1.
long long parse_log_value(const char* key)
{
    char log[8192] = {0};
    sf_command(nullptr, SFC_GET_LOG_INFO, log, sizeof log);
    const char* at = std::strstr(log, key);
    if (!at) return -1;
    const char* colon = std::strchr(at, ':');
    return colon ? std::strtoll(colon + 1, nullptr, 10) : -1;
}

// The common formats among those the audio library reads, as "WAV, FLAC ... and MP3".
std::string readable_formats()
{
    static const std::pair<int, const char*> kCommon[] = {{SF_FORMAT_WAV, "WAV"},   {SF_FORMAT_FLAC, "FLAC"},
                                                          {SF_FORMAT_AIFF, "AIFF"}, {SF_FORMAT_AU, "AU"},
                                                          {SF_FORMAT_CAF, "CAF"},   {SF_FORMAT_W64, "W64"},
                                                          {SF_FORMAT_RF64, "RF64"}, {SF_FORMAT_OGG, "Ogg"},
                                                          {SF_FORMAT_MPEG, "MP3"}};
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    std::vector<std::string> names;
    for (const auto& [format, name] : kCommon)
        for (int i = 0; i < count; ++i) {
            SF_FORMAT_INFO info{};
            info.format = i;
            if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.format == format) {
                names.push_back(name);
                break;
            }
        }
    std::string words;
    for (size_t i = 0; i < names.size(); ++i)
        words += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return words;
}

// Why libsndfile refused an open file, in the tool's words rather than the library's.
std::string open_failure(const std::string& name, int error, const std::string& video)
{
    switch (error) {
    case SF_ERR_UNRECOGNISED_FORMAT:
        if (!video.empty())
            return name + ": " + video + ", whose sound the tool does not read; take the sound out into a WAV " +
                   "first (for example: ffmpeg -i video.mp4 -vn sound.wav) and, for a video, give --fps its frame rate";
        return name + ": not an audio file the tool can read (" + readable_formats() + " are)";
    case SF_ERR_UNSUPPORTED_ENCODING:
        return name + ": the file's samples are in an encoding the tool cannot read; convert it to WAV first";
    default:
        break;
    }
    if (parse_log_value(" Sample rate :") == 0)
        return name + ": the header gives a sampling rate of 0, so the file cannot be played; its header is damaged";
    if (parse_log_value(" Channels    :") == 0)
        return name + ": the header gives 0 channels, so the file cannot be played; its header is damaged";
    return name + ": the file's header is damaged or cut short, so it cannot be read as audio";
}

// A stream (standard input, a FIFO, a pipe given as /dev/stdin or <(...)) as a file
// that can be read and sought like any other: it is copied to a temporary file that
// is unlinked at once. `name` is the stream as messages name it.
int spooled_copy(int from, const std::string& name)
{
    const char* base = std::getenv("TMPDIR");
    const std::string folder = base && *base ? base : "/tmp";
    std::string pattern = folder + "/tulm-stdin-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw ToolError(name + ": cannot make a temporary copy in " + folder + " (" +
                        lowercase_first(std::strerror(errno)) + "); set TMPDIR to a writable folder");
    unlink(pattern.c_str());
    std::vector<char> buffer(size_t(1) << 20);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const std::string reason = lowercase_first(std::strerror(errno));
            close(fd);
            throw ToolError(name + ": cannot read (" + reason + ")");
        }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(fd, buffer.data() + done, size_t(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                const std::string reason = lowercase_first(std::strerror(errno));
                close(fd);
                throw ToolError(name + ": cannot keep a temporary copy in " + folder + " (" + reason +
                                "); set TMPDIR to a folder with more room");
            }
            done += put;
        }
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

// Standard input: a regular file is used as it is, anything else is copied.
int stdin_as_file()
{
    struct stat st;
    if (fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
        const int fd = dup(STDIN_FILENO);
        if (fd < 0) throw ToolError("standard input: cannot read (" + lowercase_first(std::strerror(errno)) + ")");
        return fd;
    }
    return spooled_copy(STDIN_FILENO, "standard input");
}

// The file opened for reading, or a ToolError saying in plain words why not.
int open_input(const std::string& path)
{
    if (path == "-") return stdin_as_file();
    struct stat st;
    if (stat(path.c_str(), &st) != 0) throw ToolError(path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw ToolError(path + ": is a folder, not an audio file");
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ToolError(path + ": cannot open: " + lowercase_first(std::strerror(errno)));
    // A FIFO or socket is read once, as standard input is; a device is not copied,
    // since one like /dev/zero never ends.
    if (!S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) return fd;
    try {
        const int copy = spooled_copy(fd, path);
        close(fd);
        return copy;
    } catch (...) {
        close(fd);
        throw;
    }
}

bool integer_subtype(int sub)
{
    switch (sub) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        return false;
    default:
        return true;
    }
}

// The frames a header claims when libsndfile found less data than that: it notes
// "data : CLAIMED (should be PRESENT)" (in bytes) in its log and reads what is there.
int64_t claimed_frames(SNDFILE* file, const SF_INFO& info)
{
    const int64_t frames = info.frames;
    int bytes = 0;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: case SF_FORMAT_ULAW: case SF_FORMAT_ALAW: bytes = 1; break;
    case SF_FORMAT_PCM_16: bytes = 2; break;
    case SF_FORMAT_PCM_24: bytes = 3; break;
    case SF_FORMAT_PCM_32: case SF_FORMAT_FLOAT: bytes = 4; break;
    case SF_FORMAT_DOUBLE: bytes = 8; break;
    default: break;
    }
    char log[8192];
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    for (const char* key : {"\ndata", "\nSSND"}) {
        const char* at = std::strstr(log, key);
        if (!at) continue;
        const char* line_end = std::strchr(at + 1, '\n');
        const char* should = std::strstr(at, "(should be ");
        if (!should || (line_end && should > line_end)) continue;
        const char* colon = std::strchr(at, ':');
        if (!colon || colon > should) continue;
        const long long claimed = std::strtoll(colon + 1, nullptr, 10);
        const long long present = std::strtoll(should + 11, nullptr, 10);
        // A writer that could not seek back (a pipe) marks the length as unknown with
        // the largest size its field holds; that is no promise of more data.
        if (present > 0 && claimed > present && claimed < 0x7ffff000LL)
            return bytes ? claimed / (int64_t(bytes) * info.channels)
                         : int64_t(double(frames) * double(claimed) / double(present) + 0.5);
    }
    return frames;
}

} // namespace

void SampleBlock::resize(int64_t n)
{
    frames = n;
    const size_t values = size_t(n) * size_t(channels);
    if (integer) ints.resize(values);
    else reals.resize(values);
}

void to_16bit(const SampleBlock& block, int64_t at, int64_t frames, int16_t* to, Narrowing* narrowing)
{
    const size_t first = size_t(at) * size_t(block.channels);
    const size_t count = size_t(frames) * size_t(block.channels);
    if (block.integer) {
        for (size_t i = 0; i < count; ++i) to[i] = int16_t(block.ints[first + i] >> 16);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const double v = block.reals[first + i] * kFullScale;
        if (v >= -32768.5 && v < 32767.5) {
            to[i] = int16_t(std::lrint(v));
            continue;
        }
        ++narrowing->clipped;
        to[i] = std::isnan(v) ? 0 : v < 0 ? -32768 : 32767;
    }
}

void from_16bit(const int16_t* from, int64_t frames, SampleBlock* block, int64_t at)
{
    const size_t first = size_t(at) * size_t(block->channels);
    const size_t count = size_t(frames) * size_t(block->channels);
    for (size_t i = 0; i < count; ++i) {
        if (block->integer) block->ints[first + i] = int32_t(uint32_t(uint16_t(from[i])) << 16);
        else block->reals[first + i] = from[i] / kFullScale;
    }
}

AudioReader::AudioReader(const std::string& path) : path_(path)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    const int fd = open_input(path);
    // Named before the library looks, since a failed open closes the file.
    const std::string video = video_container(fd);
    file_ = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!file_) {
        const int error = sf_error(nullptr);
        close(fd);
        throw ToolError(open_failure(name(), error, video));
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file_);
        throw ToolError(name() + ": the header gives " +
                        (info.samplerate < 1 ? "a sampling rate of " + std::to_string(info.samplerate)
                                             : std::to_string(info.channels) + " channels") +
                        ", so the file cannot be played; its header is damaged");
    }
    rate_ = info.samplerate;
    channels_ = info.channels;
    format_ = info.format;
    frames_ = info.frames;
    integer_ = integer_subtype(info.format & SF_FORMAT_SUBMASK);
    header_frames_ = claimed_frames(file_, info);
    metadata_ = read_metadata(file_, format_, fd);
}

AudioReader::~AudioReader() { sf_close(file_); }

bool AudioReader::wider_than_16bit() const
{
    switch (format_ & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_GSM610:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_ALAC_16:
        return false;
    default:
        return true;
    }
}

int64_t AudioReader::read(SampleBlock* block, int64_t count)
{
    block->integer = integer_;
    block->channels = channels_;
    block->resize(count);
    int64_t got = 0;
    while (got < count) {
        const size_t at = size_t(got) * size_t(channels_);
        const sf_count_t n = integer_ ? sf_readf_int(file_, block->ints.data() + at, count - got)
                                      : sf_readf_double(file_, block->reals.data() + at, count - got);
        if (n <= 0) break;
        got += n;
    }
    // A decoder that stops early without an error (a FLAC that lost its sync) is
    // damage as much as one that reports it: the header's length is the promise.
    if (sf_error(file_) != SF_ERR_NO_ERROR || (got < count && position_ + got < frames_))
        throw ToolError(name() + ": the audio cannot be decoded past sample " + std::to_string(position_ + got) +
                        " of its " + std::to_string(frames_) +
                        " (the file is damaged there); export or copy it again from its source");
    position_ += got;
    block->resize(got);
    return got;
}

void AudioReader::check_decodes()
{
    const int major = format_ & SF_FORMAT_TYPEMASK;
    const int sub = format_ & SF_FORMAT_SUBMASK;
    const bool pcm = sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16 ||
                     sub == SF_FORMAT_PCM_24 || sub == SF_FORMAT_PCM_32 || sub == SF_FORMAT_FLOAT ||
                     sub == SF_FORMAT_DOUBLE || sub == SF_FORMAT_ULAW || sub == SF_FORMAT_ALAW;
    if (pcm && major != SF_FORMAT_FLAC && major != SF_FORMAT_OGG) return;
    seek(0);
    SampleBlock block;
    while (read(&block, kRegionChunk) > 0) {
    }
    seek(0);
}

void AudioReader::seek(int64_t frame)
{
    if (sf_seek(file_, frame, SEEK_SET) != frame)
        throw ToolError(name() + ": the file is damaged before sample " + std::to_string(frame) +
                        " and cannot be read there");
    position_ = frame;
}

std::string AudioReader::cut_short_warning() const
{
    if (header_frames_ <= frames_) return "";
    return name() + ": the header says " + std::to_string(header_frames_) + " samples, but the file holds only " +
           std::to_string(frames_);
}

Audio read_region(const std::string& path, int64_t first, int64_t end, int64_t* file_frames, std::string* warning)
{
    AudioReader reader(path);
    if (warning) *warning = reader.cut_short_warning();
    *file_frames = reader.frames();
    return read_region(reader, first, end);
}

Audio read_region(AudioReader& reader, int64_t first, int64_t end)
{
    first = std::clamp<int64_t>(first, 0, reader.frames());
    end = std::clamp<int64_t>(end, first, reader.frames());
    Audio audio;
    audio.rate = reader.rate();
    audio.channels = reader.channels();
    audio.first_frame = first;
    audio.samples.resize(size_t(end - first) * size_t(reader.channels()));
    if (end == first) return audio;
    SampleBlock block;
    const auto read_some = [&](int64_t at, int64_t count) {
        const int64_t got = reader.read(&block, std::min(kRegionChunk, count));
        if (got == 0)
            throw ToolError(reader.name() + ": the audio ends at sample " + std::to_string(at) + ", before the " +
                            std::to_string(reader.frames()) + " samples the file holds");
        return got;
    };
    if (first > 0) reader.seek(first);
    Narrowing narrowing;
    for (int64_t at = first; at < end;) {
        const int64_t got = read_some(at, end - at);
        to_16bit(block, 0, got, audio.samples.data() + size_t(at - first) * size_t(audio.channels), &narrowing);
        at += got;
    }
    return audio;
}

std::string sample_description(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: return "8-bit samples";
    case SF_FORMAT_PCM_16: return "16-bit samples";
    case SF_FORMAT_ULAW: return "u-law samples";
    case SF_FORMAT_ALAW: return "A-law samples";
    case SF_FORMAT_PCM_24: return "24-bit samples";
    case SF_FORMAT_PCM_32: return "32-bit samples";
    case SF_FORMAT_FLOAT: return "32-bit floating-point samples";
    case SF_FORMAT_DOUBLE: return "64-bit floating-point samples";
    case SF_FORMAT_IMA_ADPCM: return "IMA ADPCM samples";
    case SF_FORMAT_MS_ADPCM: return "Microsoft ADPCM samples";
    case SF_FORMAT_GSM610: return "GSM 6.10 samples";
    case SF_FORMAT_VOX_ADPCM: return "VOX ADPCM samples";
    case SF_FORMAT_G721_32: case SF_FORMAT_G723_24: case SF_FORMAT_G723_40: return "G.72x ADPCM samples";
    case SF_FORMAT_NMS_ADPCM_16: case SF_FORMAT_NMS_ADPCM_24: case SF_FORMAT_NMS_ADPCM_32: return "NMS ADPCM samples";
    case SF_FORMAT_VORBIS: return "Vorbis audio";
    case SF_FORMAT_OPUS: return "Opus audio";
    case SF_FORMAT_MPEG_LAYER_I: case SF_FORMAT_MPEG_LAYER_II: case SF_FORMAT_MPEG_LAYER_III: return "MPEG audio";
    default: return "samples of more than 16 bits";
    }
}

bool lossy_encoding(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_IMA_ADPCM: case SF_FORMAT_MS_ADPCM: case SF_FORMAT_GSM610: case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32: case SF_FORMAT_G723_24: case SF_FORMAT_G723_40:
    case SF_FORMAT_NMS_ADPCM_16: case SF_FORMAT_NMS_ADPCM_24: case SF_FORMAT_NMS_ADPCM_32:
    case SF_FORMAT_VORBIS: case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I: case SF_FORMAT_MPEG_LAYER_II: case SF_FORMAT_MPEG_LAYER_III:
        return true;
    default:
        return false;
    }
}

namespace {

const char* const kEncodingNames[] = {"8", "16", "24", "32", "float", "double"};

bool format_holds(int format, int32_t rate, int32_t channels)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    return sf_format_check(&info) != 0;
}

// The --encoding values `major` can hold at this rate and channel count, as
// "--encoding 16, 24 or float"; empty when there is none.
std::string encodings_that_fit(int major, int32_t rate, int32_t channels)
{
    std::vector<std::string> fit;
    for (const char* name : kEncodingNames)
        if (format_holds(major | encoding_subtype(name, major), rate, channels)) fit.push_back(name);
    std::string words;
    for (size_t i = 0; i < fit.size(); ++i)
        words += (i == 0 ? "" : i + 1 == fit.size() ? " or " : ", ") + fit[i];
    return words.empty() ? "" : "--encoding " + words;
}

} // namespace

int encoding_subtype(const std::string& name, int major)
{
    if (name == "8") return major == SF_FORMAT_WAV || major == SF_FORMAT_W64 || major == SF_FORMAT_RF64
                                ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
    if (name == "16") return SF_FORMAT_PCM_16;
    if (name == "24") return SF_FORMAT_PCM_24;
    if (name == "32") return SF_FORMAT_PCM_32;
    if (name == "float") return SF_FORMAT_FLOAT;
    if (name == "double") return SF_FORMAT_DOUBLE;
    return 0;
}

int output_format_for(const std::string& path, int input_format, const std::string& encoding, int32_t rate,
                      int32_t channels)
{
    const std::string ext = path == "-" ? "" : extension_of(path);
    const bool lossy = encoding.empty() && lossy_encoding(input_format);
    int major = 0;
    if (ext.empty()) major = input_format & SF_FORMAT_TYPEMASK;
    else if (ext == "wav") major = SF_FORMAT_WAV;
    else if (ext == "flac") major = SF_FORMAT_FLAC;
    else if (ext == "aif" || ext == "aiff") major = SF_FORMAT_AIFF;
    else if (ext == "au" || ext == "snd") major = SF_FORMAT_AU;
    else if (ext == "caf") major = SF_FORMAT_CAF;
    else if (ext == "w64") major = SF_FORMAT_W64;
    else if (ext == "rf64") major = SF_FORMAT_RF64;
    else if (ext == "ogg" || ext == "oga" || ext == "opus" || ext == "mp3")
        throw UsageError(path + ": the tool writes no lossy formats, since encoding again would change the audio "
                                "outside the stretch; name OUT .wav or .flac instead");
    else
        throw UsageError(path + ": unsupported output format '." + ext +
                         "' (use .wav, .flac, .aiff, .au, .caf, .w64 or .rf64)");
    int sub = input_format & SF_FORMAT_SUBMASK;
    if (!encoding.empty()) sub = encoding_subtype(encoding, major);
    // A lossy input is kept as decoded: the codecs that decode to floating point in
    // 32-bit float, the others in 16 bits; a container that holds only its codec
    // (Ogg, MPEG) gives way to WAV.
    if (lossy) sub = integer_subtype(sub) ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT;
    if (lossy_encoding(input_format) && ext.empty() && !format_holds(major | sub, rate, channels)) {
        major = SF_FORMAT_WAV;
        if (!encoding.empty()) sub = encoding_subtype(encoding, major);
    }
    // A WAV of 8-bit samples holds them unsigned, most other containers signed.
    if (encoding.empty() && (sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_S8))
        sub = encoding_subtype("8", major);
    if (!format_holds(major | sub, rate, channels)) {
        const std::string fit = encodings_that_fit(major, rate, channels);
        throw ToolError(path + ": this format cannot hold " +
                        (encoding.empty() ? sample_description(input_format) + " like the input's"
                                          : "the samples of --encoding " + encoding) +
                        " with " + std::to_string(channels) + " channels at " + std::to_string(rate) + " Hz; " +
                        (fit.empty() ? "choose another extension" : "choose " + fit + ", or another extension"));
    }
    return major | sub;
}

// libsndfile writes through these callbacks. A seekable destination is written where
// libsndfile asks. Anything else is written strictly in order: the header is worked
// out beforehand (`prefix`), and libsndfile's closing rewrite of it is dropped.
struct AudioWriter::Sink {
    OutputFile* out = nullptr;
    bool probe = false;          // only records the header; writes nothing
    std::string prefix;          // the finished header, for a destination in order
    int64_t header_bytes = 0;    // what libsndfile wrote while opening
    int64_t pos = 0, length = 0;
    int64_t device_pos = 0;      // where `out` stands (seekable) or how much went out
    std::string failure;         // why a write failed, for the message
    // A FLAC stream's opening, rewritten to carry the input's own blocks; positions
    // past it move by `shift` in the output.
    std::unique_ptr<FlacOpening> opening;
    int64_t shift = 0;
};

namespace {

constexpr size_t kProbeBytes = 65536;

sf_count_t sink_length(void* user) { return static_cast<AudioWriter::Sink*>(user)->length; }

sf_count_t sink_seek(sf_count_t offset, int whence, void* user)
{
    auto* s = static_cast<AudioWriter::Sink*>(user);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->pos : s->length;
    if (base + offset < 0) return -1;
    s->pos = base + offset;
    return s->pos;
}

sf_count_t sink_read(void*, sf_count_t, void*) { return 0; }

sf_count_t sink_tell(void* user) { return static_cast<AudioWriter::Sink*>(user)->pos; }

// Puts `bytes` at position `at` of the output; false (with the reason kept) on failure.
bool put(AudioWriter::Sink* s, int64_t at, const char* from, int64_t bytes)
{
    try {
        if (s->probe) {
            if (at < int64_t(kProbeBytes)) {
                const size_t end = std::min<size_t>(size_t(at + bytes), kProbeBytes);
                if (s->prefix.size() < end) s->prefix.resize(end);
                std::memcpy(&s->prefix[size_t(at)], from, end - size_t(at));
            }
        } else if (s->out->seekable()) {
            if (at != s->device_pos) s->out->seek(at);
            s->out->write(from, size_t(bytes));
            s->device_pos = at + bytes;
        } else {
            if (s->device_pos == 0 && !s->prefix.empty()) {
                s->out->write(s->prefix.data(), s->prefix.size());
                s->device_pos = int64_t(s->prefix.size());
            }
            const int64_t end = at + bytes;
            if (at > s->device_pos) {
                s->failure = s->out->path() + ": the format needs to seek, which this output cannot";
                return false;
            }
            if (end > s->device_pos) {
                s->out->write(from + (s->device_pos - at), size_t(end - s->device_pos));
                s->device_pos = end;
            }
        }
    } catch (const ToolError& e) {
        s->failure = e.what();
        return false;
    }
    return true;
}

// The encoder's positions stay its own: only where they land in the output moves.
bool put_flac(AudioWriter::Sink* s, const char* from, int64_t bytes)
{
    FlacOpening& opening = *s->opening;
    if (!opening.complete()) {
        if (!opening.take(s->pos, from, size_t(bytes))) {
            s->failure = s->out->path() + ": the FLAC encoder wrote its opening out of order";
            return false;
        }
        if (!opening.complete()) return true;
        s->shift = opening.shift();
        const std::string head = opening.rewritten();
        return put(s, 0, head.data(), int64_t(head.size()));
    }
    if (s->pos >= opening.end()) return put(s, s->pos + s->shift, from, bytes);
    if (s->pos + bytes > FlacOpening::kStreamInfoEnd) {
        s->failure = s->out->path() + ": the FLAC encoder rewrote more of its opening than STREAMINFO";
        return false;
    }
    return put(s, s->pos, from, bytes);
}

sf_count_t sink_write(const void* data, sf_count_t bytes, void* user)
{
    auto* s = static_cast<AudioWriter::Sink*>(user);
    const char* from = static_cast<const char*>(data);
    if (!(s->opening ? put_flac(s, from, bytes) : put(s, s->pos, from, bytes))) return 0;
    s->pos += bytes;
    s->length = std::max(s->length, s->pos);
    return bytes;
}

SF_VIRTUAL_IO g_sink_io = {sink_length, sink_seek, sink_read, sink_write, sink_tell};

SNDFILE* open_sink(AudioWriter::Sink* sink, int format, int32_t rate, int32_t channels, const FileMetadata& metadata)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open_virtual(&g_sink_io, SFM_WRITE, &info, sink);
    if (!file) return nullptr;
    // A peak chunk would make the header depend on the samples, which a destination
    // written in order cannot wait for.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // Metadata goes in before the first sample, where the header has room for it.
    set_metadata(file, metadata);
    return file;
}

// The header libsndfile writes for a file of `frames` frames, without writing them.
std::string finished_header(int format, int32_t rate, int32_t channels, int64_t frames, const FileMetadata& metadata)
{
    AudioWriter::Sink probe;
    probe.probe = true;
    SNDFILE* file = open_sink(&probe, format, rate, channels, metadata);
    if (!file) return "";
    const int64_t header = probe.length;
    if (frames > 0 && sf_seek(file, frames - 1, SEEK_SET) == frames - 1) {
        const std::vector<int32_t> silence(size_t(channels), 0);
        sf_writef_int(file, silence.data(), 1);
    }
    sf_close(file);
    probe.prefix.resize(std::min(probe.prefix.size(), size_t(header)));
    return probe.prefix;
}

int bytes_per_sample(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return 1;
    case SF_FORMAT_PCM_16:
        return 2;
    case SF_FORMAT_PCM_24:
        return 3;
    case SF_FORMAT_DOUBLE:
        return 8;
    default:
        return 4;
    }
}

} // namespace

int format_for_length(const std::string& path, int format, int32_t channels, int64_t frames, int64_t limit)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    const double bytes = double(frames) * channels * bytes_per_sample(format);
    if (bytes <= double(limit)) return format;
    if (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX) return SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
    if (major == SF_FORMAT_AIFF || major == SF_FORMAT_AU)
        throw ToolError(fmt::format("{}: {:.2f} GiB of audio is more than this format's 4 GiB sizes can count; name "
                                    "OUT .wav, .rf64, .w64, .caf or .flac instead",
                                    path, bytes / double(int64_t(1) << 30)));
    return format;
}

AudioWriter::AudioWriter(OutputFile* out, int format, int32_t rate, int32_t channels, int64_t frames,
                         const FileMetadata& metadata, int64_t limit)
    : out_(out), format_(format_for_length(out->path(), format, channels, frames, limit)), sink_(new Sink)
{
    const std::string name = out->path() == "-" ? "standard output" : out->path();
    if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64 && (format & SF_FORMAT_TYPEMASK) != SF_FORMAT_RF64)
        notes_.push_back(fmt::format("{} holds more audio than a WAV's 4 GiB sizes can count, so it is written as "
                                     "RF64, the WAV with 64-bit sizes; a program that reads only WAV needs it cut "
                                     "in parts",
                                     name));
    // WAV keeps each channel's speaker only in its extensible form.
    if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && !metadata.channel_map.empty())
        format_ = SF_FORMAT_WAVEX | (format_ & SF_FORMAT_SUBMASK);
    sink_->out = out;
    const int major = format_ & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_FLAC && !metadata.flac_blocks.empty())
        sink_->opening = std::make_unique<FlacOpening>(metadata.flac_blocks);
    // FLAC and Ogg streams are finished by their own encoders and stay valid when
    // their opening block cannot be rewritten.
    if (!out->seekable() && major != SF_FORMAT_FLAC && major != SF_FORMAT_OGG)
        sink_->prefix = finished_header(format_, rate, channels, frames, metadata);
    const std::vector<std::string> left_out = metadata_left_out(metadata, format_, rate, channels);
    if (!left_out.empty()) {
        std::string words;
        for (size_t i = 0; i < left_out.size(); ++i)
            words += (i == 0 ? "" : i + 1 == left_out.size() ? " and " : ", ") + left_out[i];
        notes_.push_back(fmt::format("{}'s format has no room for the input's {}, so {} left out", name, words,
                                     left_out.size() == 1 ? "it was" : "they were"));
    }
    file_ = open_sink(sink_, format_, rate, channels, metadata);
    if (!file_) {
        delete sink_;
        throw ToolError(out->path() + ": cannot start writing " + sample_description(format_) + " in this format");
    }
}

AudioWriter::~AudioWriter()
{
    if (file_) sf_close(file_);
    delete sink_;
}

void AudioWriter::write(const SampleBlock& block, int64_t at, int64_t frames)
{
    const size_t first = size_t(at) * size_t(block.channels);
    const sf_count_t put = block.integer ? sf_writef_int(file_, block.ints.data() + first, frames)
                                         : sf_writef_double(file_, block.reals.data() + first, frames);
    if (put != frames)
        throw ToolError(!sink_->failure.empty() ? sink_->failure
                                                : out_->path() + ": writing failed");
}

void AudioWriter::close()
{
    const int error = sf_error(file_);
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (!sink_->failure.empty()) throw ToolError(sink_->failure);
    if (error != SF_ERR_NO_ERROR || closed != 0) throw ToolError(out_->path() + ": writing failed (disk full?)");
}

Audio read_audio(const std::string& path)
{
    int64_t frames = 0;
    return read_region(path, 0, std::numeric_limits<int64_t>::max(), &frames);
}

void write_audio(OutputFile* file, const Audio& audio)
{
    const int format =
        output_format_for(file->path(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, "16", audio.rate, audio.channels);
    AudioWriter writer(file, format, audio.rate, audio.channels, audio.frames());
    SampleBlock block;
    block.channels = audio.channels;
    block.resize(audio.frames());
    from_16bit(audio.samples.data(), audio.frames(), &block, 0);
    writer.write(block, 0, audio.frames());
    writer.close();
    file->commit();
}

void write_audio(const std::string& path, const Audio& audio)
{
    OutputFile file(path);
    write_audio(&file, audio);
}
