// When the plug-in re-renders: on the first call after load, on every change of its key,
// after each host notification, and not otherwise.
#include <cctype>
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

struct Change {
    const char* what;
    void (*apply)(HostEdit* edit, FilterTable* table, StandinWindows* windows);
    bool renders;
    bool same_key; // a render with the key unchanged restarts the same span at cursor 0
};

void send(FilterTable* table, StandinWindows* windows, uint32_t message)
{
    EXPECT_EQ(host_send_message(table, &windows->settings, message, 0, 0), 0);
}

const Change kChanges[] = {
    {"nothing", [](HostEdit*, FilterTable*, StandinWindows*) {}, false, false},
    {"frequency", [](HostEdit* e, FilterTable*, StandinWindows*) { e->slider_values[0] = 150; }, true, false},
    {"seconds", [](HostEdit* e, FilterTable*, StandinWindows*) { e->slider_values[1] = 1; }, true, false},
    {"fft_order", [](HostEdit* e, FilterTable*, StandinWindows*) { e->slider_values[2] = 12; }, true, false},
    {"width", [](HostEdit* e, FilterTable*, StandinWindows*) { e->slider_values[3] = 31; }, true, false},
    {"fade", [](HostEdit* e, FilterTable*, StandinWindows*) { e->slider_values[4] = 0; }, true, false},
    {"use_window", [](HostEdit* e, FilterTable*, StandinWindows*) { e->check_values[0] = 1; }, true, false},
    {"audio rate", [](HostEdit* e, FilterTable*, StandinWindows*) { e->media.audio_rate = 22050; }, true, false},
    {"channels", [](HostEdit* e, FilterTable*, StandinWindows*) { e->media.channels = 1; }, true, false},
    {"video rate numerator", [](HostEdit* e, FilterTable*, StandinWindows*) { e->media.video_rate_num = 25; }, true, false},
    {"video rate denominator", [](HostEdit* e, FilterTable*, StandinWindows*) { e->media.video_rate_den = 2; }, true, false},
    {"first selected frame", [](HostEdit* e, FilterTable*, StandinWindows*) { e->selection_first = 1; }, true, false},
    {"last selected frame", [](HostEdit* e, FilterTable*, StandinWindows*) { e->selection_last = 5; }, false, false},
    {"notification 0x0465", [](HostEdit*, FilterTable* t, StandinWindows* w) { send(t, w, 0x0465); }, true, true},
    {"notification 0x0469", [](HostEdit*, FilterTable* t, StandinWindows* w) { send(t, w, 0x0469); }, true, true},
    {"key down", [](HostEdit*, FilterTable* t, StandinWindows* w) { send(t, w, 0x0100); }, false, false},
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

    change.apply(&edit, table, &windows);
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
                             std::string name = info.param.what;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

} // namespace
