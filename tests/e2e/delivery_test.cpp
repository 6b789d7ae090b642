// Which slice of the rendered span reaches the host's buffer, in writing mode and in
// preview, and that the host's audio outside the span comes back byte for byte.
#include <algorithm>

#include "plugin_fixture.h"

namespace {

// The host's buffer `host` after the span's values from interleaved index `from` on are
// copied over it; whatever lies past the span's end stays the host's.
std::vector<int16_t> expected_slice(const std::vector<int16_t>& span, int64_t from,
                                    std::vector<int16_t> host)
{
    const size_t begin = static_cast<size_t>(from);
    if (begin < span.size()) {
        const size_t n = std::min(host.size(), span.size() - begin);
        std::copy(span.begin() + begin, span.begin() + begin + n, host.begin());
    }
    return host;
}

// Writing mode hands out the span in order from the cursor: the frame number plays no
// part, the call that crosses the end gets only the rest, later calls nothing.
TEST_F(PluginTest, WritingModeDeliversFromTheCursor)
{
    edit.selection_first = 12;
    const std::vector<int16_t> span = take_span();
    ASSERT_GT(span.size(), 0u);
    const int32_t channels = edit.media.channels;
    // The same settings again, so the next render gives the same span from cursor 0.
    host_send_message(table, nullptr, kHostNotifyStale101, 0, 0);
    edit.output_in_progress = 1;

    const int32_t sizes[] = {1000, 1, 0, 777, 4000};
    const int32_t frames[] = {37, -5, 12, 0, 2000000000};
    size_t at = 0;
    std::vector<int16_t> host;
    for (int i = 0; i < 5; ++i) {
        host.assign(static_cast<size_t>(sizes[i]) * channels, 0);
        for (size_t j = 0; j < host.size(); ++j) host[j] = static_cast<int16_t>(j % 97 + 1);
        const std::vector<int16_t> before = host;
        host_process_raw(&edit, table, frames[i], host.data(), sizes[i], channels);
        EXPECT_EQ(host, expected_slice(span, static_cast<int64_t>(at), before)) << i;
        at += host.size();
    }
    // The span is far longer than these; run the cursor up to just short of its end.
    const size_t rest = span.size() - at - 10 * channels;
    host.assign(rest, 0);
    host_process_raw(&edit, table, 0, host.data(), static_cast<int32_t>(rest / channels), channels);
    at += rest;
    host.assign(100 * static_cast<size_t>(channels), 5);
    host_process_raw(&edit, table, 0, host.data(), 100, channels);
    const std::vector<int16_t> fives(host.size(), 5);
    EXPECT_EQ(host, expected_slice(span, static_cast<int64_t>(at), fives));
    EXPECT_EQ(host[10 * channels], 5); // the first value past the span's end
    host.assign(100 * static_cast<size_t>(channels), 5);
    host_process_raw(&edit, table, 0, host.data(), 100, channels);
    EXPECT_EQ(host, std::vector<int16_t>(host.size(), 5));
}

struct PreviewCase {
    int32_t rate, num, den, first;
};

void PrintTo(const PreviewCase& c, std::ostream* os)
{
    *os << c.rate << " Hz at " << c.num << "/" << c.den << " from frame " << c.first;
}

class Preview : public PluginTest, public ::testing::WithParamInterface<PreviewCase> {};

// Every frame from before the span to past its end: the slice at start(f) - start(first)
// where that lies inside the span, the host's own audio everywhere else.
TEST_P(Preview, FramesGetTheSliceAtTheirPosition)
{
    const PreviewCase c = GetParam();
    edit.media = test_media(c.rate, 2, c.num, c.den, 5.0);
    edit.selection_first = c.first;
    const std::vector<int16_t> span = take_span();
    const int64_t length = static_cast<int64_t>(span.size()) / 2;
    ASSERT_GT(length, 0);
    edit.output_in_progress = 0;
    const HostMedia& m = edit.media;
    const int64_t origin = media_frame_start(m, c.first);
    int inside = 0, crossing = 0, outside = 0;
    std::vector<int16_t> audio;
    for (int32_t f = std::max(c.first - 3, 0); f < media_frame_count(m); ++f) {
        const int64_t offset = media_frame_start(m, f) - origin;
        if (offset > length + 3 * m.audio_rate / 10) break;
        // The host's buffer holds the complement of the source: the plug-in never reads
        // it, and a slice copied one frame too far could not pass for the host's audio
        // (the span's end fades back to the source itself).
        const int64_t samples = media_frame_samples(m, f);
        const int16_t* from = m.audio.data() + media_frame_start(m, f) * 2;
        std::vector<int16_t> host(from, from + samples * 2);
        for (int16_t& v : host) v = static_cast<int16_t>(~v);
        audio = host;
        host_process_raw(&edit, table, f, audio.data(), static_cast<int32_t>(samples), 2);
        if (offset < 0 || offset >= length) {
            ++outside;
            ASSERT_EQ(audio, host) << "frame " << f;
        } else {
            inside += offset + samples <= length;
            crossing += offset + samples > length;
            ASSERT_EQ(audio, expected_slice(span, offset * 2, host)) << "frame " << f;
        }
    }
    EXPECT_EQ(crossing, 1);
    EXPECT_GT(inside, 10);
    EXPECT_GE(outside, c.first > 0 ? 4 : 1);
}

INSTANTIATE_TEST_SUITE_P(FrameRates, Preview,
                         ::testing::Values(PreviewCase{48000, 30, 1, 5},
                                           PreviewCase{48000, 30000, 1001, 7},
                                           PreviewCase{44100, 24, 1, 3},
                                           PreviewCase{44100, 30000, 1001, 0},
                                           PreviewCase{22050, 25, 1, 0}));

// At 30000/1001 fps and 48 kHz the second frame starts 1601 sample frames into the
// span: its slice is there, not outside the span.
TEST_F(PluginTest, PreviewAtFractionalRateUsesTheExactFrameStart)
{
    edit.media = test_media(48000, 1, 30000, 1001, 4.0);
    edit.selection_first = 0;
    const std::vector<int16_t> span = take_span();
    ASSERT_GT(span.size(), 4000u);
    std::vector<int16_t> audio;
    host_process_media_frame(&edit, table, 1, &audio);
    ASSERT_EQ(media_frame_start(edit.media, 1), 1601);
    ASSERT_EQ(audio.size(), 1602u);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), span.begin() + 1601));
}

