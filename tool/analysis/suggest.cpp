#include "tool/analysis/suggest.h"

#include "tool/analysis/tool_error.h"

std::vector<Suggestion> suggest_settings(const Tone& tone, const Settings& base, const SliderRanges& ranges,
                                         int32_t rate)
{
    std::vector<Suggestion> out;
    for (int32_t order = ranges.minimum[kFftOrder]; order <= ranges.maximum[kFftOrder]; ++order) {
        Suggestion s;
        s.settings = base;
        s.settings.slider[kFftOrder] = order;
        try {
            s.settings.slider[kFrequency] = frequency_for_hz(tone.hz, s.settings, ranges, rate);
        } catch (const ToolError&) {
            out.push_back(s);
            continue;
        }
        s.notch = notch_geometry(s.settings, rate);
        const double reach = tone.drift_hz / 2 + kGuardBins * double(rate) / s.notch.n;
        s.placed = true;
        const double need_low = tone.hz - reach > 0 ? tone.hz - reach : 0.0;
        Settings trial = s.settings;
        for (int32_t w = ranges.minimum[kWidth]; w <= ranges.maximum[kWidth]; ++w) {
            trial.slider[kWidth] = w;
            const NotchGeometry g = notch_geometry(trial, rate);
            if (g.low_hz <= need_low && g.high_hz >= tone.hz + reach) {
                s.cover_width = w;
                s.cover = g;
                break;
            }
        }
        out.push_back(s);
    }
    return out;
}
