#include "tests/render/render_host.h"

#include <gtest/gtest.h>

#include "host/host_process.h"
#include "render/slider_table.h"
#include "shell/host_key.h"

FilterTable* module_table()
{
    static FilterTable* const table = GetFilterTable();
    return table;
}

HostEdit render_edit(const HostMedia& media)
{
    HostEdit edit;
    edit.media = media;
    edit.selection_first = 0;
    edit.selection_last = 1000;
    for (int i = 0; i < kSliderCount; ++i) edit.slider_values[i] = kSliderDefaults[i];
    edit.slider_values[kFade] = 0;
    return edit;
}

void process(HostEdit* edit, int32_t frame, std::vector<int16_t>* audio, int32_t channels)
{
    const int32_t samples = int32_t(audio->size()) / channels;
    EXPECT_EQ(host_process_raw(edit, module_table(), frame, audio->data(), samples, channels), 1);
}

void render(HostEdit* edit)
{
    clear_key();
    edit->source_first_buffer = nullptr;
    std::vector<int16_t> none;
    process(edit, edit->selection_first, &none, edit->media.channels > 0 ? edit->media.channels : 1);
}
