// Detection over a region read a chunk at a time: one chunk must give exactly what
// detect_tones gives on audio in memory, many chunks the same tones as the region looked
// at whole, and the file's samples must arrive as read_region reads them, from a file or
// from standard input.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/detect_stream.h"
#include "tool/analysis/sample_source.h"
#include "tool/io/file_samples.h"
#include "tool_runner.h"

namespace {

// White noise at -40 dBFS with sines at -30 dBFS switched on and off with 5 ms ramps.
struct Switched {
    double hz, from, to;  // seconds
};
Audio noise_with(int32_t rate, int32_t channels, double seconds, const std::vector<Switched>& tones)
{
    Audio a;
    a.rate = rate;
    a.channels = channels;
    a.samples.resize(size_t(seconds * rate) * size_t(channels));
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.01);
    const double edge = 0.005 * rate;
    for (int64_t t = 0; t < a.frames(); ++t) {
        double v = 0;
        for (const Switched& s : tones) {
            const double in = std::min(t - s.from * rate, s.to * rate - t);
            if (in > 0) v += 0.0316 * std::min(1.0, in / edge) * std::sin(2 * M_PI * s.hz * double(t) / rate);
        }
        for (int32_t k = 0; k < channels; ++k)
            a.samples[size_t(t * channels + k)] = int16_t(std::lrint(32767 * (v + noise(random))));
    }
    return a;
}

void expect_same(const Tone& a, const Tone& b)
{
    EXPECT_EQ(a.hz, b.hz);
    EXPECT_EQ(a.level_dbfs, b.level_dbfs);
    EXPECT_EQ(a.above_floor_db, b.above_floor_db);
    EXPECT_EQ(a.drift_hz, b.drift_hz);
    EXPECT_EQ(a.level_range_db, b.level_range_db);
    EXPECT_EQ(a.first, b.first);
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(a.from_region_start, b.from_region_start);
    EXPECT_EQ(a.to_region_end, b.to_region_end);
    EXPECT_EQ(a.harmonics.size(), b.harmonics.size());
}

// Regions that fit in one chunk, with and without audio around them: the same tones,
// field for field, as detect_tones on the audio in memory, and the whole region counted.
TEST(DetectInOneChunk, SameAsDetectTones)
{
    const Audio a = noise_with(8000, 2, 12, {{440, 2, 7}, {1250, 0, 12}, {2000, 9.5, 11.2}});
    const struct {
        double from, length;
    } regions[] = {{0, 12}, {1, 10}, {3, 5}, {8, 4}, {0.5, 1.5}};
    for (const auto& r : regions) {
        SCOPED_TRACE(testing::Message() << "from " << r.from << " s for " << r.length << " s");
        const int64_t first = int64_t(r.from * a.rate), count = int64_t(r.length * a.rate);
        int64_t looked = 0;
        const Detection streamed = detect_tones_in(source_of(a), first, count, chunk_plan(a.rate, a.channels),
                                                   [&](int64_t frames) { looked += frames; });
        const Detection whole = detect_tones(a, first, count);
        EXPECT_EQ(looked, count);
        EXPECT_EQ(streamed.resolution_hz, whole.resolution_hz);
        ASSERT_EQ(streamed.tones.size(), whole.tones.size());
        for (size_t i = 0; i < whole.tones.size(); ++i) expect_same(streamed.tones[i], whole.tones[i]);
        EXPECT_EQ(streamed.dropped.size(), whole.dropped.size());
    }
}

// Tones that cross one chunk boundary, cross them all, lie within one chunk, and lie
// within the overlap of two: the same tones as the region looked at whole, each once,
// at its frequency and with its extent to a few hops, sounding from and to the
// region's ends as there.
TEST(DetectInChunks, SameTonesAsTheWholeRegion)
{
    const std::vector<Switched> tones = {
        {440, 0, 40}, {1250, 5.5, 11}, {700, 13, 16}, {2000, 17.2, 18.6}, {3100, 30, 40}};
    const Audio a = noise_with(8000, 1, 40, tones);
    ChunkPlan plan;
    plan.chunk = 8 * a.rate;  // chunks start at 0, 6, 12, 18, 24, 30 and 32 s
    plan.overlap = 2 * a.rate;
    int64_t looked = 0;
    const Detection chunked =
        detect_tones_in(source_of(a), 0, a.frames(), plan, [&](int64_t frames) { looked += frames; });
    const Detection whole = detect_tones(a, 0, a.frames());
    EXPECT_EQ(looked, a.frames());
    ASSERT_EQ(whole.tones.size(), tones.size());
    ASSERT_EQ(chunked.tones.size(), whole.tones.size());
    const double hop = analysis_length(a.rate) / 4.0;
    for (const Tone& w : whole.tones) {
        SCOPED_TRACE(testing::Message() << w.hz << " Hz");
        const Tone* c = nullptr;
        for (const Tone& t : chunked.tones)
            if (std::fabs(t.hz - w.hz) <= w.resolution_hz) c = &t;
        ASSERT_NE(c, nullptr);
        EXPECT_NEAR(c->hz, w.hz, 0.1);
        EXPECT_NEAR(c->level_dbfs, w.level_dbfs, 0.5);
        EXPECT_NEAR(double(c->first), double(w.first), 2 * hop);
        EXPECT_NEAR(double(c->end), double(w.end), 2 * hop);
        EXPECT_EQ(c->from_region_start, w.from_region_start);
        EXPECT_EQ(c->to_region_end, w.to_region_end);
    }
}

