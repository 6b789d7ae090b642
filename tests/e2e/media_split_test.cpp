// The stand-in's frame split, checked against an independent 128-bit reference.
#include <gtest/gtest.h>

#include <cstdint>

#include "host/media.h"
#include "test_media.h"

namespace {

HostMedia media_of(int32_t rate, int32_t channels, int32_t num, int32_t den, int64_t frames)
{
    return media_with(rate, channels, num, den,
                      std::vector<int16_t>(static_cast<size_t>(frames * (channels > 0 ? channels : 1)), 0));
}

int64_t reference_start(const HostMedia& m, int64_t f)
{
    const __int128 p = static_cast<__int128>(f) * m.audio_rate * m.video_rate_den;
    return static_cast<int64_t>(p / m.video_rate_num);
}

struct SplitCase {
    int32_t rate, channels, num, den;
    int64_t sample_frames;
    int64_t expected_frames;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.sample_frames << " frames of " << c.channels << " at " << c.rate << " Hz, " << c.num << "/" << c.den;
}

class MediaSplit : public ::testing::TestWithParam<SplitCase> {};

// The frames tile the audio exactly: each starts where the previous ended, none is
// longer than its exact start says, and the last one is cut at the media's end.
TEST_P(MediaSplit, FramesTileTheAudioAtTheExactStarts)
{
    const SplitCase c = GetParam();
    const HostMedia m = media_of(c.rate, c.channels, c.num, c.den, c.sample_frames);
    ASSERT_EQ(media_sample_frames(m), c.sample_frames);
    const int64_t count = media_frame_count(m);
    EXPECT_EQ(count, c.expected_frames);
    int64_t covered = 0;
    for (int64_t f = 0; f < count; ++f) {
        ASSERT_EQ(media_frame_start(m, f), reference_start(m, f)) << f;
        ASSERT_EQ(media_frame_start(m, f), covered) << f;
        covered += media_frame_samples(m, f);
    }
    EXPECT_EQ(covered, c.sample_frames);
    EXPECT_GE(media_frame_start(m, count), c.sample_frames);
    EXPECT_EQ(media_frame_samples(m, count), 0);
    EXPECT_EQ(media_frame_samples(m, count + 1000), 0);
    EXPECT_EQ(media_frame_samples(m, -1), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, MediaSplit,
    ::testing::Values(SplitCase{48000, 2, 30, 1, 48000, 30},     // 1600 each
                      SplitCase{48000, 2, 30, 1, 48001, 31},     // one sample frame left over
                      SplitCase{48000, 1, 30000, 1001, 96000, 60},
                      SplitCase{44100, 2, 30000, 1001, 44100, 30},
                      SplitCase{44100, 6, 24, 1, 44100 * 3 + 17, 73},
                      SplitCase{8000, 1, 60, 1, 7999, 60},
                      SplitCase{1, 1, 30, 1, 3, 90},             // most frames carry nothing
                      SplitCase{22050, 2, 1, 1, 1, 1}));

// Degenerate media: nothing to split, and nothing may crash or divide by zero.
TEST(MediaSplitDegenerate, NonPositiveParametersGiveNoFrames)
{
    const HostMedia cases[] = {
        media_of(0, 2, 30, 1, 100),  media_of(-8000, 2, 30, 1, 100),
        media_of(48000, 0, 30, 1, 100), media_of(48000, -2, 30, 1, 100),
        media_of(48000, 2, 0, 1, 100), media_of(48000, 2, -30, 1, 100),
        media_of(48000, 2, 30, 0, 100), media_of(48000, 2, 30, -1, 100),
    };
    for (const HostMedia& m : cases) {
        EXPECT_EQ(media_frame_count(m), 0);
        EXPECT_EQ(media_frame_start(m, 5), 0);
        EXPECT_EQ(media_frame_samples(m, 0), 0);
        EXPECT_EQ(media_sample_frames(m), 0);
    }
    EXPECT_EQ(media_frame_count(media_of(48000, 2, 30, 1, 0)), 0);
}

// The start of a far frame needs more than 32 bits (and its product more than 63 for
// the absurd case), and must neither wrap nor turn negative.
TEST(MediaSplitWide, FarFramesNeedSixtyFourBits)
{
    const HostMedia m = media_of(48000, 2, 30000, 1001, 1);
    EXPECT_EQ(media_frame_start(m, INT32_MAX), reference_start(m, INT32_MAX));
    EXPECT_GT(media_frame_start(m, INT32_MAX), INT64_C(1) << 32);

    const HostMedia absurd = media_of(INT32_MAX, 1, 1, INT32_MAX, 1);
    EXPECT_EQ(media_frame_start(absurd, 1), reference_start(absurd, 1));
    EXPECT_EQ(media_frame_start(absurd, INT64_C(1) << 40), INT64_MAX);
    EXPECT_EQ(media_frame_count(absurd), 1);
}

} // namespace
