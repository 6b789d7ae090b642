#include "tool/session/whole_cut.h"

#include <algorithm>
#include <cmath>

#include "tool/analysis/tool_error.h"
#include "tool/session/plugin_session.h"
#include "tool/session/switching.h"

namespace {

// The copy sounds at -6 dBFS, where the 16-bit samples carry what the notch leaves of it
// some 90 dB down.
constexpr double kCopyAmplitude = 16384;

// The copy over frames [from, to) of the window, as Audio whose first_frame is the file's.
Audio copy_over(const Audio& window, const ToneCopy& copy, int64_t from, int64_t to)
{
    Audio a;
    a.rate = window.rate;
    a.channels = window.channels;
    a.first_frame = window.first_frame + from;
    a.samples.assign(size_t((to - from) * a.channels), 0);
    for (int64_t s = 0; s < to - from; ++s) {
        const double at = double(from + s);
        const double g = (copy.from_start ? (at >= double(copy.first) ? 1.0 : 0.0)
                                          : switch_gate(at - double(copy.first), copy.switch_frames)) *
                         (copy.to_end ? (at < double(copy.end) ? 1.0 : 0.0)
                                      : switch_gate(double(copy.end) - at, copy.switch_frames));
        if (g == 0) continue;
        const int16_t v = int16_t(std::lrint(kCopyAmplitude * g * std::sin(2 * M_PI * copy.hz * at / a.rate)));
        for (int32_t k = 0; k < a.channels; ++k) a.samples[size_t(s * a.channels + k)] = v;
    }
    return a;
}

}  // namespace

ToneCopy copy_of(const Tone& tone, int64_t first, int64_t end, double switch_frames)
{
    ToneCopy c;
    c.hz = tone.hz;
    c.first = first;
    c.end = end;
    c.switch_frames = switch_frames;
    c.from_start = tone.from_region_start;
    c.to_end = tone.to_region_end;
    return c;
}

double whole_cut_db(FilterTable& table, const Audio& window, int64_t file_frames,
                    const std::vector<PassSettings>& passes, const ToneCopy& copy, int64_t counted_end)
{
    int64_t from = std::max<int64_t>(0, copy.first), reads_until = 0;
    for (const PassSettings& p : passes) {
        const NotchGeometry g = notch_geometry(p.settings, window.rate);
        from = std::min(from, stretch_first_frame(window.rate, file_frames, p.placement) - window.first_frame);
        reads_until = std::max(reads_until, plugin_reads_until(window.rate, file_frames, p.placement, g.length) -
                                                window.first_frame);
    }
    if (passes.empty() || from < 0 || reads_until > window.frames()) throw ToolError(ErrorCode::kCheckReadShort, {});
    // The copy's ramp reaches half its length past its end.
    const int64_t sounds_until = copy.end + int64_t(std::ceil(copy.switch_frames / 2)) + 1;
    // Frames at or past counted_end count neither way: rendering them would change nothing.
    const int64_t to = std::max(reads_until, std::min({window.frames(), sounds_until, counted_end}));
    const Audio in = copy_over(window, copy, from, to);
    Audio out = in;
    for (const PassSettings& p : passes)
        run_plugin_window(table, &out, file_frames, notch_geometry(p.settings, window.rate).length, p.settings,
                          p.placement, false, nullptr);

    const int64_t count_from = copy.from_start ? std::max(copy.first, from) : from;
    const int64_t count_to = std::min(counted_end, copy.to_end ? std::min(copy.end, to) : to);
    double tone = 0, left = 0;
    for (int64_t at = count_from; at < count_to; ++at)
        for (int32_t k = 0; k < in.channels; ++k) {
            const size_t i = size_t((at - from) * in.channels + k);
            tone += double(in.samples[i]) * in.samples[i];
            left += double(out.samples[i]) * out.samples[i];
        }
    const int64_t uncut_from = std::max(copy.first, to), uncut_to = std::min(copy.end, counted_end);
    if (uncut_to > uncut_from) {
        // At its own level, as the copy holds it: half its amplitude squared a channel.
        const double uncut = double(uncut_to - uncut_from) * in.channels * kCopyAmplitude * kCopyAmplitude / 2;
        tone += uncut;
        left += uncut;
    }
    return tone > 0 ? 10 * std::log10(tone / std::max(left, 1.0)) : 0;
}