// Across chunks, every candidate is explained once: a held note inside the overlap of
// two chunks is dropped by both and listed once; and --hz reaches each tone and
// each harmonic of a hum, in whichever chunk it sounds.
TEST(DetectInChunks, EachCandidateOnceEachToneReached)
{
    const std::vector<Switched> tones = {{440, 1, 5}, {600, 19, 23}, {1200, 19, 23}, {1800, 19, 23}};
    Audio a = noise_with(8000, 1, 30, tones);
    for (int64_t t = int64_t(6.2 * a.rate); t < int64_t(7.8 * a.rate); ++t) {
        const double s = double(t) / a.rate;
        const double db = -20 - 8 * (s - 6.2) / 1.6;  // a struck note's decay
        a.samples[size_t(t)] =
            int16_t(std::lrint(a.samples[size_t(t)] + 32767 * std::pow(10, db / 20) * std::sin(2 * M_PI * 1500 * s)));
    }
    ChunkPlan plan;
    plan.chunk = 8 * a.rate;  // chunks start at 0, 6, 12, 18 and 22 s
    plan.overlap = 2 * a.rate;
    const Detection chunked = detect_tones_in(source_of(a), 0, a.frames(), plan);
    const auto wavering = [](const Detection& d) {
        int32_t n = 0;
        for (const Dropped& x : d.dropped)
            n += x.reason == DropReason::kHeldNote && std::fabs(x.hz - 1500) < 3 * d.resolution_hz;
        return n;
    };
    EXPECT_EQ(wavering(chunked), 1);
    for (const double hz : {440.0, 600.0, 1200.0, 1800.0}) {
        bool detected = false;
        const Tone t = tone_near(chunked, hz + 2, 0, a.frames(), &detected);
        EXPECT_TRUE(detected) << hz;
        EXPECT_NEAR(t.hz, hz, chunked.resolution_hz) << hz;
        EXPECT_GT(t.first, int64_t(hz == 440 ? 0 : 18 * a.rate)) << hz;
    }
}

// What FileSamples hands out, in any order of requests, is what read_region reads.
TEST(FileSamples, ServesWhatReadRegionReads)
{
    TempFolder dir;
    const Audio a = sine_audio(8000, 2, 3, 440, 0.5, 0.1);
    write_audio(dir / "in.wav", a);
    const int64_t origin = 1000;
    AudioReader reader(dir / "in.wav");
    FileSamples samples(reader, origin);
    EXPECT_EQ(samples.source().frames, a.frames() - origin);
    const struct {
        int64_t first, end;
    } asks[] = {{5000, 9000}, {0, 100}, {100, 70000}, {20000, 20000}, {22000, 23000}, {300, 23000}};
    for (const auto& r : asks) {
        SCOPED_TRACE(testing::Message() << "frames " << r.first << " to " << r.end);
        int64_t frames = 0;
        const Audio want = read_region(dir / "in.wav", origin + r.first, origin + r.end, &frames);
        const Audio got = read_frames(samples.source(), r.first, std::min(r.end, samples.source().frames));
        EXPECT_EQ(got.samples, want.samples);
    }
}

// The tool reads standard input through a temporary copy: the same report as from
// the file, for a region after the start and for one that is read in chunks.
TEST(DetectTool, StandardInputAsTheFile)
{
    TempFolder dir;
    write_audio(dir / "in.wav", noise_with(8000, 1, 75, {{1000, 0, 75}, {450, 61, 64}}));
    for (const std::vector<std::string>& region : {std::vector<std::string>{"--start", "2s", "--length", "6s"},
                                                   std::vector<std::string>{}}) {
        std::vector<std::string> from_file = {"detect", "in.wav"}, from_pipe = {"detect", "-"};
        from_file.insert(from_file.end(), region.begin(), region.end());
        from_pipe.insert(from_pipe.end(), region.begin(), region.end());
        ToolSetup setup;
        setup.stdin_path = dir / "in.wav";
        const ToolRun file = run_tool(from_file, dir.path());
        const ToolRun pipe = run_tool(from_pipe, dir.path(), setup);
        ASSERT_EQ(file.status, 0) << file.err;
        EXPECT_EQ(pipe.status, 0) << pipe.err;
        // From a pipe the suggested OUT has no input name to follow.
        std::string expected = file.out;
        // Its passes are notch.wav, notch-2.wav, ...
        for (size_t at; (at = expected.find("in-notch")) != std::string::npos;) expected.replace(at, 8, "notch");
        for (size_t at; (at = expected.find("in.wav")) != std::string::npos;) expected.replace(at, 6, "-");
        EXPECT_EQ(pipe.out, expected);
        EXPECT_EQ(pipe.err, "");
    }
}

} // namespace
