#include "tool/analysis/settings.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include <fmt/format.h>

#include "render/plan_arithmetic.h"
#include "shell/host_interface.h"
#include "tool/analysis/tool_error.h"

std::string option_name(int32_t slider)
{
    std::string name = kSliderNames[slider];
    for (char& c : name)
        if (c == '_') c = '-';
    return name;
}

Settings default_settings(const FilterTable& table)
{
    Settings s;
    for (int i = 0; i < kSliderCount; ++i) s.slider[i] = table.slider_defaults[i];
    s.use_window = table.check_defaults[0];
    return s;
}

SliderRanges slider_ranges(const FilterTable& table)
{
    SliderRanges r;
    for (int i = 0; i < kSliderCount; ++i) {
        r.minimum[i] = table.slider_minima[i];
        r.maximum[i] = table.slider_maxima[i];
    }
    return r;
}

void check_ranges(const Settings& settings, const SliderRanges& ranges)
{
    for (int i = 0; i < kSliderCount; ++i) {
        const int32_t v = settings.slider[i];
        if (v < ranges.minimum[i] || v > ranges.maximum[i])
            throw UsageError(ErrorCode::kSliderOutsideRange, {{"slider", kSliderNames[i]},
                                                              {"value", double(v)},
                                                              {"minimum", double(ranges.minimum[i])},
                                                              {"maximum", double(ranges.maximum[i])}});
    }
}

NotchGeometry notch_geometry(const Settings& settings, int32_t rate)
{
    NotchGeometry g;
    g.n = plan_block_size(settings.slider[kFftOrder]);
    g.spacing = plan_entry_spacing(rate, g.n);
    g.centre = plan_notch_entry(settings.slider[kFrequency], rate, g.n);
    g.hop = plan_hop(g.n);
    g.quarter = plan_quarter(g.n);
    g.length = plan_span_length(settings.slider[kSeconds], rate, g.n);
    g.fade = plan_fade_length(settings.slider[kFade], g.length);
    g.inside = g.centre >= 0 && g.centre < g.n;
    const double bin_hz = double(rate) / double(g.n);
    g.centre_hz = double(g.centre) * bin_hz / 2.0;
    int64_t lo = g.centre - settings.slider[kWidth];
    int64_t hi = g.centre + settings.slider[kWidth];
    if (lo < 0) lo = 0;
    if (hi > g.n - 1) hi = g.n - 1;
    // Entry 1 holds half the rate, not bin 0: a notch reaching down to it leaves DC alone.
    if (lo == 1) lo = 2;
    g.low_hz = double(lo / 2) * bin_hz;
    g.high_hz = double(hi / 2) * bin_hz;
    return g;
}

int32_t highest_rate_served(const Settings& settings, int32_t channels)
{
    return int32_t(INT32_MAX / (int64_t(settings.slider[kSeconds] + 1) * channels));
}

void reachable_centres(const Settings& s, const SliderRanges& ranges, int32_t rate, double* low, double* high)
{
    Settings trial = s;
    *low = -1;
    *high = -1;
    for (int32_t f = ranges.minimum[kFrequency]; f <= ranges.maximum[kFrequency]; ++f) {
        trial.slider[kFrequency] = f;
        const NotchGeometry g = notch_geometry(trial, rate);
        // A centre at 0 Hz cuts no tone.
        if (!g.inside || g.centre_hz <= 0) continue;
        if (*low < 0 || g.centre_hz < *low) *low = g.centre_hz;
        if (g.centre_hz > *high) *high = g.centre_hz;
    }
}

int32_t frequency_for_hz(double hz, const Settings& settings, const SliderRanges& ranges,
                         int32_t rate)
{
    if (!(hz > 0) || hz >= rate / 2.0)
        throw UsageError(ErrorCode::kHzOutsideHalfRate, {{"hz", hz}, {"half_rate", rate / 2.0}});
    Settings trial = settings;
    int32_t best = -1;
    double best_miss = 0, best_nominal = 0;
    for (int32_t f = ranges.minimum[kFrequency]; f <= ranges.maximum[kFrequency]; ++f) {
        trial.slider[kFrequency] = f;
        const NotchGeometry g = notch_geometry(trial, rate);
        if (!g.inside) continue;
        const double miss = std::fabs(g.centre_hz - hz);
        const double nominal = std::fabs(f * 10.0 - hz);
        if (best < 0 || miss < best_miss || (miss == best_miss && nominal < best_nominal)) {
            best = f;
            best_miss = miss;
            best_nominal = nominal;
        }
    }
    if (best < 0)
        throw ToolError(ErrorCode::kNoNotchInside,
                        {{"rate", double(rate)}, {"fft_order", double(settings.slider[kFftOrder])}});
    return best;
}
