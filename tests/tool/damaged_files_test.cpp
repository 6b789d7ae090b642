// Files the tool cannot take whole: a FLAC damaged in its middle, a stream with no
// length of its own, and an output too long for its format's 32-bit sizes.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "tool/analysis/tool_error.h"
#include "tool/io/audio_file.h"
#include "tool/io/output_file.h"
#include "tool_runner.h"

namespace {

constexpr int32_t kRate = 48000;

// A 10 s FLAC of a tone under noise (noise, so that the file is large), with 3000
// bytes from a fixed seed written over its middle.
void write_damaged_flac(const std::string& path)
{
    SNDFILE* f = open_sound_for_writing(path.c_str(), kRate, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_NE(f, nullptr);
    std::mt19937 noise(7);
    std::uniform_real_distribution<double> uniform(-0.3, 0.3);
    std::vector<double> x(size_t(10 * kRate));
    for (size_t i = 0; i < x.size(); ++i) x[i] = 0.3 * std::sin(2 * M_PI * 1000.0 * double(i) / kRate) + uniform(noise);
    ASSERT_EQ(sf_writef_double(f, x.data(), sf_count_t(x.size())), sf_count_t(x.size()));
    sf_close(f);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    std::string junk(3000, '\0');
    std::mt19937 bytes(1);
    for (char& c : junk) c = char(bytes() & 0xff);
    file.seekp(size / 2);
    file.write(junk.data(), std::streamsize(junk.size()));
}

struct DamageCase {
    const char* name;
    std::vector<std::string> args;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class DamagedFlac : public ::testing::TestWithParam<DamageCase> {};

}  // namespace

// Every command stops at the damage, wherever its own reading lies, with one sentence
// naming the sample where decoding failed and the file's length; nothing is written or
// reported.
TEST_P(DamagedFlac, EveryCommandRefusesItAlike)
{
    TempFolder dir;
    write_damaged_flac(dir / "bad.flac");
    write_audio(dir / "good.wav", sine_audio(kRate, 1, 10.0, 1000.0, 0.3, 0.0));
    const ToolRun run = run_tool(GetParam().args, dir.path());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "") << "nothing is reported of a file that cannot be read whole";
    EXPECT_NE(run.err.find("bad.flac: the audio cannot be decoded past sample "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" of its 480000 (the file is damaged there)"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bad.flac", "good.wav"}));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, DamagedFlac,
    ::testing::Values(DamageCase{"render", {"render", "bad.flac", "out.flac", "--hz", "1000", "--start", "2s"}},
                      DamageCase{"render_to_wav", {"render", "bad.flac", "out.wav", "--hz", "1000", "--start", "2s"}},
                      DamageCase{"detect", {"detect", "bad.flac"}},
                      DamageCase{"detect_a_region_before_it", {"detect", "bad.flac", "--length", "2s"}},
                      DamageCase{"measure_in", {"measure", "bad.flac", "good.wav", "--hz", "1000", "--start", "2s"}},
                      DamageCase{"measure_out", {"measure", "good.wav", "bad.flac", "--hz", "1000", "--start", "2s"}}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// A pipe named as a file (/dev/stdin here; a FIFO or <(...) alike) is read as standard
// input is: detect seeks in it like in any file.
TEST(StreamsByName, DetectReadsAPipeNamedAsAFile)
{
    TempFolder dir;
    write_audio(dir / "tone.wav", sine_audio(kRate, 2, 6.0, 1000.0, 0.1, 0.0));
    ToolSetup setup;
    setup.stdin_path = dir / "tone.wav";
    setup.stdin_pipe = true;
    const ToolRun run = run_tool({"detect", "/dev/stdin"}, dir.path(), setup);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("tone 1: 999."), std::string::npos) << run.out;
}

namespace {

struct LengthCase {
    const char* name;
    const char* out;
    int format;
    int64_t frames;
    int64_t limit;      // the data size the format's 32-bit fields are taken to count
    int written_major;  // 0: refused before writing
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class LongOutputs : public ::testing::TestWithParam<LengthCase> {};

}  // namespace

// The logic that keeps a 4 GiB WAV from wrapping, at a limit low enough to test: a WAV
// past it is written as RF64 and read back at its true length, bit for bit; a format
// that has no 64-bit form is refused before a byte is written.
TEST_P(LongOutputs, AreWrittenWhole_OrRefusedBeforeWriting)
{
    const LengthCase c = GetParam();
    TempFolder dir;
    const std::string path = dir / c.out;
    constexpr int32_t kChannels = 2;
    SampleBlock block;
    block.channels = kChannels;
    block.resize(c.frames);
    for (size_t i = 0; i < block.ints.size(); ++i) block.ints[i] = int32_t(uint32_t(i * 2654435761u) & 0xffff0000u);
    if (c.written_major == 0) {
        OutputFile out(path);
        try {
            AudioWriter writer(&out, c.format, kRate, kChannels, c.frames, {}, c.limit);
            FAIL() << "written as " << std::hex << writer.format();
        } catch (const ToolError& e) {
            EXPECT_NE(std::string(e.what()).find(c.out), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("name OUT .wav, .rf64, .w64, .caf or .flac"), std::string::npos)
                << e.what();
        }
    } else {
        OutputFile out(path);
        AudioWriter writer(&out, c.format, kRate, kChannels, c.frames, {}, c.limit);
        writer.write(block, 0, c.frames);
        writer.close();
        out.commit();
        const bool promoted = c.written_major != (c.format & SF_FORMAT_TYPEMASK);
        ASSERT_EQ(writer.notes().size(), promoted ? 1u : 0u);
        if (promoted) {
            EXPECT_NE(writer.notes()[0].find("written as RF64"), std::string::npos) << writer.notes()[0];
        }
        AudioReader back(path);
        EXPECT_EQ(back.format() & SF_FORMAT_TYPEMASK, c.written_major);
        EXPECT_EQ(back.frames(), c.frames);
        SampleBlock got;
        ASSERT_EQ(back.read(&got, c.frames), c.frames);
        EXPECT_EQ(got.ints, block.ints);
    }
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st) == 0, c.written_major != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LongOutputs,
    ::testing::Values(
        LengthCase{"wav_within", "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000, 4000, SF_FORMAT_WAV},
        LengthCase{"wav_one_frame_past", "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1001, 4000, SF_FORMAT_RF64},
        LengthCase{"wav_24bit_past", "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 5000, 4000, SF_FORMAT_RF64},
        LengthCase{"extensible_wav_past", "a.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 5000, 4000, SF_FORMAT_RF64},
        LengthCase{"aiff_within", "a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1000, 4000, SF_FORMAT_AIFF},
        LengthCase{"aiff_past", "a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1001, 4000, 0},
        LengthCase{"au_past", "a.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 1001, 4000, 0},
        LengthCase{"w64_past_counts_64_bits", "a.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16, 5000, 4000, SF_FORMAT_W64}),
    [](const ::testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });
