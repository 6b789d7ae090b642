// Frame numbers: every video frame the tool names for a sample frame is the one the host
// puts that sample in, at every video rate; and a rate so slow that the plug-in cannot
// place a stretch is refused, with the limit named, instead of passing the audio through.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include <string>

#include "render/plan_arithmetic.h"
#include "tool/analysis/settings.h"
#include "tool/report/report.h"
#include "tool_runner.h"

namespace {

struct VideoRate {
    int32_t num, den;
};

const VideoRate kRates[] = {{30000, 1001}, {24000, 1001}, {60000, 1001}, {25, 1}, {30, 1}, {1, 1}, {120, 1}};

// A frame's first sample frame is in that frame, and the sample before it in the frame
// before, for every frame of the first minutes at each rate.
TEST(FrameNumbers, EverySampleIsInTheFrameTheHostPutsItIn)
{
    for (const int32_t rate : {8000, 44100, 48000, 96000})
        for (const VideoRate& v : kRates)
            for (int64_t f = 0; f < 4000; ++f) {
                const int64_t first = plan_frame_start(f, rate, v.num, v.den);
                ASSERT_EQ(video_frame_of(first, rate, v.num, v.den), f) << rate << " " << v.num << "/" << v.den;
                if (f > 0) {
                    ASSERT_EQ(video_frame_of(first - 1, rate, v.num, v.den), f - 1)
                        << rate << " " << v.num << "/" << v.den;
                }
            }
}

// What detect says of the stretch it suggests: the selection's first frame and the frame
// its first sample is said to lie in are one number, at every video rate.
TEST(FrameNumbers, TheSelectionStartsInItsOwnFrame)
{
    TempFolder dir;
    Audio a = sine_audio(48000, 1, 5.0, 1000, 0.0, 0.001);
    const Audio tone = sine_audio(48000, 1, 5.0, 1000, 0.1, 0.0);
    for (int64_t t = int64_t(1.95 * 48000); t < int64_t(3.5 * 48000); ++t)
        a.samples[size_t(t)] = int16_t(a.samples[size_t(t)] + tone.samples[size_t(t)]);
    write_audio(dir / "in.wav", a);
    for (const VideoRate& v : kRates) {
        const std::string fps = fmt::format("{}/{}", v.num, v.den);
        const ToolRun run = run_tool({"detect", "in.wav", "--json", "--fps", fps, "-q"}, dir.path());
        ASSERT_EQ(run.status, 0) << fps << run.err;
        const nlohmann::json j = nlohmann::json::parse(run.out);
        const nlohmann::json& selection = j.at("chosen").at("selection");
        EXPECT_EQ(selection.at("stretch_start").at("video_frame").get<int64_t>(),
                  selection.at("start_video_frame").get<int64_t>())
            << fps;
        const ToolRun text = run_tool({"detect", "in.wav", "--fps", fps, "-q"}, dir.path());
        const std::string said =
            fmt::format("select from video frame {} ", selection.at("start_video_frame").get<int64_t>());
        EXPECT_NE(text.out.find(said), std::string::npos) << fps << "\n" << text.out;
        EXPECT_EQ(text.out.find("the default"), std::string::npos) << fps << "\n" << text.out;
    }
    // Frame numbers at a rate the user never gave are said to rest on the default.
    const ToolRun guessed = run_tool({"detect", "in.wav", "-q"}, dir.path());
    EXPECT_NE(guessed.out.find("video frames: 30 per second, the default;"), std::string::npos) << guessed.out;
}

// One frame's audio must fit the plug-in's buffer beside the stretch; at a slower video
// rate it would pass the audio untouched, so the tool refuses and names the slowest rate.
TEST(FrameNumbers, TooSlowAVideoRateIsRefusedWithItsLimit)
{
    TempFolder dir;
    const Audio a = sine_audio(48000, 1, 4.0, 1000, 0.1, 0.001);
    write_audio(dir / "in.wav", a);
    Settings s;
    s.slider[kSeconds] = 3;
    s.slider[kFftOrder] = 12;
    const int64_t longest = plan_longest_frame(notch_geometry(s, 48000).length, 1);
    const std::string limit = fmt::format("at least {:.6g} frames per second", 48000.0 / double(longest));
    const struct {
        const char* fps;
        int status;
    } cases[] = {{"1/1000", 2}, {"1/1000000", 2}, {"1/600", 0}, {"30", 0}};
    for (const auto& c : cases) {
        const ToolRun run = run_tool({"render", "in.wav", "out.wav", "--hz", "1000", "--seconds", "3", "--fft-order",
                                      "12", "--fps", c.fps, "-q"},
                                     dir.path());
        ASSERT_EQ(run.status, c.status) << c.fps << run.err;
        if (c.status != 0) {
            EXPECT_NE(run.err.find(limit), std::string::npos) << c.fps << "\n" << run.err;
            EXPECT_FALSE(file_exists(dir / "out.wav")) << c.fps;
            continue;
        }
        EXPECT_LT(tone_amplitude(read_audio(dir / "out.wav"), 1000, 48000, 48000), 0.01) << c.fps;
        std::remove((dir / "out.wav").c_str());
    }
}

}  // namespace
