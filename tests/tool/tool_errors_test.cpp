// Every way a user can get it wrong: one clear line, a non-zero exit, and nothing left
// behind, neither the output nor a temporary, nor a change to a file already there.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <unistd.h>

#include "tool_runner.h"

namespace {

struct ErrorCase {
    const char* name;
    std::vector<std::string> args;  // run in a folder holding in.wav (2 s, 48 kHz), hard.wav (a hard link
                                    // to it), sym.wav (a symlink to it), giga.wav (a header claiming
                                    // 1e9 Hz), text.wav and junk.so
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
        // A 16-bit stereo WAV header claiming 1e9 Hz, and 4096 frames of silence.
        std::ofstream giga(dir / "giga.wav", std::ios::binary);
        const uint32_t rate = 1000000000, data = 4096 * 4;
        const auto u32 = [&giga](uint32_t v) { giga.write(reinterpret_cast<const char*>(&v), 4); };
        const auto u16 = [&giga](uint16_t v) { giga.write(reinterpret_cast<const char*>(&v), 2); };
        giga << "RIFF";
        u32(36 + data);
        giga << "WAVEfmt ";
        u32(16), u16(1), u16(2), u32(rate), u32(rate * 4), u16(4), u16(16);
        giga << "data";
        u32(data);
        giga << std::string(data, '\0');
    }
    ASSERT_EQ(link((dir / "in.wav").c_str(), (dir / "hard.wav").c_str()), 0);
    ASSERT_EQ(symlink("in.wav", (dir / "sym.wav").c_str()), 0);
    const std::string input = read_text(dir / "in.wav");
    if (c.out_exists) std::ofstream(dir / "out.wav") << "precious";
    const std::vector<std::string> before = dir.entries();

