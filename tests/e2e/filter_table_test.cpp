// The FilterTable as the host reads it from the loaded module, against the host's
// contract written out here: labels as text (decoded from the CP932 the module stores),
// defaults and ranges, which saved projects rely on.
#include <iconv.h>

#include <iterator>
#include <string>

#include "plugin_fixture.h"

namespace {

// A CP932 string as UTF-8, through the C library's converter; "?" when it is not CP932.
std::string utf8_of_cp932(const char* text)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1)) return "?";
    std::string in(text), out(4 * in.size() + 4, '\0');
    char* from = in.data();
    char* to = out.data();
    size_t left = in.size(), room = out.size();
    const size_t done = iconv(cd, &from, &left, &to, &room);
    iconv_close(cd);
    if (done == size_t(-1)) return "?";
    out.resize(out.size() - room);
    return out;
}

using FilterTableAsRead = PluginTest;

TEST_F(FilterTableAsRead, HeaderNamesAndInformation)
{
    EXPECT_EQ(table->flags, kFilterFlags);
    EXPECT_STREQ(table->name, "Pellomar");
    EXPECT_STREQ(table->information, "Pellomar Ver. 0.3.1 by Orvane");
    EXPECT_NE(table->process, nullptr);
    EXPECT_NE(table->window_message, nullptr);
}

// What the host shows and stores for each slider and the check box.
TEST_F(FilterTableAsRead, SlidersAndCheckBox)
{
    struct Slider {
        const char* label;
        int32_t fallback, lowest, highest;
    };
    const Slider sliders[] = {
        {"周波数", 100, 1, 1800}, {"秒", 2, 1, 3}, {"FFT", 11, 9, 14}, {"幅", 30, 5, 256}, {"フェード", 25, 0, 100},
    };
    ASSERT_EQ(table->slider_count, int32_t(std::size(sliders)));
    for (int i = 0; i < table->slider_count; ++i) {
        EXPECT_EQ(utf8_of_cp932(table->slider_labels[i]), sliders[i].label) << i;
        EXPECT_EQ(table->slider_defaults[i], sliders[i].fallback) << sliders[i].label;
        EXPECT_EQ(table->slider_minima[i], sliders[i].lowest) << sliders[i].label;
        EXPECT_EQ(table->slider_maxima[i], sliders[i].highest) << sliders[i].label;
    }
    ASSERT_EQ(table->check_count, 1);
    EXPECT_EQ(utf8_of_cp932(table->check_labels[0]), "窓関数使用");
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
