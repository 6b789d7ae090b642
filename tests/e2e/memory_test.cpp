// Many re-renders in a row with changing settings and media. Run under the sanitizers
// or valgrind, this is where a lost or twice-freed render buffer shows.
#include "plugin_fixture.h"
#include "render/slider_table.h"

namespace {

TEST_F(PluginTest, TwoHundredRerendersWithChangingSettingsAndMedia)
{
    // Short media at modest rates keep this quick under valgrind; every span still
    // runs past the media's end for some settings.
    const int32_t rates[] = {8000, 11025, 16000, 22050};
    const int32_t channels[] = {1, 2, 3};
    const int32_t video[][2] = {{30, 1}, {25, 1}, {30000, 1001}, {24, 1}};
    std::vector<HostMedia> media;
    for (int32_t rate : rates)
        for (int32_t ch : channels) media.push_back(test_media(rate, ch, 30, 1, 2.0));

    std::vector<int16_t> audio;
    for (int i = 0; i < 200; ++i) {
        edit.media = media[(i * 7) % media.size()];
        edit.media.video_rate_num = video[i % 4][0];
        edit.media.video_rate_den = video[i % 4][1];
        edit.slider_values[0] = 1 + (i * 97) % kSliderMaxima[kFrequency];
        edit.slider_values[1] = 1 + i % 3;
        edit.slider_values[2] = 9 + (i / 3) % 6;
        edit.slider_values[3] = 5 + (i * 13) % 252;
        edit.slider_values[4] = (i * 37) % 101;
        edit.check_values[0] = (i / 2) % 2;
        edit.selection_first = i % 5;
        edit.output_in_progress = i % 2;
        const int64_t calls = edit.source_audio_calls;
        host_process_media_frame(&edit, table, edit.selection_first, &audio);
        ASSERT_TRUE(rendered_since(calls)) << i;
        host_process_media_frame(&edit, table, edit.selection_first + 1, &audio);
        if (i % 50 == 49) host_send_message(table, nullptr, kHostNotifyStale105, 0, 0);
    }
}

} // namespace
