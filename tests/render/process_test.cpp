#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shell/host_key.h"
#include "render/render_span.h"
#include "shell/callbacks.h"
#include "host/window_messages.h"
#include "shell/win32_ui.h"
#include "host/host_process.h"
#include "host/media.h"
#include "render/slider_table.h"
#include "test_media.h"
#include "tests/render/render_host.h"

namespace {

const int16_t kUntouched = 0x1234;

HostEdit set_up(int32_t rate, int32_t channels, int32_t num, int32_t den)
{
    HostEdit h = render_edit(media_with(rate, channels, num, den, tone(rate, channels, 8 * int64_t(rate), 1000, 8000)));
    h.selection_first = 40;
    GetFilterTable();  // as at load: no key, no span
    return h;
}

// Checks that `audio` holds span frames from..from+count-1 and kUntouched after them.
void expect_slice(const std::vector<int16_t>& audio, int32_t channels, int64_t from,
                  int64_t count, const std::string& where)
{
    for (int64_t i = 0; i < int64_t(audio.size()); ++i) {
        const int16_t want = i < count * channels ? g_span.samples[from * channels + i] : kUntouched;
        ASSERT_EQ(audio[i], want) << where << ", value " << i;
    }
}

// While the host writes, the span is handed out in order from its start whatever the
// frame numbers; the call crossing the end gets only the rest; later calls nothing.
TEST(ProcessAudio, WritingDeliversInOrder)
{
    HostEdit host = set_up(44100, 2, 30, 1);
    host.output_in_progress = 1;
    int64_t delivered = 0;
    for (int32_t call = 0; call < 70; ++call) {
        std::vector<int16_t> audio(1470 * 2, kUntouched);
        process(&host, 500 + 3 * call, &audio, 2);
        const int64_t count = std::min<int64_t>(1470, g_span.length - delivered);
        expect_slice(audio, 2, delivered, count, "call " + std::to_string(call));
        delivered += count;
    }
    EXPECT_EQ(delivered, g_span.length);
    EXPECT_EQ(g_span.cursor, g_span.length);
}

// In preview each frame gets the slice at its own offset, start(f) - start(first),
// including frame rates whose numerator does not divide the sampling rate.
class Preview : public ::testing::TestWithParam<std::array<int32_t, 3>> {};
TEST_P(Preview, DeliversAtTheFramesOffset)
{
    const auto [rate, num, den] = GetParam();
    HostEdit host = set_up(rate, 1, num, den);
    for (int32_t f = host.selection_first - 2; f < host.selection_first + 3 * num / den; ++f) {
        const int64_t offset = media_frame_start(host.media, f) - media_frame_start(host.media, host.selection_first);
        const int64_t samples = media_frame_start(host.media, f + 1) - media_frame_start(host.media, f);
        std::vector<int16_t> audio(samples, kUntouched);
        process(&host, f, &audio, 1);
        const bool inside = offset >= 0 && offset < g_span.length;
        const int64_t count = inside ? std::min(samples, g_span.length - offset) : 0;
        expect_slice(audio, 1, inside ? offset : 0, count, "frame " + std::to_string(f));
    }
}
INSTANTIATE_TEST_SUITE_P(Rates, Preview,
                         ::testing::Values(std::array<int32_t, 3>{48000, 30, 1},
                                           std::array<int32_t, 3>{48000, 30000, 1001},
                                           std::array<int32_t, 3>{44100, 24, 1},
                                           std::array<int32_t, 3>{44100, 25, 1}));

TEST(FrameOffset, FloorsAtEveryRateAndSign)
{
    struct Row { int32_t frame, first, rate, num, den; int64_t offset; };
    const Row rows[] = {
        {11, 10, 48000, 30, 1, 1600},         {10, 11, 48000, 30, 1, -1600},
        {1, 0, 48000, 24000, 1001, 2002},     {1, 0, 48000, 30000, 1001, 1601},
        {11, 10, 48000, 30000, 1001, 1601},   {0, -1, 48000, 30000, 1001, 1602},
        {-1, -2, 48000, 30000, 1001, 1602},   {1, 0, 44100, 24, 1, 1837},
        {2, 0, 44100, 24, 1, 3675},           {0, -1, 44100, 24, 1, 1838},
        {INT32_MAX, 0, 192000, 1, 1, int64_t(INT32_MAX) * 192000},
        {INT32_MIN, INT32_MAX, 48000, 30000, 1001, -6878819619672LL},
    };
    for (const Row& r : rows)
        EXPECT_EQ(frame_offset(r.frame, r.first, r.rate, r.num, r.den), r.offset)
            << r.frame << " from " << r.first << " at " << r.rate << " " << r.num << "/" << r.den;
}

// Requests the span cannot serve, and media the plan cannot serve, pass untouched.
TEST(ProcessAudio, UnservedRequestsPassUntouched)
{
    HostEdit host = set_up(44100, 2, 30, 1);
    struct Row { int32_t channels, samples; bool null_buffer; };
    for (const Row r : {Row{1, 1470, false}, Row{3, 1470, false}, Row{2, 0, false},
                        Row{2, -5, false}, Row{2, 1470, true}})
        for (int32_t writing : {0, 1}) {
            host.output_in_progress = writing;
            std::vector<int16_t> audio(1470 * 3, kUntouched);
            int16_t* buffer = r.null_buffer ? nullptr : audio.data();
            EXPECT_EQ(host_process_raw(&host, module_table(), host.selection_first, buffer, r.samples,
                                       r.channels),
                      1);
            EXPECT_EQ(audio, std::vector<int16_t>(1470 * 3, kUntouched)) << r.channels;
            EXPECT_EQ(g_span.cursor, 0);
        }

    struct Media { int32_t rate, channels, num, den; };
    for (const Media m : {Media{0, 2, 30, 1}, Media{-8000, 2, 30, 1}, Media{44100, 0, 30, 1},
                          Media{44100, 2, 0, 1}, Media{44100, 2, 30, 0},
                          Media{44100, 1 << 28, 30, 1}, Media{INT32_MAX, 1, 30, 1}}) {
        host.media.audio_rate = m.rate, host.media.channels = m.channels;
        host.media.video_rate_num = m.num, host.media.video_rate_den = m.den;
        host.source_audio_calls = 0;
        std::vector<int16_t> audio(1470 * 2, kUntouched);
        process(&host, host.selection_first, &audio, 2);
        EXPECT_EQ(audio, std::vector<int16_t>(1470 * 2, kUntouched)) << m.rate << " " << m.channels;
        EXPECT_EQ(host.source_audio_calls, 0);
    }
}

// Out of memory (the address space capped just above its use) the audio passes
// untouched, and the next call, with memory back, renders and delivers.
#if defined(__SANITIZE_ADDRESS__)
#define TULM_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TULM_TEST_ASAN 1
#endif
#endif

TEST(ProcessAudio, AllocationFailureLeavesAudio)
{
#if defined(TULM_TEST_ASAN)
    GTEST_SKIP() << "the sanitizer's shadow memory needs the whole address space";
#else
    HostEdit host = set_up(192000, 8, 30, 1);
    host.slider_values[kSeconds] = 3, host.slider_values[kFftOrder] = 14;
    host.output_in_progress = 1;
    std::vector<int16_t> audio(6400 * 8, kUntouched);

    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    ASSERT_NE(statm, nullptr);
    ASSERT_EQ(std::fscanf(statm, "%ld", &pages), 1);
    std::fclose(statm);
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit capped = saved;
    capped.rlim_cur = rlim_t(pages) * sysconf(_SC_PAGESIZE) + (2 << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    const int32_t result = host_process_raw(&host, module_table(), 0, audio.data(), 6400, 8);
    setrlimit(RLIMIT_AS, &saved);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(audio, std::vector<int16_t>(6400 * 8, kUntouched));
    EXPECT_EQ(g_span.length, 0);
    process(&host, 0, &audio, 8);
    ASSERT_GT(g_span.length, 3 * 192000);
    expect_slice(audio, 8, 0, 6400, "after memory came back");
#endif
}

// Keys and the wheel reach the owner unchanged; both host notifications force a full
// re-render and restart the cursor; anything else is dropped.
TEST(WindowMessage, ForwardsAndNotifies)
{
    StandinWindows windows;
    standin_windows_init(&windows);
    StandinWindow& settings = windows.settings;
    for (uint32_t message : {kMessageKeyDown, kMessageKeyUp, kMessageMouseWheel, 0x0200u,
                             kHostNotifyStale101, kHostNotifyStale105})
        EXPECT_EQ(window_message(&settings, message, 0x41, -120), 0);
    ASSERT_EQ(windows.received.size(), 3u);
    const uint32_t forwarded[] = {0x0100, 0x0101, 0x020A};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(windows.received[i].message, forwarded[i]);
        EXPECT_EQ(windows.received[i].wparam, 0x41u);
        EXPECT_EQ(windows.received[i].lparam, -120);
    }

    HostEdit host = set_up(44100, 1, 30, 1);
    host.output_in_progress = 1;
    std::vector<int16_t> audio(1470);
    ASSERT_EQ(GetFilterTable(), module_table());
    process(&host, 0, &audio, 1);
    EXPECT_GT(host.source_audio_calls, 0);  // the key GetFilterTable cleared never matches
    for (uint32_t message : {kHostNotifyStale101, kHostNotifyStale105, 0x0200u}) {
        process(&host, 1, &audio, 1);
        ASSERT_EQ(g_span.cursor, 2 * 1470);
        host.source_audio_calls = 0;
        window_message(&settings, message, 0, 0);
        process(&host, 2, &audio, 1);
        EXPECT_EQ(host.source_audio_calls > 0, message != 0x0200u) << message;
        EXPECT_EQ(g_span.cursor, message != 0x0200u ? 1470 : 3 * 1470) << message;
        clear_key();
        process(&host, 0, &audio, 1);
    }
}

}  // namespace
