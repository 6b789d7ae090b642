#pragma once
// The real plug-in module, loaded the way the host loads it and driven through the
// host stand-in, for the end-to-end tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/host_edit.h"
#include "host/host_process.h"
#include "host/plugin_loader.h"
#include "host/window_messages.h"

// `seconds` of audio at `rate`: a tone at 1000 Hz (the default notch centre), one at
// 2000 Hz and a little deterministic noise, each channel slightly different.
HostMedia test_media(int32_t rate, int32_t channels, int32_t num, int32_t den, double seconds);

// A fresh module state per test: GetFilterTable clears the plug-in's key on every load.
// The edit starts with the table's defaults, 4 s of 16 kHz stereo at 30 fps, every
// frame selected, previewing.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Processing calls made since `calls` source-audio calls: non-zero after a render.
    bool rendered_since(int64_t calls) const { return edit.source_audio_calls > calls; }

    // The whole rendered span as writing mode hands it out from the cursor, in one call
    // with a buffer longer than any span. The cursor must be at 0 (right after a
    // render); afterwards it is at the span's end.
    std::vector<int16_t> take_span();

    PluginModule module;
    FilterTable* table = nullptr;
    HostEdit edit;
};
