#include "notch_reference.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "render/render_plan.h"
#include "render/render_span.h"
#include "render/slider_table.h"

namespace {

// The plug-in's plan for one mono second at `rate`, without fade or window.
const RenderPlan& plan_for(int32_t rate, int32_t order, int32_t frequency, int32_t width)
{
    RenderKey key = {};
    key.frequency = frequency;
    key.seconds = 1;
    key.fft_order = order;
    key.width = width;
    key.audio_rate = rate;
    key.audio_channels = 1;
    key.video_rate_num = 30;
    key.video_rate_den = 1;
    derive_plan(key);
    return g_plan;
}

// The bin of entry e of the packed spectrum: entry 0 is DC, entry 1 half the rate (the
// far end, no part of a band around a centre), entries 2k and 2k + 1 bin k.
bool entry_bin(int64_t e, int64_t* bin)
{
    if (e == 1) return false;
    *bin = e / 2;
    return true;
}

} // namespace

double reference_entry_hz(int64_t e, int32_t rate, int64_t n) { return double(e) * rate / (2.0 * double(n)); }

ReferenceNotch reference_notch(int32_t rate, int32_t order, int32_t frequency, int32_t width)
{
    const RenderPlan& p = plan_for(rate, order, frequency, width);
    ReferenceNotch r;
    r.frequency = frequency;
    r.width = p.w;
    r.centre_entry = p.c;
    r.inside = p.c >= 0 && p.c < p.n;
    r.centre_hz = reference_entry_hz(p.c, rate, p.n);
    if (!r.inside) return r;
    std::vector<double> x(size_t(p.n), 1.0);
    apply_notch(x.data(), p.n, p.c, p.w, p.notch_window, 1);
    int64_t low = -1, high = -1;
    for (int64_t e = 0; e < p.n; ++e) {
        int64_t bin = 0;
        if (x[size_t(e)] == 1.0 || !entry_bin(e, &bin)) continue;
        if (low < 0 || bin < low) low = bin;
        if (bin > high) high = bin;
    }
    const double bin_hz = double(rate) / double(p.n);
    r.low_hz = double(low) * bin_hz;
    r.high_hz = double(high) * bin_hz;
    return r;
}

const ReferenceCentres& reference_centres(int32_t rate, int32_t order)
{
    static std::map<std::pair<int32_t, int32_t>, ReferenceCentres> cache;
    ReferenceCentres& c = cache[{rate, order}];
    if (c.n == 0) {
        for (int32_t f = kSliderMinima[kFrequency]; f <= kSliderMaxima[kFrequency]; ++f) {
            const RenderPlan& p = plan_for(rate, order, f, kSliderMinima[kWidth]);
            c.n = p.n;
            c.entry.push_back(p.c);
        }
    }
    return c;
}

ReferenceNotch reference_placement(int32_t rate, int32_t order, double tone, int32_t width, double guard_bins)
{
    const ReferenceCentres& c = reference_centres(rate, order);
    int32_t best = 0;
    double best_miss = 0, best_nominal = 0;
    for (size_t i = 0; i < c.entry.size(); ++i) {
        if (c.entry[i] >= c.n) continue;
        const int32_t f = kSliderMinima[kFrequency] + int32_t(i);
        const double miss = std::fabs(reference_entry_hz(c.entry[i], rate, c.n) - tone);
        const double nominal = std::fabs(10.0 * f - tone);
        if (best == 0 || miss < best_miss || (miss == best_miss && nominal < best_nominal)) {
            best = f;
            best_miss = miss;
            best_nominal = nominal;
        }
    }
    if (best == 0) return ReferenceNotch{};
    if (width > 0) return reference_notch(rate, order, best, width);
    // A wider notch changes every entry a narrower one does, so the first width that
    // covers the tone is found by halving.
    const double reach = guard_bins * rate / double(c.n);
    const auto covers = [&](const ReferenceNotch& r) {
        return r.low_hz <= std::max(tone - reach, 0.0) && r.high_hz >= tone + reach;
    };
    int32_t lo = kSliderMinima[kWidth], hi = kSliderMaxima[kWidth];
    if (!covers(reference_notch(rate, order, best, hi))) return reference_notch(rate, order, best, hi);
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (covers(reference_notch(rate, order, best, mid))) hi = mid;
        else lo = mid + 1;
    }
    return reference_notch(rate, order, best, lo);
}
