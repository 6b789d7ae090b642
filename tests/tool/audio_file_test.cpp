// Reading converts every format to the plug-in's 16 bits at the same level.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cstring>

#include "tool/io/audio_file.h"
#include "tool_runner.h"

namespace {

void write_float_wav(const std::string& path, const std::vector<float>& samples, int subformat)
{
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | subformat;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    // Values beyond full scale must reach the file as they are.
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    sf_writef_float(f, samples.data(), sf_count_t(samples.size()));
    sf_close(f);
}

} // namespace

TEST(ReadAudio, SixteenBitFilesComeBackExactly)
{
    TempFolder dir;
    Audio a;
    a.rate = 44100;
    a.channels = 3;
    for (int32_t v = -32768; v <= 32767; v += 7) a.samples.push_back(int16_t(v));
    a.samples.resize(a.samples.size() / 3 * 3);
    write_audio(dir / "a.wav", a);
    const Audio b = read_audio(dir / "a.wav");
    EXPECT_EQ(b.rate, 44100);
    EXPECT_EQ(b.channels, 3);
    EXPECT_EQ(b.samples, a.samples);
}

TEST(ReadAudio, FloatFilesKeepTheirLevelAndClipAtFullScale)
{
    TempFolder dir;
    for (int subformat : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
        write_float_wav(dir / "f.wav", {0.5f, -0.25f, 0.0f, 1.5f, -2.0f, 0.999f}, subformat);
        const Audio a = read_audio(dir / "f.wav");
        EXPECT_EQ(a.samples, (std::vector<int16_t>{16384, -8192, 0, 32767, -32768, 32735})) << subformat;
    }
}
