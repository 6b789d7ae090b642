#include "tool/analysis/common_tones.h"

#include <fmt/format.h>

#include <algorithm>

#include "tool/analysis/measure.h"
#include "tool/analysis/suggest.h"

std::vector<CommonTone> common_tones()
{
    std::vector<CommonTone> tones = {
        {kHumEastHz, fmt::format("ハム {:g} Hz（東日本）", kHumEastHz), "hum (east Japan)"},
        {kHumWestHz, fmt::format("ハム {:g} Hz（西日本）", kHumWestHz), "hum (west Japan)"},
    };
    for (int k = 2; k <= 5; ++k)
        for (const double mains : {kHumEastHz, kHumWestHz})
            tones.push_back({k * mains, fmt::format("{:g} Hz の {} 倍音", mains, k), fmt::format("hum x{}", k)});
    tones.push_back({440, "調律音 A（ラ）", "tuning tone A"});
    tones.push_back({1000, "テストトーン", "test tone"});
    for (const double hz : {500, 2000, 5000, 10000}) tones.push_back({hz, "区切りのよい値", "round value"});
    tones.push_back({15625, "ブラウン管（PAL 系・欧州）", "CRT line 625/50 (PAL)"});
    tones.push_back({15734, "ブラウン管（NTSC 系・日本）", "CRT line 525/60 (NTSC)"});
    std::stable_sort(tones.begin(), tones.end(), [](const CommonTone& a, const CommonTone& b) { return a.hz < b.hz; });
    return tones;
}

ToneCell tone_cell(double hz, const Settings& base, const SliderRanges& ranges, int32_t rate, int32_t order,
                   int32_t width)
{
    ToneCell cell;
    if (!(hz > 0) || hz >= rate / 2.0) return cell;
    Tone tone;
    tone.found = true;
    tone.hz = hz;
    SliderRanges one_order = ranges;
    one_order.minimum[kFftOrder] = one_order.maximum[kFftOrder] = order;
    const std::vector<Suggestion> s = suggest_settings(tone, base, one_order, rate);
    if (s.empty() || !s.front().placed) return cell;
    cell.placed = true;
    cell.covered = s.front().cover_width > 0;
    cell.settings = s.front().settings;
    cell.settings.slider[kWidth] = width > 0 ? width : cell.covered ? s.front().cover_width : ranges.maximum[kWidth];
    cell.notch = notch_geometry(cell.settings, rate);
    cell.outside = hz < cell.notch.low_hz || hz > cell.notch.high_hz;
    cell.speech = band_reaches_speech(cell.notch.low_hz, cell.notch.high_hz);
    return cell;
}
