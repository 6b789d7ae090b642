// The host stand-in on its own, driven by a small FilterTable defined here, so that a
// fault in the stand-in is not mistaken for one in the plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <utility>
#include <vector>

#include "host/host_edit.h"
#include "host/host_process.h"
#include "host/window_messages.h"
#include "render/slider_table.h"
#include "test_media.h"

namespace {

// Sample value at interleaved index i of the test media: distinct for neighbouring
// values, so a shifted or misplaced copy shows.
int16_t pattern(size_t i)
{
    return static_cast<int16_t>(i * 7919u + 13u);
}

HostMedia pattern_media(int32_t rate, int32_t channels, int32_t num, int32_t den, int64_t frames)
{
    std::vector<int16_t> audio(static_cast<size_t>(frames * channels));
    for (size_t i = 0; i < audio.size(); ++i) audio[i] = pattern(i);
    return media_with(rate, channels, num, den, std::move(audio));
}

// What the probe filter saw on its last call.
struct Probe {
    int calls = 0;
    ProcessRequest request{};
    const FilterTable* table = nullptr;
    int32_t output = -1;
    MediaInfo info{};
    int32_t first = -1, last = -1;
};
Probe g_probe;

// Negates every sample it is given, and reads every service, as a filter might.
int32_t probe_process(FilterTable* table, ProcessRequest* request)
{
    ++g_probe.calls;
    g_probe.request = *request;
    g_probe.table = table;
    const HostServices* s = table->services;
    g_probe.output = s->is_output_in_progress(request->edit);
    s->get_media_info(request->edit, &g_probe.info);
    s->get_selection(request->edit, &g_probe.first, &g_probe.last);
    for (int64_t i = 0; i < int64_t{request->samples} * request->channels; ++i)
        request->audio[i] = static_cast<int16_t>(-request->audio[i]);
    return 1;
}

const int32_t kCheckDefault[1] = {1};

FilterTable probe_table()
{
    FilterTable t{};
    t.slider_count = kSliderCount;
    t.slider_defaults = kSliderDefaults;
    t.check_count = 1;
    t.check_defaults = kCheckDefault;
    t.process = probe_process;
    return t;
}

TEST(HostStandin, RequestAndServicesCarryTheEdit)
{
    FilterTable table = probe_table();
    HostEdit edit;
    edit.media = pattern_media(44100, 2, 30000, 1001, 44100);
    edit.selection_first = 7;
    edit.selection_last = 9;
    edit.output_in_progress = 1;
    host_load_defaults(&edit, &table);
    g_probe = Probe{};
    std::vector<int16_t> audio;
    EXPECT_EQ(host_process_media_frame(&edit, &table, 3, &audio), 1);

    EXPECT_EQ(g_probe.request.edit, &edit);
    EXPECT_EQ(g_probe.request.frame, 3);
    EXPECT_EQ(g_probe.request.samples, 1471); // 5885 - 4414 at 44100 Hz, 30000/1001
    EXPECT_EQ(g_probe.request.channels, 2);
    EXPECT_EQ(g_probe.request.audio, audio.data());
    EXPECT_EQ(table.slider_values, edit.slider_values);
    EXPECT_EQ(table.check_values, edit.check_values);
    EXPECT_EQ(table.services, &edit.services);
    EXPECT_EQ(edit.slider_values[3], 30);
    EXPECT_EQ(edit.check_values[0], 1);
    EXPECT_EQ(g_probe.output, 1);
    EXPECT_EQ(g_probe.info.audio_rate, 44100);
    EXPECT_EQ(g_probe.info.audio_channels, 2);
    EXPECT_EQ(g_probe.info.video_rate_num, 30000);
    EXPECT_EQ(g_probe.info.video_rate_den, 1001);
    EXPECT_EQ(g_probe.first, 7);
    EXPECT_EQ(g_probe.last, 9);
    ASSERT_EQ(audio.size(), 1471u * 2);
    const size_t from = 4414 * 2;
    for (size_t i = 0; i < audio.size(); ++i)
        ASSERT_EQ(audio[i], static_cast<int16_t>(-pattern(from + i))) << i;
}

struct PassCase {
    int32_t first, last, writing;
};

void PrintTo(const PassCase& c, std::ostream* os)
{
    *os << "frames " << c.first << " to " << c.last << (c.writing ? ", writing" : ", preview");
}

class HostPasses : public ::testing::TestWithParam<PassCase> {};

// Frames outside the pass keep the media's audio; frames inside come back from the
// filter at their own place; the mode is the pass's and the flag is restored after it.
TEST_P(HostPasses, OnlyThePassFramesReachTheFilter)
{
    const PassCase c = GetParam();
    FilterTable table = probe_table();
    HostEdit edit;
    edit.media = pattern_media(48000, 2, 24, 1, 48000 + 500); // 25 frames, the last short
    edit.selection_first = c.first;
    edit.selection_last = c.last;
    edit.output_in_progress = 7;
    g_probe = Probe{};
    auto progress = [](void* user, int64_t done, int64_t total) {
        int64_t* seen = static_cast<int64_t*>(user);
        EXPECT_EQ(done, seen[0] + 1);
        seen[0] = done;
        seen[1] = total;
    };
    int64_t seen[2] = {0, -1};
    std::vector<int16_t> out;
    const int64_t done = c.writing ? host_run_output(&edit, &table, &out, progress, seen)
                                   : host_run_preview(&edit, &table, &out, progress, seen);
    const int64_t progress_calls = seen[0], progress_total = seen[1];

    const int64_t lo = std::max(c.first, 0);
    const int64_t hi = std::min(c.last, 24);
    const int64_t expected = hi >= lo ? hi - lo + 1 : 0;
    EXPECT_EQ(done, expected);
    EXPECT_EQ(g_probe.calls, expected);
    EXPECT_EQ(progress_calls, expected);
    if (expected > 0) {
        EXPECT_EQ(progress_total, expected);
        EXPECT_EQ(g_probe.output, c.writing);
        EXPECT_EQ(g_probe.request.frame, hi);
    }
    EXPECT_EQ(edit.output_in_progress, 7);
    ASSERT_EQ(out.size(), edit.media.audio.size());
    const size_t begin = expected ? static_cast<size_t>(lo * 2000 * 2) : 0;
    const size_t end =
        expected ? std::min(static_cast<size_t>((hi + 1) * 2000 * 2), out.size()) : 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const int16_t want = i >= begin && i < end ? static_cast<int16_t>(-pattern(i)) : pattern(i);
        ASSERT_EQ(out[i], want) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Selections, HostPasses,
                         ::testing::Values(PassCase{3, 5, 1}, PassCase{3, 5, 0},
                                           PassCase{0, 0, 1}, PassCase{22, 1000, 1},
                                           PassCase{-4, 2, 0}, PassCase{6, 5, 1},
                                           PassCase{25, 50, 0}));

struct SourceCase {
    SourceAudioMode mode;
    int32_t frame;
    int32_t expected;     // sample frames returned
    int64_t source_start; // sample frame the written audio starts at (-1: silence)
};

// gtest would otherwise print the record's bytes, padding included.
void PrintTo(const SourceCase& c, std::ostream* os)
{
    *os << "mode " << c.mode << ", frame " << c.frame;
}

class HostSourceAudio : public ::testing::TestWithParam<SourceCase> {};

// The service writes exactly what it returns, from the frame's place in the media, and
// not one value more.
TEST_P(HostSourceAudio, WritesWhatItReturns)
{
    const SourceCase c = GetParam();
    HostEdit edit;
    edit.media = pattern_media(48000, 3, 25, 1, 48000 + 100); // 26 frames, the last 100 long
    edit.source_mode = c.mode;
    FilterTable table{};
    const int16_t guard = 0x5a5a;
    std::vector<int16_t> buffer(2 * 1920 * 3 + 64, guard);
    const int32_t got = host_get_source_audio(&table, &edit, c.frame, buffer.data());
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(edit.source_audio_calls, 1);
    EXPECT_EQ(edit.last_source_table, &table);
    const int64_t frame_len = media_frame_samples(edit.media, c.frame);
    for (int64_t i = 0; i < int64_t{got} * 3; ++i) {
        const int16_t want = c.source_start < 0
                                 ? 0
                                 : pattern(static_cast<size_t>(c.source_start * 3 +
                                                               i % (frame_len * 3)));
        ASSERT_EQ(buffer[i], want) << i;
    }
    for (size_t i = static_cast<size_t>(got) * 3; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], guard) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, HostSourceAudio,
    ::testing::Values(SourceCase{source_true, 0, 1920, 0}, SourceCase{source_true, 4, 1920, 7680},
                      SourceCase{source_true, 25, 100, 48000}, SourceCase{source_true, 26, 0, 0},
                      SourceCase{source_true, -1, 0, 0}, SourceCase{source_none, 4, 0, 0},
                      SourceCase{source_one, 4, 1, 7680}, SourceCase{source_one, 30, 1, -1},
                      SourceCase{source_twice, 4, 3840, 7680},
                      SourceCase{source_twice, 25, 200, 48000},
                      SourceCase{source_twice, 26, 0, 0}));

