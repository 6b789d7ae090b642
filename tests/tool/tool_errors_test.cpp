// Every way a user can get it wrong: one clear line, a non-zero exit, and nothing left
// behind, neither the output nor a temporary, nor a change to a file already there.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <ostream>

#include "tool_runner.h"

namespace {

struct ErrorCase {
    const char* name;
    std::vector<std::string> args;  // run in a folder holding in.wav (2 s, 48 kHz), hard.wav (a hard link
                                    // to it), sym.wav (a symlink to it), giga.wav (a header claiming
                                    // 1e9 Hz), zero.wav (one claiming 0 Hz), ro.wav (mode 0444),
                                    // twin.wav and twin2.wav (one file, two names), text.wav, junk.so,
                                    // clip.mp4 and clip.webm (the first bytes of videos)
    const char* message;            // part of the one line on stderr
    int status;
    bool out_exists;                // out.wav is there beforehand and must survive unchanged
};

// CTest lists the case by name instead of its raw bytes.
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class ToolErrors : public ::testing::TestWithParam<ErrorCase> {};

} // namespace

TEST_P(ToolErrors, OneLineNonZeroExitNothingWritten)
{
    const ErrorCase c = GetParam();
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(48000, 2, 2.0, 1000, 0.3, 0.0));
    {
        std::ofstream(dir / "text.wav") << "not audio\n";
        std::ofstream(dir / "junk.so") << "not a module\n";
        // The first bytes of a phone's MP4 and of a WebM: what the tool names them by.
        std::ofstream(dir / "clip.mp4", std::ios::binary)
            << std::string("\0\0\0\x18", 4) << "ftypmp42" << std::string(64, 'x');
        std::ofstream(dir / "clip.webm", std::ios::binary) << "\x1a\x45\xdf\xa3" << std::string(64, 'x');
        // 16-bit stereo WAV headers claiming 1e9 Hz and 0 Hz, and 4096 frames of silence.
        for (const auto& [name, rate] : {std::pair<const char*, uint32_t>{"giga.wav", 1000000000}, {"zero.wav", 0}}) {
            std::ofstream wav(dir / name, std::ios::binary);
            const uint32_t data = 4096 * 4;
            const auto u32 = [&wav](uint32_t v) { wav.write(reinterpret_cast<const char*>(&v), 4); };
            const auto u16 = [&wav](uint16_t v) { wav.write(reinterpret_cast<const char*>(&v), 2); };
            wav << "RIFF";
            u32(36 + data);
            wav << "WAVEfmt ";
            u32(16), u16(1), u16(2), u32(rate), u32(rate * 4), u16(4), u16(16);
            wav << "data";
            u32(data);
            wav << std::string(data, '\0');
        }
        std::ofstream(dir / "ro.wav") << "protected";
        std::ofstream(dir / "twin.wav") << "shared";
    }
    ASSERT_EQ(chmod((dir / "ro.wav").c_str(), 0444), 0);
    ASSERT_EQ(link((dir / "twin.wav").c_str(), (dir / "twin2.wav").c_str()), 0);
    ASSERT_EQ(link((dir / "in.wav").c_str(), (dir / "hard.wav").c_str()), 0);
    ASSERT_EQ(symlink("in.wav", (dir / "sym.wav").c_str()), 0);
    ASSERT_EQ(symlink("in.wav", (dir / "in.svg").c_str()), 0);
    ASSERT_EQ(link((dir / "in.wav").c_str(), (dir / "hard.svg").c_str()), 0);
    write_audio(dir / "slow.wav", sine_audio(1, 1, 20.0, 0.25, 0.3, 0.0));
    // A shared library that is no plug-in: the C library's mathematics.
    Dl_info libm;
    ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&::cos)), &libm), 0);
    ASSERT_EQ(symlink(libm.dli_fname, (dir / "nolib.so").c_str()), 0);
    if (c.out_exists) std::ofstream(dir / "out.wav") << "precious";
    const std::vector<std::string> before = dir.entries();
    std::map<std::string, std::string> contents;
    for (const std::string& name : before) contents[name] = read_text(dir / name);

    const ToolRun run = run_tool(c.args, dir.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err.rfind("tulm: error: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(dir.entries(), before);
    for (const auto& [name, text] : contents) EXPECT_EQ(read_text(dir / name), text) << name << " changed";
    struct stat st;
    ASSERT_EQ(stat((dir / "ro.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0444));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolErrors,
    ::testing::Values(
        ErrorCase{"missing_input", {"render", "nothing.wav", "out.wav"}, "nothing.wav: No such file", 1, false},
        ErrorCase{"not_audio", {"render", "text.wav", "out.wav"}, "text.wav: not an audio file", 1, false},
        ErrorCase{"video_mp4", {"detect", "clip.mp4"}, "clip.mp4: an MP4, MOV or M4A file, whose sound", 1, false},
        ErrorCase{"video_webm", {"detect", "clip.webm"}, "clip.webm: a WebM or MKV file, whose sound", 1, false},
        ErrorCase{"folder_as_input", {"render", ".", "out.wav"}, "is a folder", 1, false},
        ErrorCase{"missing_measure_output", {"measure", "in.wav", "gone.wav"}, "gone.wav: No such file", 1, false},
        ErrorCase{"unsupported_output", {"render", "in.wav", "out.xyz"}, "unsupported output format", 2, false},
        ErrorCase{
            "lossy_output", {"render", "in.wav", "out.mp3"}, "out.mp3: the tool writes no lossy formats", 2, false},
        ErrorCase{"lossy_diff", {"render", "in.wav", "out.wav", "--diff", "d.ogg"}, "name OUT .wav or .flac", 2, false},
        // The advice names only what the container can hold.
        ErrorCase{"flac_cannot_hold_float",
                  {"render", "in.wav", "out.flac", "--encoding", "float"},
                  "choose --encoding 8, 16 or 24, or another extension",
                  1,
                  false},
        ErrorCase{
            "header_rate_zero", {"detect", "zero.wav"}, "zero.wav: the header gives a sampling rate of 0", 1, false},
        // Whoever runs the tool, as cp without -f would for its user: the file is kept.
        ErrorCase{"write_protected_out",
                  {"render", "in.wav", "ro.wav"},
                  "ro.wav: cannot replace it: permission denied",
                  1,
                  false},
        ErrorCase{"write_protected_diff",
                  {"render", "in.wav", "out.wav", "--diff", "ro.wav"},
                  "ro.wav: cannot replace",
                  1,
                  true},
        ErrorCase{"hard_linked_out",
                  {"render", "in.wav", "twin.wav"},
                  "twin.wav: the file has 2 names (hard links)",
                  1,
                  false},
        ErrorCase{"missing_folder", {"render", "in.wav", "no/out.wav"}, "cannot write in no", 1, false},
        ErrorCase{
            "width_too_large", {"render", "in.wav", "out.wav", "--width", "257"}, "--width 257 is outside", 2, true},
        ErrorCase{"frequency_zero",
                  {"render", "in.wav", "out.wav", "--frequency", "0"},
                  "--frequency 0 is outside",
                  2,
                  false},
        ErrorCase{
            "region_too_short", {"detect", "in.wav", "--length", "0.5s"}, "too little to tell a steady tone", 1, false},
        ErrorCase{"detect_hz_above_half_rate", {"detect", "in.wav", "--hz", "30000"}, "--hz 30000 is not", 2, false},
        ErrorCase{"fft_order_eight",
                  {"render", "in.wav", "out.wav", "--fft-order", "8"},
                  "--fft-order 8 is outside",
                  2,
                  false},
        ErrorCase{"fade_negative", {"render", "in.wav", "out.wav", "--fade", "-1"}, "--fade -1 is outside", 2, false},
        ErrorCase{"notch_past_the_top",
                  {"render", "in.wav", "out.wav", "--frequency", "1700", "--fft-order", "14"},
                  "past the top of the spectrum",
                  2,
                  false},
        ErrorCase{
            "hz_above_half_rate", {"render", "in.wav", "out.wav", "--hz", "30000"}, "--hz 30000 is outside", 2, false},
        // 19172 Hz is the highest centre at 48 kHz with 2048-sample blocks.
        ErrorCase{"hz_beyond_reach", {"render", "in.wav", "out.wav", "--hz", "20000"}, "(11.7 to 19171.9 Hz)", 2, true},
        ErrorCase{"hz_below_reach", {"render", "in.wav", "out.wav", "--hz", "5"}, "(11.7 to 19171.9 Hz)", 2, false},
        ErrorCase{"hz_nan", {"render", "in.wav", "out.wav", "--hz", "nan"}, "--hz: must be a finite number", 2, false},
        ErrorCase{"min_attenuation_nan",
                  {"measure", "in.wav", "in.wav", "--min-attenuation", "nan"},
                  "must be a finite number",
                  2,
                  false},
        ErrorCase{"min_attenuation_inf",
                  {"measure", "in.wav", "in.wav", "--min-attenuation", "-inf"},
                  "must be a finite number",
                  2,
                  false},
        // A number is one a user writes: no empty text, word, hexadecimal or 300 digits.
        ErrorCase{"min_attenuation_empty",
                  {"measure", "in.wav", "in.wav", "--min-attenuation", ""},
                  "--min-attenuation: must be a finite number, not ''",
                  2,
                  false},
        ErrorCase{"min_attenuation_word",
                  {"measure", "in.wav", "in.wav", "--min-attenuation", "abc"},
                  "--min-attenuation: must be a finite number, not 'abc'",
                  2,
                  false},
        ErrorCase{"min_attenuation_huge",
                  {"measure", "in.wav", "in.wav", "--min-attenuation", "1e308"},
                  "--min-attenuation 1e308 is outside -1000 to 1000",
                  2,
                  false},
        ErrorCase{"start_hex", {"render", "in.wav", "out.wav", "--start", "0x10s"}, "'0x10s' is not a time", 2, false},
        ErrorCase{"detect_hz_beyond_reach",
                  {"detect", "in.wav", "--hz", "23999"},
                  "--hz 23999 is outside the notch centres the plug-in reaches at 48000 Hz at any FFT order (",
                  2,
                  false},
        ErrorCase{"start_beyond_frames",
                  {"render", "in.wav", "out.wav", "--start", "1e300s"},
                  "--start 1e300s lies past the last video frame",
                  2,
                  false},
        ErrorCase{"rate_not_served",
                  {"render", "giga.wav", "out.wav"},
                  "a sampling rate of 1000000000 Hz is more than the plug-in can serve",
                  1,
                  true},
        ErrorCase{"rate_not_served_detect", {"detect", "giga.wav"}, "1000000000 Hz", 1, false},
        // Two names for one file: refused before anything is read.
        ErrorCase{"out_is_in", {"render", "in.wav", "in.wav"}, "IN and OUT name the same file", 1, false},
        ErrorCase{"out_is_in_by_path", {"render", "in.wav", "./in.wav"}, "IN and OUT name the same file", 1, false},
        ErrorCase{"out_is_hard_link_to_in", {"render", "in.wav", "hard.wav"}, "IN and OUT", 1, false},
        ErrorCase{"out_is_symlink_to_in", {"render", "in.wav", "sym.wav"}, "IN and OUT", 1, false},
        ErrorCase{"diff_is_in", {"render", "in.wav", "out.wav", "--diff", "in.wav"}, "IN and --diff", 1, false},
        ErrorCase{"diff_is_out", {"render", "in.wav", "out.wav", "--diff", "out.wav"}, "OUT and --diff", 1, true},
        ErrorCase{"plot_is_in", {"render", "in.wav", "out.wav", "--plot", "in.svg"}, "IN and --plot", 1, false},
        ErrorCase{"plot_is_out", {"render", "in.wav", "out.svg", "--plot", "out.svg"}, "OUT and --plot", 1, false},
        ErrorCase{"plot_is_diff",
                  {"render", "in.wav", "out.wav", "--diff", "d.svg", "--plot", "d.svg"},
                  "--diff and --plot",
                  1,
                  false},
        ErrorCase{"measure_plot_is_in", {"measure", "in.wav", "in.wav", "--plot", "in.svg"}, "IN and --plot", 1, false},
        ErrorCase{"measure_plot_is_out",
                  {"measure", "in.wav", "hard.svg", "--plot", "hard.svg"},
                  "--plot name the same file",
                  1,
                  false},
        // The drawing is SVG whatever the name says: a name that promises another format is refused.
        ErrorCase{"plot_png", {"render", "in.wav", "out.wav", "--plot", "p.png"}, "so name it FILE.svg", 2, true},
        ErrorCase{
            "measure_plot_png", {"measure", "in.wav", "in.wav", "--plot", "p.png"}, "so name it FILE.svg", 2, false},
        // Every command takes a value the same way: one that does not parse is a usage error.
        ErrorCase{"detect_hz_nan", {"detect", "in.wav", "--hz", "nan"}, "--hz: must be a finite number", 2, false},
        ErrorCase{"fft_order_hex",
                  {"render", "in.wav", "out.wav", "--fft-order", "0xd"},
                  "--fft-order '0xd' is not a whole number in decimal digits",
                  2,
                  true},
        ErrorCase{"width_fraction",
                  {"measure", "in.wav", "in.wav", "--width", "30.5"},
                  "--width '30.5' is not a whole number",
                  2,
                  false},
        ErrorCase{"start_frame_hex",
                  {"detect", "in.wav", "--start-frame", "0x1"},
                  "--start-frame '0x1' is not a whole number",
                  2,
                  false},
        ErrorCase{"table_rate_hex", {"table", "--rate", "0xbb80"}, "--rate '0xbb80' is not a whole number", 2, false},
        ErrorCase{"table_width_hex", {"table", "--width", "0x10"}, "--width '0x10' is not a whole number", 2, false},
        ErrorCase{"start_empty", {"render", "in.wav", "out.wav", "--start", ""}, "'' is not a time", 2, true},
        ErrorCase{"detect_start_empty", {"detect", "in.wav", "--start", ""}, "'' is not a time", 2, false},
        // At 1 Hz no frequency value lands inside the spectrum: said so, not as a range of -1 Hz.
        ErrorCase{"hz_at_one_hz",
                  {"render", "slow.wav", "out.wav", "--hz", "0.25"},
                  "no frequency value puts the notch inside the spectrum at 1 Hz",
                  1,
                  false},
        ErrorCase{"mistyped_command", {"rendr", "in.wav", "out.wav"}, "did you mean 'render'", 2, false},
        ErrorCase{
            "start_past_end", {"render", "in.wav", "out.wav", "--start", "2.5s"}, "past the end of the file", 1, true},
        ErrorCase{"start_frame_past_end",
                  {"measure", "in.wav", "in.wav", "--start-frame", "60"},
                  "past the end of the file",
                  1,
                  false},
        ErrorCase{"bad_time", {"render", "in.wav", "out.wav", "--start", "soon"}, "is not a time", 2, false},
        ErrorCase{"bad_fps", {"render", "in.wav", "out.wav", "--fps", "29.97"}, "is not a video rate", 2, false},
        ErrorCase{"module_missing",
                  {"render", "in.wav", "out.wav", "--plugin", "absent.so"},
                  "the plug-in module absent.so is not there (looked for /",
                  1,
                  false},
        ErrorCase{"module_not_loadable", {"render", "in.wav", "out.wav", "--plugin", "./junk.so"}, "junk.so", 1, false},
        ErrorCase{"module_without_entry",
                  {"render", "in.wav", "out.wav", "--plugin", "nolib.so"},
                  "does not export GetFilterTable",
                  1,
                  false},
        // Fails only after rendering: the finished output must not replace the old file.
        ErrorCase{"plot_with_full_fade",
                  {"render", "in.wav", "out.wav", "--fade", "100", "--plot", "p.svg"},
                  "too short to measure",
                  1,
                  true},
        ErrorCase{"table_rate_zero",
                  {"table", "--rate", "0"},
                  "--rate 0 is not a sampling rate the tool takes (1 to",
                  2,
                  false},
        ErrorCase{"table_rate_beyond_render", {"table", "--rate", "1000000000"}, "(1 to 715827882 Hz)", 2, false},
        ErrorCase{"table_width_too_large", {"table", "--width", "300"}, "--width 300 is outside", 2, false},
        ErrorCase{"table_tone_zero", {"table", "--tone", "0"}, "--tone 0 is not a frequency", 2, false},
        ErrorCase{"hz_with_frequency",
                  {"render", "in.wav", "out.wav", "--hz", "100", "--frequency", "10"},
                  "excludes",
                  2,
                  false},
        ErrorCase{"no_output_named", {"render", "in.wav"}, "OUT is required", 2, false},
        ErrorCase{"unknown_command", {"bogus"}, "bogus", 2, false}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

// What the file system refuses to an ordinary user, and a file the user made read-only
// in a folder where they may write: the tool says so in its own words and leaves the
// file as it was. Root may read and write these, so the tool is run as the
// unprivileged "nobody" (uid 65534) when the test runs as root.
TEST(ToolErrorsForAnotherUser, PermissionDeniedInOurWords)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the tool as another user";
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"detect", "secret.wav"}, "secret.wav: cannot open: permission denied"},
        {{"render", "in.wav", "theirs.wav"}, "theirs.wav: cannot replace it: permission denied"},
        {{"render", "in.wav", "mine.wav"}, "mine.wav: cannot replace it: permission denied (the file is write-protected"},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
        write_audio(dir / "in.wav", sine_audio(48000, 2, 2.0, 1000, 0.3, 0.0));
        write_audio(dir / "secret.wav", sine_audio(48000, 2, 2.0, 1000, 0.3, 0.0));
        std::ofstream(dir / "theirs.wav") << "root's";
        std::ofstream(dir / "mine.wav") << "mine";
        ASSERT_EQ(chown((dir / "mine.wav").c_str(), 65534, 65534), 0);
        ASSERT_EQ(chmod((dir / "mine.wav").c_str(), 0444), 0);
        ASSERT_EQ(chmod((dir / "in.wav").c_str(), 0644), 0);
        ASSERT_EQ(chmod((dir / "secret.wav").c_str(), 0600), 0);
        ASSERT_EQ(chmod((dir / "theirs.wav").c_str(), 0644), 0);
        const std::vector<std::string> before = dir.entries();
        ToolSetup setup;
        setup.run_as_uid = 65534;
        const ToolRun run = run_tool(c.args, dir.path(), setup);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.err.rfind(std::string("tulm: error: ") + c.message, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(read_text(dir / "theirs.wav"), "root's");
        EXPECT_EQ(read_text(dir / "mine.wav"), "mine");
        EXPECT_EQ(dir.entries(), before);
    }
}
