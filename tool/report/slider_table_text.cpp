#include "tool/report/slider_table_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

#include "tool/analysis/measure.h"
#include "tool/report/text_columns.h"

namespace {

constexpr const char* kOutsideMark = "*";
constexpr const char* kSpeechMark = "!";

struct LabelWidths {
    int ja = 0, en = 0;
};

LabelWidths label_widths(const std::vector<CommonTone>& tones)
{
    LabelWidths w{display_width("音 / tone"), 0};
    for (const CommonTone& t : tones) {
        w.ja = std::max(w.ja, display_width(t.ja));
        w.en = std::max(w.en, display_width(t.en));
    }
    return w;
}

std::string label(const CommonTone& t, const LabelWidths& w)
{
    return "  " + pad_right(t.ja, w.ja + 2) + pad_right(t.en, w.en + 1) + pad_left(fmt::format("{:g}", t.hz), 6);
}

std::string label_header(const LabelWidths& w)
{
    return "  " + pad_right("音 / tone", w.ja + w.en + 3) + pad_left("Hz", 6);
}

std::string marks(const ToneCell& c)
{
    std::string m;
    if (c.outside) m += kOutsideMark;
    if (c.speech) m += kSpeechMark;
    return m;
}

std::string recommended_block(const SliderTableRequest& r, const Settings& base, const SliderRanges& ranges,
                              int32_t rate)
{
    const LabelWidths w = label_widths(r.tones);
    std::string out = fmt::format("【{}】\n", khz_text(rate));
    out += label_header(w) + pad_left("周波数", 8) + pad_left("幅", 5) + pad_left("中心 Hz", 10) + "   " +
           "削る範囲 Hz / band\n";
    for (const CommonTone& t : r.tones) {
        const ToneCell c = tone_cell(t.hz, base, ranges, rate, kRecommendedOrder, 0);
        out += label(t, w);
        if (!c.placed) {
            out += pad_left("-", 8) + "\n";
            continue;
        }
        out += pad_left(fmt::format("{}", c.settings.slider[kFrequency]), 8) +
               pad_left(fmt::format("{}", c.settings.slider[kWidth]), 5) +
               pad_left(fmt::format("{:.1f}", c.notch.centre_hz), 10) + "   " +
               pad_right(fmt::format("{:.1f} - {:.1f}", c.notch.low_hz, c.notch.high_hz), 18) + marks(c);
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += "\n";
    }
    return out;
}

std::string grid(const SliderTableRequest& r, const Settings& base, const SliderRanges& ranges, int32_t rate)
{
    const LabelWidths w = label_widths(r.tones);
    constexpr int kCell = 11;
    std::string out = fmt::format("【{}】\n", khz_text(rate));
    out += label_header(w) + "  ";
    for (int32_t order = ranges.minimum[kFftOrder]; order <= ranges.maximum[kFftOrder]; ++order)
        out += pad_right(fmt::format("FFT {}", order), kCell);
    while (out.back() == ' ') out.pop_back();
    out += "\n";
    for (const CommonTone& t : r.tones) {
        out += label(t, w) + "  ";
        for (int32_t order = ranges.minimum[kFftOrder]; order <= ranges.maximum[kFftOrder]; ++order) {
            const ToneCell c = tone_cell(t.hz, base, ranges, rate, order, r.width);
            out += pad_right(c.placed ? fmt::format("{}/{}{}", c.settings.slider[kFrequency],
                                                    c.settings.slider[kWidth], marks(c))
                                      : "-",
                             kCell);
        }
        while (out.back() == ' ') out.pop_back();
        out += "\n";
    }
    return out;
}

} // namespace

std::string khz_text(int32_t rate)
{
    return fmt::format("{:g} kHz", rate / 1000.0);
}

std::string slider_table_legend()
{
    const std::string speech = fmt::format("{:g}～{:g} Hz", kSpeechLowHz, kSpeechHighHz);
    const std::string speech_en = fmt::format("{:g}-{:g} Hz", kSpeechLowHz, kSpeechHighHz);
    const std::pair<std::string, std::string> entries[] = {
        {"音 / tone, Hz", "取り除きたい音とその周波数 / the tone to remove and its frequency"},
        {"周波数 (frequency)", "スライダーに設定する値 / the slider value to set"},
        {"幅 (width)", "スライダーに設定する値 / the slider value to set"},
        {"中心 Hz (centre)", "ノッチが実際にかかる中心 / where the notch really lands"},
        {"削る範囲 Hz (band)", "ノッチが削る範囲 / the band the notch removes"},
        {"周波数/幅", "FFT ごとの表の、その FFT での値 / in the grids: the values for that FFT"},
        {kOutsideMark, "音が削る範囲の外にある / the tone lies outside the band"},
        {kSpeechMark, "削る範囲が声の帯域 " + speech + " にかかる / the band reaches into speech, " + speech_en},
        {"-", "この FFT では合わせられない / no slider value places the notch there"},
    };
    std::string out = "見かた / How to read\n";
    for (const auto& e : entries) out += "  " + pad_right(e.first, 22) + e.second + "\n";
    return out;
}

std::string slider_table_text(const SliderTableRequest& r, const Settings& base, const SliderRanges& ranges)
{
    std::string out = "よくある音に合わせる設定値 / Slider values for common tones\n\n";
    out += slider_table_legend();
    out += r.width > 0 ? fmt::format("  幅はすべて {} です / 幅 is {} throughout the grids\n", r.width, r.width)
                       : "  幅は、音を覆うもっとも狭い値です / 幅 is the narrowest width that covers the tone\n";
    out += fmt::format("\nおすすめ（FFT {0}） / Recommended (FFT {0})\n"
                       "FFT を {0} にして、周波数と幅をこの値にします。\n"
                       "Set FFT to {0}, and 周波数 and 幅 to these values.\n",
                       kRecommendedOrder);
    for (int32_t rate : r.rates) out += "\n" + recommended_block(r, base, ranges, rate);
    out += "\nFFT ごとの 周波数/幅 / 周波数/幅 for each FFT\n";
    for (int32_t rate : r.rates) out += "\n" + grid(r, base, ranges, rate);
    return out;
}
