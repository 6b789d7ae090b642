// When the plug-in re-renders: on the first call after load, on every change of its key,
// after each host notification, and not otherwise.
#include <ostream>
#include <string>

#include "plugin_fixture.h"

namespace {

// A load always starts afresh, even when the module's previous state would match: here
// the same settings were rendered just before, and the module stays mapped in between.
TEST_F(PluginTest, FirstCallAfterLoadRenders)
{
    std::vector<int16_t> audio;
    host_process_media_frame(&edit, table, 0, &audio);
    const int64_t calls = edit.source_audio_calls;
    host_process_media_frame(&edit, table, 0, &audio);
    ASSERT_FALSE(rendered_since(calls));
    plugin_unload(&module);
    std::string error;
    ASSERT_TRUE(plugin_load(TULM_PLUGIN_PATH, &module, &error)) << error;
    table = module.table;
    host_process_media_frame(&edit, table, 0, &audio);
    EXPECT_TRUE(rendered_since(calls));
}

enum Target { nothing, slider, check, rate, channels, rate_num, rate_den, first, last, message };

struct Change {
    const char* what;
    Target target;
    int32_t index; // slider number
    int32_t value; // new value, or the message sent
    bool renders;
    bool same_key; // a render with the key unchanged restarts the same span at cursor 0
};

// gtest would otherwise print the record's bytes, padding included.
void PrintTo(const Change& c, std::ostream* os)
{
    *os << c.what;
}

void apply(const Change& c, HostEdit* edit, FilterTable* table, StandinWindows* windows)
{
    switch (c.target) {
    case nothing: break;
    case slider: edit->slider_values[c.index] = c.value; break;
    case check: edit->check_values[0] = c.value; break;
    case rate: edit->media.audio_rate = c.value; break;
    case channels: edit->media.channels = c.value; break;
    case rate_num: edit->media.video_rate_num = c.value; break;
    case rate_den: edit->media.video_rate_den = c.value; break;
    case first: edit->selection_first = c.value; break;
    case last: edit->selection_last = c.value; break;
    case message:
        EXPECT_EQ(host_send_message(table, &windows->settings, uint32_t(c.value), 0, 0), 0);
        break;
    }
}

const Change kChanges[] = {
    {"nothing", nothing, 0, 0, false, false},
    {"frequency", slider, 0, 150, true, false},
    {"seconds", slider, 1, 1, true, false},
    {"fft_order", slider, 2, 12, true, false},
    {"width", slider, 3, 31, true, false},
    {"fade", slider, 4, 0, true, false},
    {"use_window", check, 0, 1, true, false},
    {"audio_rate", rate, 0, 22050, true, false},
    {"channels", channels, 0, 1, true, false},
    {"video_rate_numerator", rate_num, 0, 25, true, false},
    {"video_rate_denominator", rate_den, 0, 2, true, false},
    {"first_selected_frame", first, 0, 1, true, false},
    {"last_selected_frame", last, 0, 5, false, false},
    {"notification_0465", message, 0, kHostNotifyStale101, true, true},
    {"notification_0469", message, 0, kHostNotifyStale105, true, true},
    {"key_down", message, 0, 0x0100, false, false},
};

class Rerender : public PluginTest, public ::testing::WithParamInterface<Change> {};

// Writing mode throughout: the first two calls render and move the cursor on; after the
// change, the call either renders again and restarts at the span's first samples or
// carries on from the cursor.
TEST_P(Rerender, OnlyAChangeOfTheKeyRenders)
{
    const Change change = GetParam();
    StandinWindows windows;
    standin_windows_init(&windows);
    edit.output_in_progress = 1;
    std::vector<int16_t> first, second, after;
    host_process_media_frame(&edit, table, 0, &first);
    ASSERT_TRUE(rendered_since(0));
    const int64_t calls = edit.source_audio_calls;
    host_process_media_frame(&edit, table, 0, &second);
    ASSERT_FALSE(rendered_since(calls));
    ASSERT_NE(first, second); // the cursor moved on

    apply(change, &edit, table, &windows);
    host_process_media_frame(&edit, table, 0, &after);
    EXPECT_EQ(rendered_since(calls), change.renders) << change.what;
    if (change.same_key) {
        EXPECT_EQ(after, first) << change.what;
    } else if (!change.renders) {
        EXPECT_NE(after, first) << change.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Changes, Rerender, ::testing::ValuesIn(kChanges),
                         [](const ::testing::TestParamInfo<Change>& info) {
                             return std::string(info.param.what);
                         });

} // namespace
