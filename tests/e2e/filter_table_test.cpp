// The FilterTable as the host reads it from the loaded module.
#include "plugin_fixture.h"

namespace {

using FilterTableAsRead = PluginTest;

TEST_F(FilterTableAsRead, HeaderNamesAndInformation)
{
    EXPECT_EQ(table->flags, 0x00240800u);
    EXPECT_STREQ(table->name, "Pellomar");
    EXPECT_STREQ(table->information, "Pellomar Ver. 0.3.1 by Orvane");
    EXPECT_NE(table->process, nullptr);
    EXPECT_NE(table->window_message, nullptr);
}

TEST_F(FilterTableAsRead, SlidersAndCheckBox)
{
    static const char* const labels[5] = {
        "\x8e\xfc\x94\x67\x90\x94",         // 周波数
        "\x95\x62",                         // 秒
        "FFT",                              // FFT
        "\x95\x9d",                         // 幅
        "\x83\x74\x83\x46\x81\x5b\x83\x68", // フェード
    };
    const int32_t defaults[5] = {100, 2, 11, 30, 25};
    const int32_t minima[5] = {1, 1, 9, 5, 0};
    const int32_t maxima[5] = {1800, 3, 14, 256, 100};
    ASSERT_EQ(table->slider_count, 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(table->slider_labels[i], labels[i]) << i;
        EXPECT_EQ(table->slider_defaults[i], defaults[i]) << i;
        EXPECT_EQ(table->slider_minima[i], minima[i]) << i;
        EXPECT_EQ(table->slider_maxima[i], maxima[i]) << i;
    }
    ASSERT_EQ(table->check_count, 1);
    // 窓関数使用 (use window)
    EXPECT_STREQ(table->check_labels[0], "\x91\x8b\x8a\xd6\x90\x94\x8e\x67\x97\x70");
    EXPECT_EQ(table->check_defaults[0], 0);
}

// The slots the plug-in leaves empty; the host fills only the value pointers and the
// service table, which sit between them.
TEST_F(FilterTableAsRead, EmptySlotsAreZero)
{
    const FilterTable* t = table;
    EXPECT_EQ(t->reserved0[0], 0);
    EXPECT_EQ(t->reserved0[1], 0);
    for (void* slot : t->reserved_callbacks) EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(t->reserved1[0], 0);
    EXPECT_EQ(t->reserved1[1], 0);
    EXPECT_EQ(t->reserved2[0], 0);
    EXPECT_EQ(t->reserved2[1], 0);
    for (int32_t v : t->reserved3) EXPECT_EQ(v, 0);
}

} // namespace
