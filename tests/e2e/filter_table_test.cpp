// The FilterTable as the host reads it from the loaded module.
#include "plugin_fixture.h"
#include "render/slider_table.h"

namespace {

using FilterTableAsRead = PluginTest;

TEST_F(FilterTableAsRead, HeaderNamesAndInformation)
{
    EXPECT_EQ(table->flags, kFilterFlags);
    EXPECT_STREQ(table->name, "Pellomar");
    EXPECT_STREQ(table->information, "Pellomar Ver. 0.3.1 by Orvane");
    EXPECT_NE(table->process, nullptr);
    EXPECT_NE(table->window_message, nullptr);
}

// The loaded module hands the host the plug-in's own slider table, entry by entry.
TEST_F(FilterTableAsRead, SlidersAndCheckBox)
{
    ASSERT_EQ(table->slider_count, kSliderCount);
    for (int i = 0; i < kSliderCount; ++i) {
        EXPECT_STREQ(table->slider_labels[i], kSliderLabels[i]) << kSliderNames[i];
        EXPECT_EQ(table->slider_defaults[i], kSliderDefaults[i]) << kSliderNames[i];
        EXPECT_EQ(table->slider_minima[i], kSliderMinima[i]) << kSliderNames[i];
        EXPECT_EQ(table->slider_maxima[i], kSliderMaxima[i]) << kSliderNames[i];
        EXPECT_GE(kSliderDefaults[i], kSliderMinima[i]) << kSliderNames[i];
        EXPECT_LE(kSliderDefaults[i], kSliderMaxima[i]) << kSliderNames[i];
    }
    ASSERT_EQ(table->check_count, kCheckCount);
    EXPECT_STREQ(table->check_labels[0], kCheckLabels[0]);
    EXPECT_EQ(table->check_defaults[0], kCheckDefaults[0]);
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