// The host's frame size must not show in the output: the same audio and settings at
// 24, 25, 30 and 30000/1001 fps give the same output, sample for sample.
TEST_F(PluginTest, OutputIsTheSameWhateverTheFrameSize)
{
    const int32_t rates[][2] = {{24, 1}, {25, 1}, {30, 1}, {30000, 1001}, {60, 1}};
    std::vector<int16_t> reference, output;
    for (const auto& r : rates) {
        edit.media = test_media(44100, 2, r[0], r[1], 3.5);
        host_select_all(&edit);
        host_run_output(&edit, table, &output, nullptr, nullptr);
        if (reference.empty()) {
            reference = output;
            ASSERT_NE(reference, edit.media.audio);
        }
        EXPECT_EQ(output, reference) << r[0] << "/" << r[1];
    }
}

// A writing pass from a later first frame: the frames before it keep the host's audio,
// and the span starts at the first selected frame's first sample.
TEST_F(PluginTest, OutputPassStartsAtTheSelection)
{
    edit.selection_first = 20;
    const std::vector<int16_t> span = take_span();
    host_send_message(table, nullptr, kHostNotifyStale105, 0, 0);
    std::vector<int16_t> output;
    host_run_output(&edit, table, &output, nullptr, nullptr);
    const size_t start = static_cast<size_t>(media_frame_start(edit.media, 20) * 2);
    ASSERT_LE(start + span.size(), output.size());
    EXPECT_TRUE(std::equal(output.begin(), output.begin() + start, edit.media.audio.begin()));
    EXPECT_TRUE(std::equal(span.begin(), span.end(), output.begin() + start));
    EXPECT_TRUE(std::equal(output.begin() + start + span.size(), output.end(),
                           edit.media.audio.begin() + start + span.size()));
}

} // namespace
