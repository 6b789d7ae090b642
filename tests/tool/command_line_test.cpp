// What the tool says about itself and the lines it hands the user: the help, the exit
// statuses, the suggested render line, notes on where a stretch really starts, the
// module it loads, and the words it uses for time.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "render/plan_arithmetic.h"
#include "tool/commands/commands.h"
#include "tool/report/report.h"
#include "tool_runner.h"

namespace {

size_t count_of(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string line_with(const std::string& text, const std::string& part)
{
    const size_t at = text.find(part);
    if (at == std::string::npos) return "";
    const size_t start = text.rfind('\n', at) == std::string::npos ? 0 : text.rfind('\n', at) + 1;
    return text.substr(start, text.find('\n', at) - start);
}

// The real centre of frequency value `value` at `rate` with blocks of 2^order samples.
double centre_hz(int32_t value, int32_t rate, int32_t order)
{
    const int64_t n = plan_block_size(order);
    return double(plan_notch_entry(value, rate, n)) * rate / (2.0 * n);
}

} // namespace

// Without a command there is nothing to do: the help, status 2, and no demo folder.
TEST(CommandLine, BareToolPrintsTheHelp)
{
    TempFolder dir;
    const ToolRun run = run_tool({}, dir.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("Usage: tulm"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("demo"), std::string::npos) << run.out;
    EXPECT_TRUE(dir.entries().empty());
}

// The exit statuses are listed once in the code: --help prints every one, and the
// README's table says the same.
TEST(CommandLine, ExitStatusesInTheHelpAndTheReadme)
{
    TempFolder dir;
    const ToolRun help = run_tool({"--help"}, dir.path());
    ASSERT_EQ(help.status, 0);
    std::ifstream file(TULM_README);
    std::stringstream readme;
    readme << file.rdbuf();
    for (const ExitStatus& e : kExitStatuses) {
        const std::string code = std::to_string(e.status);
        EXPECT_NE(help.out.find("  " + code + "  " + e.meaning + "\n"), std::string::npos) << help.out;
        EXPECT_NE(readme.str().find("| " + code + " | " + e.meaning + " |\n"), std::string::npos) << code;
    }
}

// --frequency's help says the value is no number of Hz, with figures from the plug-in's
// own arithmetic, and points to `tulm table`.
TEST(CommandLine, FrequencyHelpSaysWhatTheValueIs)
{
    TempFolder dir;
    const ToolRun help = run_tool({"render", "--help"}, dir.path());
    ASSERT_EQ(help.status, 0);
    std::string line = line_with(help.out, "--frequency");
    for (size_t more = help.out.find(line) + line.size() + 1; help.out.compare(more, 6, "      ") == 0;) {
        const size_t end = help.out.find('\n', more);
        line += help.out.substr(more, end - more);
        more = end + 1;
    }
    EXPECT_EQ(line.find("units of 10 Hz"), std::string::npos) << line;
    EXPECT_NE(line.find("tulm table"), std::string::npos) << line;
    EXPECT_NE(line.find("68 lands on " + std::to_string(std::lround(centre_hz(68, 48000, 13))) + " Hz"),
              std::string::npos) << line;
    EXPECT_NE(line.find("100 on " + std::to_string(std::lround(centre_hz(100, 48000, 11))) + " Hz"),
              std::string::npos) << line;
}

// A --start between two video frames' starts is moved to the earlier one: said once on
// stderr, by every command, and not when the time is a frame's own or render is quiet.
TEST(CommandLine, StartBetweenFramesIsNotedOnce)
{
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(48000, 1, 4.0, 1000, 0.3, 0.01));
    const struct {
        std::vector<std::string> args;
        size_t notes;
    } cases[] = {
        {{"render", "in.wav", "out.wav", "--start", "1.25s"}, 1},
        {{"render", "in.wav", "out.wav", "--start", "1.25s", "-q"}, 0},
        {{"render", "in.wav", "out.wav", "--start", "1.2s"}, 0},
        {{"render", "in.wav", "out.wav", "--start-frame", "37"}, 0},
        {{"measure", "in.wav", "in.wav", "--start", "1250ms"}, 1},
        {{"detect", "in.wav", "--start", "1.25s", "--fps", "30000/1001"}, 1},
    };
    for (const auto& c : cases) {
        const ToolRun run = run_tool(c.args, dir.path());
        EXPECT_EQ(run.status == 0 || run.status == 4, true) << run.err;
        EXPECT_EQ(count_of(run.err, "tulm: note: --start"), c.notes) << c.args[0] << c.args.back() << run.err;
    }
    const ToolRun run = run_tool({"render", "in.wav", "out.wav", "--start", "1.25s"}, dir.path());
    EXPECT_NE(run.err.find("video frame 37 at 30/1 fps; the stretch starts where that frame starts, 1.233 s"),
              std::string::npos) << run.err;
}

// The render line detect suggests pastes into a shell as it is: names quoted, a name
// that starts with a dash after ./, and OUT named after IN, so that IN called out.wav is
// no trouble, and short enough for the folder to hold.
TEST(CommandLine, SuggestedRenderLinePastes)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"out.wav", "out-notch.wav"},
        {"my take's (2).wav", "my take's (2)-notch.wav"},
        {"$HOME;x.flac", "$HOME;x-notch.flac"},
        {"-dash.wav", "-dash-notch.wav"},
        {std::string(246, 'a') + ".wav", std::string(245, 'a') + "-notch.wav"},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        Audio a = sine_audio(48000, 1, 4.0, 1000, 0.1, 0.01);
        write_audio(dir / c.in, a);
        const ToolRun detect = run_tool({"detect", "--", c.in}, dir.path());
        ASSERT_EQ(detect.status, 0) << detect.err;
        const std::string line = line_with(detect.out, "  tulm render ");
        ASSERT_FALSE(line.empty()) << detect.out;
        ToolSetup shell;
        shell.program = "/bin/sh";
        const ToolRun render = run_tool({"-c", std::string(TULM_TOOL) + line.substr(line.find("tulm") + 4)},
                                        dir.path(), shell);
        EXPECT_EQ(render.status, 0) << line << "\n" << render.err;
        EXPECT_TRUE(file_exists(dir / c.out)) << line;
    }
}

TEST(CommandLine, ShellWordsAndNotchedNames)
{
    const struct {
        const char* word;
        const char* shell;
        const char* notched;
    } cases[] = {
        {"in.wav", "in.wav", "in-notch.wav"},
        {"take 1.wav", "'take 1.wav'", "take 1-notch.wav"},
        {"it's.wav", "'it'\\''s.wav'", "it's-notch.wav"},
        {"a*.wav", "'a*.wav'", "a*-notch.wav"},
        {"v1.2/take", "v1.2/take", "v1.2/take-notch.wav"},
        {".wav", ".wav", ".wav-notch.wav"},
        {"dir/x.flac", "dir/x.flac", "dir/x-notch.flac"},
        {"", "''", "-notch.wav"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shell_word(c.word), c.shell) << c.word;
        EXPECT_EQ(notched_name(c.word), c.notched) << c.word;
    }
}

// A module named without a folder is a file in the current folder; with none there, or
// none beside the tool, the error says where it looked.
TEST(CommandLine, ModuleByBareNameAndWhereItWasLookedFor)
{
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(48000, 1, 3.0, 1000, 0.3, 0.0));
    ASSERT_EQ(symlink(TULM_MODULE, (dir / "tulm.so").c_str()), 0);
    const ToolRun bare = run_tool({"render", "in.wav", "out.wav", "--plugin", "tulm.so", "-q"}, dir.path());
    EXPECT_EQ(bare.status, 0) << bare.err;
    for (const char* command : {"demo", "table"}) {
        const ToolRun run = run_tool({command, "--plugin", "tulm.so"}, dir.path());
        EXPECT_EQ(run.status, 0) << command << run.err;
    }

    TempFolder alone;
    {
        std::ifstream from(TULM_TOOL, std::ios::binary);
        std::ofstream to(alone / "tulm", std::ios::binary);
        to << from.rdbuf();
    }
    ASSERT_EQ(chmod((alone / "tulm").c_str(), 0755), 0);
    ToolSetup copy;
    copy.program = alone / "tulm";
    const ToolRun run = run_tool({"table"}, dir.path(), copy);
    EXPECT_EQ(run.status, 1);
    char real[4096];
    ASSERT_NE(realpath(alone.path().c_str(), real), nullptr);
    EXPECT_EQ(run.err, "tulm: error: the plug-in module tulm.so is not beside this program (looked for " +
                           std::string(real) + "/tulm.so); build it there or name it with --plugin\n");
}

// Time is told in seconds, samples or video frames: "frame" alone would mean either.
TEST(CommandLine, FramesAreVideoFrames)
{
    TempFolder dir;
    Audio a = sine_audio(48000, 1, 4.0, 1000, 0.1, 0.01);
    write_audio(dir / "in.wav", a);
    write_audio(dir / "short.wav", sine_audio(48000, 1, 1.5, 1000, 0.1, 0.01));
    const std::vector<std::vector<std::string>> runs = {
        {"render", "in.wav", "out.wav", "--plot", "p.svg", "--start", "0.5s", "--fade", "5"},
        {"render", "short.wav", "s.wav"},
        {"measure", "in.wav", "out.wav", "--start", "0.5s", "--fade", "5"},
        {"detect", "in.wav"},
        {"render", "in.wav", "late.wav", "--start", "9s"},
        {"demo"},
    };
    for (const std::vector<std::string>& args : runs) {
        const ToolRun run = run_tool(args, dir.path());
        std::string said = run.out + run.err;
        if (args.size() > 3 && args[3] == "--plot") said += read_text(dir / "p.svg");
        for (size_t at = said.find("frame"); at != std::string::npos; at = said.find("frame", at + 1))
            EXPECT_TRUE((at >= 6 && said.compare(at - 6, 6, "video ") == 0) ||
                        (at >= 8 && said.compare(at - 8, 8, "--start-") == 0))
                << args[0] << ": " << said.substr(at >= 60 ? at - 60 : 0, 80);
    }
}
