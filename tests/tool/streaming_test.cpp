// render as a stream: every input format comes out in its own format with the samples
// outside the stretch bit for bit, the stretch is what the host's output pass makes of
// the 16-bit conversion; every kind of destination is written as a careful Unix tool
// writes it; a write that fails at the very end leaves the destination as it was.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <ostream>
#include <random>
#include <thread>

#include "host/host_process.h"
#include "tool/session/plugin_session.h"
#include "tool/report/report.h"
#include "case_table.h"
#include "tool_runner.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kChannels = 2;
constexpr int64_t kFrames = 4 * kRate;
constexpr int64_t kStretchFirst = kRate;  // --start 1s at 30 fps: frame 30
constexpr int32_t kStartFrame = 30;
const std::vector<std::string> kRender = {"--start", "1s", "--hz", "1000"};

std::vector<std::string> render_args(const std::string& in, const std::string& out)
{
    std::vector<std::string> args = {"render", in, out};
    args.insert(args.end(), kRender.begin(), kRender.end());
    return args;
}

// A tone under noise; with `over` some stretches beyond full scale, inside the stretch
// and outside it, which only floating-point files can hold.
std::vector<double> test_signal(bool over)
{
    std::vector<double> x(size_t(kFrames * kChannels));
    std::mt19937 random(99);
    std::uniform_real_distribution<double> noise(-0.1, 0.1);
    for (int64_t t = 0; t < kFrames; ++t)
        for (int32_t k = 0; k < kChannels; ++k) {
            double v = 0.5 * std::sin(2 * M_PI * 1000.0 * t / kRate + k) + noise(random);
            if (over && (t < 4000 || (t >= 60000 && t < 60200) || t >= kFrames - 3000)) v *= 2.7;
            x[size_t(t * kChannels + k)] = v;
        }
    return x;
}

void write_native(const std::string& path, int format, const std::vector<double>& x)
{
    SNDFILE* f = open_sound_for_writing(path.c_str(), kRate, kChannels, format);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    ASSERT_EQ(sf_writef_double(f, x.data(), kFrames), kFrames);
    ASSERT_EQ(sf_close(f), 0);
}

// A file's samples as it holds them: left-justified integers, or floating-point values.
struct Native {
    int format = 0;
    std::vector<int32_t> ints;
    std::vector<double> reals;
    int64_t frames = 0;
};

Native read_native(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Native n;
    if (!f) return n;
    n.format = info.format;
    n.frames = info.frames;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE || sub == SF_FORMAT_VORBIS) {
        n.reals.resize(size_t(info.frames * info.channels));
        sf_readf_double(f, n.reals.data(), info.frames);
    } else {
        n.ints.resize(size_t(info.frames * info.channels));
        sf_readf_int(f, n.ints.data(), info.frames);
    }
    sf_close(f);
    return n;
}

// The plug-in's view of sample i: the top 16 bits, or the nearest 16-bit step clipped.
int16_t as_16bit(const Native& n, size_t i, int64_t* clipped)
{
    if (n.reals.empty()) return int16_t(n.ints[i] >> 16);
    const double v = std::nearbyint(n.reals[i] * 32768.0);
    if (v > 32767 || v < -32768) ++*clipped;
    return int16_t(std::clamp(v, -32768.0, 32767.0));
}

bool same_sample(const Native& a, const Native& b, size_t i)
{
    if (a.reals.empty()) return a.ints[i] == b.ints[i];
    return std::memcmp(&a.reals[i], &b.reals[i], sizeof(double)) == 0;
}

struct FormatCase {
    const char* name;
    int format;
    const char* extension;
};


class InputFormats : public ::testing::TestWithParam<FormatCase> {};

} // namespace

TEST_P(InputFormats, OwnFormatOutsideTheStretchAndTheHostsOutputInside)
{
    const FormatCase c = GetParam();
    TempFolder dir;
    const std::string in = std::string("in.") + c.extension, out = std::string("out.") + c.extension;
    const bool floating = (c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT ||
                          (c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE;
    write_native(dir / in, c.format, test_signal(floating));
    const ToolRun run = run_tool(render_args(in, out), dir.path());
    ASSERT_EQ(run.status, 0) << run.err;

    const Native a = read_native(dir / in), b = read_native(dir / out);
    ASSERT_EQ(b.format, a.format) << "the output changed the input's format";
    ASSERT_EQ(b.frames, a.frames);

    // The reference: the host stand-in's output pass over the whole file in 16 bits.
    std::vector<int16_t> in16(size_t(kFrames * kChannels));
    int64_t clipped_in_stretch = 0, clipped_elsewhere = 0;
    PluginSession plugin(TULM_MODULE);
    HostEdit edit;
    host_load_defaults(&edit, &plugin.table());
    const Settings defaults = default_settings(plugin.table());
    const NotchGeometry g = notch_geometry(defaults, kRate);
    for (size_t i = 0; i < in16.size(); ++i) {
        const int64_t t = int64_t(i) / kChannels;
        in16[i] = as_16bit(a, i, t >= kStretchFirst && t < kStretchFirst + g.length ? &clipped_in_stretch
                                                                                     : &clipped_elsewhere);
    }
    edit.media.audio = in16;
    edit.media.audio_rate = kRate;
    edit.media.channels = kChannels;
    edit.slider_values[kFrequency] = 94;  // what --hz 1000 picks at 48 kHz with 2048-sample blocks
    edit.selection_first = kStartFrame;
    edit.selection_last = int32_t(media_frame_count(edit.media) - 1);
    std::vector<int16_t> expected;
    host_run_output(&edit, &plugin.table(), &expected, nullptr, nullptr);

    const bool eight_bit = (c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8;
    int64_t outside_differs = 0, inside_differs = 0;
    for (size_t i = 0; i < in16.size(); ++i) {
        const int64_t t = int64_t(i) / kChannels;
        if (t < kStretchFirst || t >= kStretchFirst + g.length) {
            outside_differs += !same_sample(a, b, i);
        } else {
            // An 8-bit file keeps the top 8 of the plug-in's 16 bits.
            int64_t ignore = 0;
            const int16_t want = eight_bit ? int16_t(expected[i] & ~0xff) : expected[i];
            inside_differs += as_16bit(b, i, &ignore) != want;
        }
    }
    EXPECT_EQ(outside_differs, 0);
    EXPECT_EQ(inside_differs, 0);
    EXPECT_NE(expected, in16) << "the plug-in changed nothing, so the comparison proves nothing";

    const bool wide = c.format != (SF_FORMAT_WAV | SF_FORMAT_PCM_16) && c.format != (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) &&
                      c.format != (SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(run.err.find("come back at 16-bit precision") != std::string::npos, wide) << run.err;
    if (floating) {
        ASSERT_GT(clipped_in_stretch, 0);
        EXPECT_NE(run.err.find("and " + std::to_string(clipped_in_stretch) + " samples beyond full scale"),
                  std::string::npos)
            << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, InputFormats,
                         ::testing::Values(FormatCase{"wav_8bit", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "wav"},
                                           FormatCase{"wav_16bit", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav"},
                                           FormatCase{"wav_24bit", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "wav"},
                                           FormatCase{"wav_float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "wav"},
                                           FormatCase{"wav_double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, "wav"},
                                           FormatCase{"flac_16bit", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "flac"},
                                           FormatCase{"flac_24bit", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "flac"}),
                         CaseName());

namespace {

// One kind of destination: `prepare` makes it in the folder and returns the OUT
// argument; `collect` returns the bytes that reached it and checks what it is after.
struct OutputCase {
    const char* name;
    std::function<std::string(TempFolder&)> prepare;
    std::function<std::string(TempFolder&, const ToolRun&)> collect;
    bool needs_root = false;
    bool from_stdin = false;
};


class OutputKinds : public ::testing::TestWithParam<OutputCase> {};

mode_t kind_of(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

mode_t mode_of(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Reads a FIFO in the background while the tool writes it. The read end is open before
// the tool starts, so the tool never waits for a reader; and a tool that replaced the
// FIFO instead of writing into it leaves the reader to stop once the tool is done.
struct FifoReader {
    std::string got;
    std::atomic<bool> tool_done{false};
    int fd;
    std::thread thread;
    explicit FifoReader(const std::string& path)
        : fd(open(path.c_str(), O_RDONLY | O_NONBLOCK)), thread([this] {
              char buf[65536];
              bool writer_seen = false;
              for (;;) {
                  pollfd p{fd, POLLIN, 0};
                  poll(&p, 1, 50);
                  const ssize_t n = read(fd, buf, sizeof buf);
                  if (n > 0) {
                      got.append(buf, size_t(n));
                      writer_seen = true;
                  } else if (n == 0 && (writer_seen || tool_done)) {
                      break;
                  } else if (n == 0) {
                      usleep(10000);
                  }
              }
              close(fd);
          })
    {
    }
    std::string finish()
    {
        tool_done = true;
        thread.join();
        return std::move(got);
    }
};
std::unique_ptr<FifoReader> g_fifo;

const std::string kLongName = std::string(247, 'n') + ".wav";  // 251 bytes: fits, its temporary would not

} // namespace

TEST_P(OutputKinds, WrittenIntoOrReplacedAsItShouldBe)
{
    const OutputCase c = GetParam();
    if (c.needs_root && geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    TempFolder dir;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, test_signal(false));
    const ToolRun reference = run_tool(render_args("in.wav", "ref.wav"), dir.path());
    ASSERT_EQ(reference.status, 0) << reference.err;
    const std::string want = read_text(dir / "ref.wav");

    const std::string out = c.prepare(dir);
    ToolSetup setup;
    if (c.from_stdin) setup.stdin_path = dir / "in.wav";
    const ToolRun run = run_tool(render_args(c.from_stdin ? "-" : "in.wav", out), dir.path(), setup);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(c.collect(dir, run), want);
    for (const std::string& name : dir.entries()) EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OutputKinds,
    ::testing::Values(
        OutputCase{"new_file", [](TempFolder&) { return std::string("new.wav"); },
                   [](TempFolder& d, const ToolRun&) { return read_text(d / "new.wav"); }},
        OutputCase{"regular_file_keeps_its_mode",
                   [](TempFolder& d) {
                       std::ofstream(d / "old.wav") << "old";
                       chmod((d / "old.wav").c_str(), 0604);
                       return std::string("old.wav");
                   },
                   [](TempFolder& d, const ToolRun&) {
                       EXPECT_EQ(mode_of(d / "old.wav"), mode_t(0604));
                       return read_text(d / "old.wav");
                   }},
        OutputCase{"fifo_read_in_the_background",
                   [](TempFolder& d) {
                       mkfifo((d / "fifo").c_str(), 0600);
                       g_fifo = std::make_unique<FifoReader>(d / "fifo");
                       return std::string("fifo");
                   },
                   [](TempFolder& d, const ToolRun&) {
                       std::string got = g_fifo->finish();
                       EXPECT_EQ(kind_of(d / "fifo"), mode_t(S_IFIFO));
                       return got;
                   }},
        OutputCase{"character_device",
                   [](TempFolder& d) {
                       EXPECT_EQ(mknod((d / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
                       return std::string("null");
                   },
                   [](TempFolder& d, const ToolRun&) {
                       EXPECT_EQ(kind_of(d / "null"), mode_t(S_IFCHR));
                       return read_text(d / "ref.wav");  // what went in is gone; its kind is what counts
                   },
                   true},
        OutputCase{"symlink_to_a_file",
                   [](TempFolder& d) {
                       std::ofstream(d / "target.wav") << "old";
                       symlink("target.wav", (d / "link.wav").c_str());
                       return std::string("link.wav");
                   },
                   [](TempFolder& d, const ToolRun&) {
                       EXPECT_EQ(kind_of(d / "link.wav"), mode_t(S_IFLNK));
                       return read_text(d / "target.wav");
                   }},
        OutputCase{"symlink_to_a_new_file",
                   [](TempFolder& d) {
                       symlink("made.wav", (d / "link.wav").c_str());
                       return std::string("link.wav");
                   },
                   [](TempFolder& d, const ToolRun&) {
                       EXPECT_EQ(kind_of(d / "link.wav"), mode_t(S_IFLNK));
                       return read_text(d / "made.wav");
                   }},
        OutputCase{"name_at_the_length_limit", [](TempFolder&) { return kLongName; },
                   [](TempFolder& d, const ToolRun&) { return read_text(d / kLongName); }},
        OutputCase{"standard_output", [](TempFolder&) { return std::string("-"); },
                   [](TempFolder&, const ToolRun& run) { return run.out; }},
        OutputCase{"standard_input", [](TempFolder&) { return std::string("from-stdin.wav"); },
                   [](TempFolder& d, const ToolRun&) { return read_text(d / "from-stdin.wav"); }, false, true}),
    CaseName());

TEST(OutputKinds, StandardOutputIntoAPipe)
{
    TempFolder dir;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, test_signal(false));
    ASSERT_EQ(run_tool(render_args("in.wav", "ref.wav"), dir.path()).status, 0);
    std::string command = "cd '" + dir.path() + "' && '" TULM_TOOL "' render in.wav -";
    for (const std::string& a : kRender) command += " " + a;
    command += " | cat > piped.wav";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_text(dir / "piped.wav"), read_text(dir / "ref.wav"));
}

// The output fits in the tool's buffer, so the first write to fail is the one that
// finishes the file; the file size limit makes it fail with EFBIG.
TEST(OutputKinds, FailureAtTheFinalFlushLeavesTheDestinationAsItWas)
{
    TempFolder dir;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, test_signal(false));
    std::ofstream(dir / "out.wav") << "precious";
    const std::vector<std::string> before = dir.entries();
    ToolSetup setup;
    setup.file_size_limit = 100000;
    const ToolRun run = run_tool(render_args("in.wav", "out.wav"), dir.path(), setup);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("tulm: error: out.wav: writing failed (File too large)"), std::string::npos) << run.err;
    EXPECT_EQ(read_text(dir / "out.wav"), "precious");
    EXPECT_EQ(dir.entries(), before);
}

TEST(ToolNotes, ShortDataAndAStretchPastTheEnd)
{
    TempFolder dir;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, test_signal(false));
    const std::string whole = read_text(dir / "in.wav");
    std::ofstream(dir / "cut.wav", std::ios::binary) << whole.substr(0, whole.size() / 2);
    const int64_t left = int64_t(whole.size() / 2 - 44) / (2 * kChannels);  // after a 44-byte header
    const std::string cut_short =
        "tulm: warning: cut.wav: the header says 192000 samples, but the file holds only " + std::to_string(left);
    const struct {
        std::vector<std::string> args;
        std::string note;
    } cases[] = {
        {render_args("cut.wav", "out.wav"), cut_short},
        {{"detect", "cut.wav"}, cut_short},
        {{"measure", "cut.wav", "cut.wav", "--hz", "1000"}, cut_short},
        {{"render", "in.wav", "out.wav", "--start", "3.5s", "--hz", "1000"},
         "tulm: note: the stretch runs 73280 samples past the end of the file"},
    };
    for (const auto& c : cases) {
        const ToolRun run = run_tool(c.args, dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(c.note), std::string::npos) << run.err;
    }
}

// A file size limit met with its signal (the default) ends the tool at once; its
// temporaries go with it and the old file stays.
TEST(OutputKinds, FileSizeSignalLeavesNoTemporary)
{
    TempFolder dir;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, test_signal(false));
    std::ofstream(dir / "out.wav") << "precious";
    const std::vector<std::string> before = dir.entries();
    ToolSetup setup;
    setup.file_size_limit = 100000;
    setup.size_limit_signal = true;
    std::vector<std::string> args = render_args("in.wav", "out.wav");
    args.insert(args.end(), {"--diff", "d.wav"});
    const ToolRun run = run_tool(args, dir.path(), setup);
    EXPECT_EQ(run.status, -1) << "the signal should end the tool: " << run.err;
    EXPECT_EQ(read_text(dir / "out.wav"), "precious");
    EXPECT_EQ(dir.entries(), before);
}

namespace {

std::string replace_all(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

struct PipeCase {
    const char* name;
    int format;
    const char* extension;
    bool cut_short;  // only the first half of the file's bytes
    bool length_unknown = false;  // a 44-byte WAV header whose sizes say "unknown", as a pipe's writer leaves them
};


class InputsOnAPipe : public ::testing::TestWithParam<PipeCase> {};

} // namespace

// Standard input from a pipe gives what the same file gives from disk: the same
// output bytes, the same warnings and notes (naming it "standard input"), the same
// frame numbers, whatever the format.
TEST_P(InputsOnAPipe, SameAsTheFileOnDisk)
{
    const PipeCase c = GetParam();
    TempFolder dir;
    const std::string in = std::string("in.") + c.extension;
    write_native(dir / in, c.format, test_signal(false));
    if (c.cut_short) {
        const std::string whole = read_text(dir / in);
        std::ofstream(dir / in, std::ios::binary | std::ios::trunc) << whole.substr(0, whole.size() / 2);
    }
    if (c.length_unknown) {
        std::string whole = read_text(dir / in);
        ASSERT_EQ(whole.substr(36, 4), "data");
        whole.replace(4, 4, "\xff\xff\xff\xff");
        whole.replace(40, 4, "\xff\xff\xff\xff");
        std::ofstream(dir / in, std::ios::binary | std::ios::trunc) << whole;
    }
    ToolSetup piped;
    piped.stdin_path = dir / in;
    piped.stdin_pipe = true;
    const struct {
        std::vector<std::string> disk, pipe;
        const char* disk_out;
        const char* pipe_out;
    } commands[] = {
        {render_args(in, "disk.wav"), render_args("-", "pipe.wav"), "disk.wav", "pipe.wav"},
        {{"detect", in, "--start", "0.5s"}, {"detect", "-", "--start", "0.5s"}, nullptr, nullptr},
    };
    for (const auto& command : commands) {
        const ToolRun disk = run_tool(command.disk, dir.path());
        const ToolRun pipe = run_tool(command.pipe, dir.path(), piped);
        EXPECT_EQ(pipe.status, disk.status) << pipe.err;
        EXPECT_EQ(pipe.err, replace_all(replace_all(disk.err, in, "standard input"), "disk.wav", "pipe.wav"));
        if (command.disk_out) {
            ASSERT_EQ(disk.status, 0) << disk.err;
            EXPECT_EQ(read_text(dir / command.pipe_out), read_text(dir / command.disk_out));
            EXPECT_EQ(pipe.out, replace_all(disk.out, "disk.wav", "pipe.wav"));
        } else {
            // From a pipe the suggested OUT has no input name to follow: each pass of a
            // plan writes notch.wav, notch-2.wav, ... in place of the input's own names.
            std::string expected = replace_all(disk.out, " of " + in, " of -");
            for (std::string from = in, to = "-"; from.find("-notch-9") == std::string::npos;
                 from = notched_name(from), to = notched_name(to))
                expected = replace_all(expected, "render " + from + " " + notched_name(from),
                                       "render " + to + " " + notched_name(to));
            EXPECT_EQ(pipe.out, expected);
        }
    }
    const ToolRun disk = run_tool(commands[0].disk, dir.path());
    EXPECT_EQ(disk.err.find("tulm: warning: " + in + ": the header says 192000 samples, but the file holds only") !=
                  std::string::npos,
              c.cut_short)
        << disk.err;
    EXPECT_EQ(disk.err.find("warning") != std::string::npos, c.cut_short) << disk.err;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, InputsOnAPipe,
    ::testing::Values(PipeCase{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav", false},
                      PipeCase{"wav_cut_short", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav", true},
                      PipeCase{"wav_length_unknown", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav", false, true},
                      PipeCase{"wav_24bit_cut_short", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "wav", true},
                      PipeCase{"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "flac", false},
                      PipeCase{"caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, "caf", false},
                      PipeCase{"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "aiff", false},
                      PipeCase{"ogg_vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "ogg", false},
                      PipeCase{"wav_ima_adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, "wav", false}),
    CaseName());

namespace {

struct LossyCase {
    const char* name;
    int format;
    const char* extension;
    const char* out;       // OUT; "-" is standard output
    int out_format;        // what OUT holds
    const char* described; // the input's encoding in the note
};


class LossyInputs : public ::testing::TestWithParam<LossyCase> {};

} // namespace

// An encoding that cannot be written again unchanged is kept as decoded: OUT has the
// input's length and, outside the stretch, exactly the samples the input decodes to;
// one note says so.
TEST_P(LossyInputs, DecodedSamplesKeptExactlyWithOneNote)
{
    const LossyCase c = GetParam();
    TempFolder dir;
    const std::string in = std::string("in.") + c.extension;
    write_native(dir / in, c.format, test_signal(false));
    const ToolRun run = run_tool(render_args(in, c.out), dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string out = std::string(c.out) == "-" ? dir / "stdout.bin" : dir / c.out;
    if (std::string(c.out) == "-") std::ofstream(out, std::ios::binary) << run.out;

    const Native a = read_native(dir / in), b = read_native(out);
    ASSERT_GT(a.frames, 0);
    ASSERT_EQ(b.format, c.out_format);
    EXPECT_EQ(b.frames, a.frames);
    PluginSession plugin(TULM_MODULE);
    const int64_t length = notch_geometry(default_settings(plugin.table()), kRate).length;
    int64_t outside_differs = 0;
    for (int64_t t = 0; t < std::min(a.frames, b.frames); ++t) {
        if (t >= kStretchFirst && t < kStretchFirst + length) continue;
        for (int32_t k = 0; k < kChannels; ++k) {
            const size_t i = size_t(t * kChannels + k);
            outside_differs += a.reals.empty() ? a.ints[i] != b.ints[i] : float(a.reals[i]) != float(b.reals[i]);
        }
    }
    EXPECT_EQ(outside_differs, 0);
    const std::string note = "tulm: note: " + in + " holds " + c.described + ", which cannot be encoded again";
    EXPECT_NE(run.err.find(note), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("tulm: note:"), run.err.rfind("tulm: note:")) << "one note: " << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, LossyInputs,
    ::testing::Values(LossyCase{"ima_adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, "wav", "out.wav",
                                SF_FORMAT_WAV | SF_FORMAT_PCM_16, "IMA ADPCM samples"},
                      LossyCase{"ms_adpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, "wav", "out.wav",
                                SF_FORMAT_WAV | SF_FORMAT_PCM_16, "Microsoft ADPCM samples"},
                      LossyCase{"ms_adpcm_to_stdout", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, "wav", "-",
                                SF_FORMAT_WAV | SF_FORMAT_PCM_16, "Microsoft ADPCM samples"},
                      LossyCase{"vorbis_to_stdout", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "ogg", "-",
                                SF_FORMAT_WAV | SF_FORMAT_FLOAT, "Vorbis audio"},
                      LossyCase{"vorbis_to_wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "ogg", "out.wav",
                                SF_FORMAT_WAV | SF_FORMAT_FLOAT, "Vorbis audio"},
                      LossyCase{"vorbis_to_caf", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "ogg", "out.caf",
                                SF_FORMAT_CAF | SF_FORMAT_FLOAT, "Vorbis audio"}),
    CaseName());

namespace {

struct TagCase {
    const char* name;
    const char* out;      // "-" is standard output
    const char* dropped;  // the note naming what the format cannot hold; "" for none
};


class TextTags : public ::testing::TestWithParam<TagCase> {};

std::vector<std::pair<int, std::string>> strings_of(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<std::pair<int, std::string>> got;
    if (!f) return got;
    for (int kind = SF_STR_FIRST; kind <= SF_STR_LAST; ++kind)
        if (const char* text = sf_get_string(f, kind)) got.emplace_back(kind, text);
    sf_close(f);
    return got;
}

} // namespace

// Every text libsndfile reads from IN reaches OUT, or a note names those the output's
// format has no room for.
TEST_P(TextTags, CopiedIntoTheOutput)
{
    const TagCase c = GetParam();
    TempFolder dir;
    const std::vector<std::pair<int, std::string>> tags = {
        {SF_STR_TITLE, "Interview, take 3"}, {SF_STR_ARTIST, "Field crew"}, {SF_STR_COMMENT, "hum at 1 kHz"}};
    {
        SNDFILE* f =
            open_sound_for_writing((dir / "in.wav").c_str(), kRate, kChannels, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        ASSERT_NE(f, nullptr);
        for (const auto& [kind, text] : tags) ASSERT_EQ(sf_set_string(f, kind, text.c_str()), 0);
        const std::vector<double> x = test_signal(false);
        ASSERT_EQ(sf_writef_double(f, x.data(), kFrames), kFrames);
        sf_close(f);
    }
    ASSERT_EQ(strings_of(dir / "in.wav"), tags);
    const ToolRun run = run_tool(render_args("in.wav", c.out), dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string out = std::string(c.out) == "-" ? dir / "stdout.wav" : dir / c.out;
    if (std::string(c.out) == "-") std::ofstream(out, std::ios::binary) << run.out;
    if (*c.dropped) {
        EXPECT_NE(run.err.find(c.dropped), std::string::npos) << run.err;
    } else {
        EXPECT_EQ(strings_of(out), tags);
        EXPECT_EQ(run.err.find("no room"), std::string::npos) << run.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, TextTags,
    ::testing::Values(TagCase{"wav", "out.wav", ""}, TagCase{"flac", "out.flac", ""},
                      TagCase{"wav_to_standard_output", "-", ""},
                      TagCase{"au_has_no_room", "out.au",
                              "tulm: note: out.au's format has no room for the input's title, artist and comment"}),
    CaseName());

// A full-scale square wave loses a fundamental 4/pi times its height, so IN - OUT
// passes full scale: the note says how many samples --diff clipped.
TEST(ToolNotes, DiffSaysHowManySamplesItClipped)
{
    TempFolder dir;
    std::vector<double> x(size_t(kFrames * kChannels));
    for (size_t i = 0; i < x.size(); ++i) x[i] = (i / kChannels) % 48 < 24 ? 32767.0 / 32768 : -1.0;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, x);
    std::vector<std::string> args = render_args("in.wav", "out.wav");
    args.insert(args.end(), {"--diff", "d.wav"});
    const ToolRun run = run_tool(args, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Native in = read_native(dir / "in.wav"), out = read_native(dir / "out.wav");
    ASSERT_EQ(in.ints.size(), out.ints.size());
    int64_t beyond = 0;
    for (size_t i = 0; i < in.ints.size(); ++i) {
        const int32_t d = (in.ints[i] >> 16) - (out.ints[i] >> 16);
        beyond += d > 32767 || d < -32768;
    }
    ASSERT_GT(beyond, 0);
    EXPECT_NE(run.err.find("tulm: note: " + std::to_string(beyond) +
                           " samples of IN - OUT lay beyond full scale and were clipped in d.wav"),
              std::string::npos)
        << run.err;
}

// The progress bar belongs to stderr: it shows there on a terminal whatever OUT is,
// standard output included, and clears its line before the report.
TEST(Progress, OnTheTerminalWhenTheAudioGoesToStandardOutput)
{
    TempFolder dir;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, test_signal(false));
    ASSERT_EQ(run_tool(render_args("in.wav", "ref.wav"), dir.path()).status, 0);
    const ToolRun run = run_tool_on_terminal(render_args("in.wav", "-"), dir.path(), 1500);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, read_text(dir / "ref.wav"));
    EXPECT_NE(run.err.find("\rrendering ["), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("%\r"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("settings: "), std::string::npos) << run.err;
}

// A reader that stops early (head) ends the tool with SIGPIPE; the --diff file it was
// writing beside standard output leaves no temporary behind.
TEST(OutputKinds, ClosedPipeLeavesNoTemporary)
{
    TempFolder dir;
    write_native(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, test_signal(false));
    const std::vector<std::string> before = dir.entries();
    std::string command = "cd '" + dir.path() + "' && '" TULM_TOOL "' render in.wav - --diff d.wav";
    for (const std::string& a : kRender) command += " " + a;
    command += " 2>/dev/null | head -c 100 > /dev/null";
    std::system(command.c_str());
    EXPECT_EQ(dir.entries(), before);
}
