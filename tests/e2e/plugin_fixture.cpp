#include "plugin_fixture.h"

#include <cmath>
#include <string>
#include <utility>

#include "test_media.h"

namespace {

// Holds one reference to the module for the whole run, so that the module stays mapped
// from test to test as it does in a host that reopens a project: a fresh state then
// comes from GetFilterTable itself, not from the loader mapping a new copy.
class ModuleHolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(plugin_load(TULM_PLUGIN_PATH, &module_, &error)) << error;
    }
    void TearDown() override { plugin_unload(&module_); }

private:
    PluginModule module_;
};

const ::testing::Environment* const g_holder =
    ::testing::AddGlobalTestEnvironment(new ModuleHolder);

} // namespace

HostMedia test_media(int32_t rate, int32_t channels, int32_t num, int32_t den, double seconds)
{
    const int64_t frames = static_cast<int64_t>(seconds * rate);
    std::vector<int16_t> audio(static_cast<size_t>(frames * channels));
    const double pi = 3.14159265358979323846;
    uint32_t noise = 12345;
    for (int64_t t = 0; t < frames; ++t)
        for (int32_t k = 0; k < channels; ++k) {
            noise = noise * 1664525u + 1013904223u;
            const double v = 6000 * std::sin(2 * pi * 1000 * t / rate + k) +
                             3000 * std::sin(2 * pi * 2000 * t / rate) +
                             static_cast<double>(noise >> 24) - 128;
            audio[static_cast<size_t>(t * channels + k)] = static_cast<int16_t>(v);
        }
    return media_with(rate, channels, num, den, std::move(audio));
}

void PluginTest::SetUp()
{
    std::string error;
    ASSERT_TRUE(plugin_load(TULM_PLUGIN_PATH, &module, &error)) << error;
    table = module.table;
    host_load_defaults(&edit, table);
    edit.media = test_media(16000, 2, 30, 1, 4.0);
    host_select_all(&edit);
}

void PluginTest::TearDown()
{
    plugin_unload(&module);
}

std::vector<int16_t> PluginTest::take_span()
{
    // No rendered sample of the test media comes near full scale, so the sentinel
    // marks exactly what the call left alone.
    const int16_t sentinel = INT16_MIN;
    const int32_t channels = edit.media.channels;
    const int32_t frames = 4 * edit.media.audio_rate + 16384;
    std::vector<int16_t> buffer(static_cast<size_t>(frames) * channels, sentinel);
    const int32_t saved = edit.output_in_progress;
    edit.output_in_progress = 1;
    host_process_raw(&edit, table, edit.selection_first, buffer.data(), frames, channels);
    edit.output_in_progress = saved;
    size_t end = buffer.size();
    while (end > 0 && buffer[end - 1] == sentinel) --end;
    buffer.resize(end);
    return buffer;
}