    const ToolRun run = run_tool(c.args, dir.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err.rfind("tulm: error: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(dir.entries(), before);
    EXPECT_EQ(read_text(dir / "in.wav"), input);
    if (c.out_exists) {
        EXPECT_EQ(read_text(dir / "out.wav"), "precious");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolErrors,
    ::testing::Values(
        ErrorCase{"missing_input", {"render", "nothing.wav", "out.wav"}, "nothing.wav: No such file", 1, false},
        ErrorCase{"not_audio", {"render", "text.wav", "out.wav"}, "text.wav: not an audio file", 1, false},
        ErrorCase{"folder_as_input", {"render", ".", "out.wav"}, "is a folder", 1, false},
        ErrorCase{"missing_measure_output", {"measure", "in.wav", "gone.wav"}, "gone.wav: No such file", 1, false},
        ErrorCase{"unsupported_output", {"render", "in.wav", "out.mp3"}, "unsupported output format", 1, false},
        ErrorCase{"unsupported_diff", {"render", "in.wav", "out.wav", "--diff", "d.ogg"}, "unsupported output format",
                  1, false},
        ErrorCase{"missing_folder", {"render", "in.wav", "no/out.wav"}, "cannot write in no", 1, false},
        ErrorCase{"width_too_large", {"render", "in.wav", "out.wav", "--width", "257"}, "--width 257 is outside", 1,
                  true},
        ErrorCase{"frequency_zero", {"render", "in.wav", "out.wav", "--frequency", "0"}, "--frequency 0 is outside",
                  1, false},
        ErrorCase{"region_too_short", {"detect", "in.wav", "--length", "0.5s"}, "too little to tell a steady tone", 1,
                  false},
        ErrorCase{"detect_hz_above_half_rate", {"detect", "in.wav", "--hz", "30000"}, "--hz 30000 is not", 1, false},
        ErrorCase{"fft_order_eight", {"render", "in.wav", "out.wav", "--fft-order", "8"}, "--fft-order 8 is outside",
                  1, false},
        ErrorCase{"fade_negative", {"render", "in.wav", "out.wav", "--fade", "-1"}, "--fade -1 is outside", 1, false},
        ErrorCase{"notch_past_the_top", {"render", "in.wav", "out.wav", "--frequency", "1700", "--fft-order", "14"},
                  "past the top of the spectrum", 1, false},
        ErrorCase{"hz_above_half_rate", {"render", "in.wav", "out.wav", "--hz", "30000"}, "--hz 30000 is outside", 1,
                  false},
        // 19172 Hz is the highest centre at 48 kHz with 2048-sample blocks.
        ErrorCase{"hz_beyond_reach", {"render", "in.wav", "out.wav", "--hz", "20000"}, "(11.7 to 19171.9 Hz)", 1,
                  true},
        ErrorCase{"hz_below_reach", {"render", "in.wav", "out.wav", "--hz", "5"}, "(11.7 to 19171.9 Hz)", 1, false},
        ErrorCase{"hz_nan", {"render", "in.wav", "out.wav", "--hz", "nan"}, "--hz: must be a finite number", 2, false},
        ErrorCase{"min_attenuation_nan", {"measure", "in.wav", "in.wav", "--min-attenuation", "nan"},
                  "must be a finite number", 2, false},
        ErrorCase{"min_attenuation_inf", {"measure", "in.wav", "in.wav", "--min-attenuation", "-inf"},
                  "must be a finite number", 2, false},
        ErrorCase{"start_beyond_frames", {"render", "in.wav", "out.wav", "--start", "1e300s"},
                  "--start 1e300s lies past the last frame", 1, false},
        ErrorCase{"rate_not_served", {"render", "giga.wav", "out.wav"},
                  "a sampling rate of 1000000000 Hz is more than the plug-in can serve", 1, true},
        ErrorCase{"rate_not_served_detect", {"detect", "giga.wav"}, "1000000000 Hz", 1, false},
        // Two names for one file: refused before anything is read.
        ErrorCase{"out_is_in", {"render", "in.wav", "in.wav"}, "IN and OUT name the same file", 1, false},
        ErrorCase{"out_is_in_by_path", {"render", "in.wav", "./in.wav"}, "IN and OUT name the same file", 1, false},
        ErrorCase{"out_is_hard_link_to_in", {"render", "in.wav", "hard.wav"}, "IN and OUT", 1, false},
        ErrorCase{"out_is_symlink_to_in", {"render", "in.wav", "sym.wav"}, "IN and OUT", 1, false},
        ErrorCase{"diff_is_in", {"render", "in.wav", "out.wav", "--diff", "in.wav"}, "IN and --diff", 1, false},
        ErrorCase{"diff_is_out", {"render", "in.wav", "out.wav", "--diff", "out.wav"}, "OUT and --diff", 1, true},
        ErrorCase{"plot_is_in", {"render", "in.wav", "out.wav", "--plot", "sym.wav"}, "IN and --plot", 1, false},
        ErrorCase{"plot_is_out", {"render", "in.wav", "out.wav", "--plot", "out.wav"}, "OUT and --plot", 1, true},
        ErrorCase{"plot_is_diff", {"render", "in.wav", "out.wav", "--diff", "d.wav", "--plot", "d.wav"},
                  "--diff and --plot", 1, false},
        ErrorCase{"measure_plot_is_in", {"measure", "in.wav", "in.wav", "--plot", "in.wav"}, "IN and --plot", 1,
                  false},
        ErrorCase{"measure_plot_is_out", {"measure", "in.wav", "hard.wav", "--plot", "hard.wav"}, "--plot name the same file",
                  1, false},
        ErrorCase{"mistyped_command", {"rendr", "in.wav", "out.wav"}, "did you mean 'render'", 2, false},
        ErrorCase{"start_past_end", {"render", "in.wav", "out.wav", "--start", "2.5s"}, "past the end of the file", 1,
                  true},
        ErrorCase{"start_frame_past_end", {"measure", "in.wav", "in.wav", "--start-frame", "60"},
                  "past the end of the file", 1, false},
        ErrorCase{"bad_time", {"render", "in.wav", "out.wav", "--start", "soon"}, "is not a time", 1, false},
        ErrorCase{"bad_fps", {"render", "in.wav", "out.wav", "--fps", "29.97"}, "is not a video rate", 1, false},
        ErrorCase{"module_missing", {"render", "in.wav", "out.wav", "--plugin", "absent.so"}, "absent.so", 1, false},
        ErrorCase{"module_not_loadable", {"render", "in.wav", "out.wav", "--plugin", "./junk.so"}, "junk.so", 1,
                  false},
        ErrorCase{"module_without_entry", {"render", "in.wav", "out.wav", "--plugin", "libm.so.6"},
                  "does not export GetFilterTable", 1, false},
        // Fails only after rendering: the finished output must not replace the old file.
        ErrorCase{"plot_with_full_fade", {"render", "in.wav", "out.wav", "--fade", "100", "--plot", "p.svg"},
                  "too short to measure", 1, true},
        ErrorCase{"table_rate_too_low", {"table", "--rate", "4000"}, "--rate 4000 is not a sampling rate", 1, false},
        ErrorCase{"table_width_too_large", {"table", "--width", "300"}, "--width 300 is outside", 1, false},
        ErrorCase{"table_tone_zero", {"table", "--tone", "0"}, "--tone 0 is not a frequency", 1, false},
        ErrorCase{"hz_with_frequency", {"render", "in.wav", "out.wav", "--hz", "100", "--frequency", "10"},
                  "excludes", 2, false},
        ErrorCase{"no_output_named", {"render", "in.wav"}, "OUT is required", 2, false},
        ErrorCase{"unknown_command", {"bogus"}, "bogus", 2, false}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });
