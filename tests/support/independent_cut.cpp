#include "independent_cut.h"

#include <algorithm>
#include <cmath>

#include "tool/session/plugin_session.h"

double independent_cut_db(FilterTable& table, const Audio& with, const Audio& without, const Settings& settings,
                          const Placement& placement)
{
    const Audio out_with = run_plugin(table, with, settings, placement, false);
    const Audio out_without = run_plugin(table, without, settings, placement, false);
    double tone = 0, left = 0;
    for (size_t i = 0; i < with.samples.size(); ++i) {
        const double t = double(with.samples[i]) - without.samples[i];
        const double r = double(out_with.samples[i]) - out_without.samples[i];
        tone += t * t;
        left += r * r;
    }
    return 10 * std::log10(tone / std::max(left, 1.0));
}