// A hostile caller may hand the services a null edit: they answer zeros, not a crash.
TEST(HostStandin, NullEditIsAnsweredWithZeros)
{
    MediaInfo info;
    info.audio_rate = 99;
    int32_t first = 5, last = 6;
    int16_t sample = 77;
    EXPECT_EQ(host_is_output_in_progress(nullptr), 0);
    host_get_media_info(nullptr, &info);
    EXPECT_EQ(info.audio_rate, 0);
    host_get_selection(nullptr, &first, &last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(host_get_source_audio(nullptr, nullptr, 0, &sample), 0);
    EXPECT_EQ(sample, 77);
}

TEST(HostStandin, SelectAllCoversEveryFrame)
{
    HostEdit edit;
    edit.media = pattern_media(44100, 1, 30, 1, 44100 + 1);
    host_select_all(&edit);
    EXPECT_EQ(edit.selection_first, 0);
    EXPECT_EQ(edit.selection_last, 30);
    edit.media.channels = 0;
    host_select_all(&edit);
    EXPECT_EQ(edit.selection_last, 0);
}

int32_t forward_to_owner(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    tulm_window_send(tulm_window_owner(window), message, wparam, lparam);
    return 5;
}

TEST(HostStandin, OwnerWindowRecordsWhatIsForwarded)
{
    StandinWindows windows;
    standin_windows_init(&windows);
    FilterTable table{};
    EXPECT_EQ(host_send_message(&table, &windows.settings, 0x0100, 1, 2), 0);
    EXPECT_TRUE(windows.received.empty());
    table.window_message = forward_to_owner;
    EXPECT_EQ(host_send_message(&table, &windows.settings, 0x020A, UINTPTR_MAX, -3), 5);
    host_send_message(&table, &windows.owner, 0x0101, 0, 0); // the owner has no owner
    ASSERT_EQ(windows.received.size(), 1u);
    EXPECT_EQ(windows.received[0].message, 0x020Au);
    EXPECT_EQ(windows.received[0].wparam, UINTPTR_MAX);
    EXPECT_EQ(windows.received[0].lparam, -3);
}

} // namespace
