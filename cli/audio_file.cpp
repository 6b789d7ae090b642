#include "cli/audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "cli/tool_error.h"

namespace {

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

// libsndfile says "System error" for a missing file; the user deserves the OS's reason.
std::string open_failure(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return path + ": is a folder, not an audio file";
    return path + ": not an audio file libsndfile can read (" + sf_strerror(nullptr) + ")";
}

// Floating-point and compressed formats are read as floats in [-1, 1) and scaled here:
// libsndfile's own conversion to shorts leaves floating-point data unscaled, or
// normalises it to the file's peak.
sf_count_t read_through_floats(SNDFILE* file, const SF_INFO& info, int16_t* to)
{
    constexpr sf_count_t kChunk = 65536;
    std::vector<float> chunk(size_t(kChunk) * size_t(info.channels));
    sf_count_t got = 0;
    while (got < info.frames) {
        const sf_count_t n = sf_readf_float(file, chunk.data(), std::min(kChunk, info.frames - got));
        if (n <= 0) break;
        for (sf_count_t i = 0; i < n * info.channels; ++i)
            to[got * info.channels + i] =
                int16_t(std::clamp(std::lrint(double(chunk[size_t(i)]) * 32768.0), -32768L, 32767L));
        got += n;
    }
    return got;
}

} // namespace

Audio read_audio(const std::string& path)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw ToolError(open_failure(path));
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        throw ToolError(path + ": the file has no channels or no sampling rate");
    }
    Audio audio;
    audio.rate = info.samplerate;
    audio.channels = info.channels;
    audio.samples.resize(size_t(info.frames) * size_t(info.channels));
    sf_count_t got = 0;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_24 ||
        sub == SF_FORMAT_PCM_32 || sub == SF_FORMAT_ULAW || sub == SF_FORMAT_ALAW) {
        got = sf_readf_short(file, audio.samples.data(), info.frames);
    } else {
        got = read_through_floats(file, info, audio.samples.data());
    }
    const int error = sf_error(file);
    sf_close(file);
    if (error != SF_ERR_NO_ERROR || got != info.frames)
        throw ToolError(path + ": the file is damaged or truncated (read " + std::to_string(got) +
                        " of " + std::to_string(info.frames) + " frames)");
    return audio;
}

int output_format_for(const std::string& path)
{
    const std::string ext = extension_of(path);
    if (ext == "wav" || ext.empty()) return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (ext == "flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    if (ext == "aif" || ext == "aiff") return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    if (ext == "au" || ext == "snd") return SF_FORMAT_AU | SF_FORMAT_PCM_16;
    if (ext == "caf") return SF_FORMAT_CAF | SF_FORMAT_PCM_16;
    if (ext == "w64") return SF_FORMAT_W64 | SF_FORMAT_PCM_16;
    if (ext == "rf64") return SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    throw ToolError(path + ": unsupported output format '." + ext +
                    "' (use .wav, .flac, .aiff, .au, .caf, .w64 or .rf64)");
}

void write_audio(const std::string& path, const std::string& format_path, const Audio& audio)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = audio.rate;
    info.channels = audio.channels;
    info.format = output_format_for(format_path);
    if (!sf_format_check(&info))
        throw ToolError(format_path + ": this format cannot hold " +
                        std::to_string(audio.channels) + " channels at " +
                        std::to_string(audio.rate) + " Hz");
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw ToolError(format_path + ": cannot write (" + sf_strerror(nullptr) + ")");
    const sf_count_t frames = audio.frames();
    const sf_count_t put = sf_writef_short(file, audio.samples.data(), frames);
    const int error = sf_error(file);
    const int closed = sf_close(file);
    if (put != frames || error != SF_ERR_NO_ERROR || closed != 0)
        throw ToolError(format_path + ": writing failed (disk full?)");
}
