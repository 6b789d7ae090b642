#include "tool/session/guide_example.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tool/analysis/common_tones.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/tool_error.h"

namespace {

// A beep switches on and off within a few milliseconds; switched faster, it spreads
// past any notch narrow enough to spare the sound around it.
constexpr double kEdgeSeconds = 0.01;

// xorshift64*: a white noise source whose samples do not depend on the C++ library.
struct Noise {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    double next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return double((state * 0x2545F4914F6CDD1Dull) >> 11) / double(1ull << 53) * 2 - 1;
    }
};

double gate(double t, double on, double off)
{
    if (t < on || t >= off) return 0;
    const double in = std::min(t - on, off - t);
    return in < kEdgeSeconds ? 0.5 - 0.5 * std::cos(M_PI * in / kEdgeSeconds) : 1.0;
}

// The beep's cut over its whole extent.
double cut_with(FilterTable& table, const GuideClip& clip, const Audio& with, const Audio& without,
                const Settings& settings, const Placement& placement)
{
    const Audio out_with = run_plugin(table, with, settings, placement, false);
    const Audio out_without = run_plugin(table, without, settings, placement, false);
    return tone_cut_db(with, without, out_with, out_without, std::lround(clip.tone_on * clip.rate),
                       std::lround(clip.tone_off * clip.rate));
}

} // namespace

Audio synthesise_guide_clip(const GuideClip& clip, bool with_tone)
{
    const int64_t frames = std::llround(clip.seconds * clip.rate);
    // Pink noise: white noise through a sum of one-pole filters spread over the audible
    // band, which falls close to 3 dB an octave; then scaled to the clip's level.
    std::vector<double> pink(static_cast<size_t>(frames));
    Noise noise;
    double b[7] = {};
    double power = 0;
    for (int64_t t = 0; t < frames; ++t) {
        const double w = noise.next();
        b[0] = 0.99886 * b[0] + w * 0.0555179;
        b[1] = 0.99332 * b[1] + w * 0.0750759;
        b[2] = 0.96900 * b[2] + w * 0.1538520;
        b[3] = 0.86650 * b[3] + w * 0.3104856;
        b[4] = 0.55000 * b[4] + w * 0.5329522;
        b[5] = -0.7616 * b[5] - w * 0.0168980;
        pink[size_t(t)] = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
        b[6] = w * 0.115926;
        power += pink[size_t(t)] * pink[size_t(t)];
    }
    const double scale = frames > 0 && power > 0 ? clip.noise_rms / std::sqrt(power / double(frames)) : 0;
    Audio a;
    a.rate = clip.rate;
    a.channels = 1;
    a.samples.resize(size_t(frames));
    for (int64_t t = 0; t < frames; ++t) {
        const double s = double(t) / clip.rate;
        double v = scale * pink[size_t(t)];
        if (with_tone)
            v += clip.tone_amplitude * gate(s, clip.tone_on, clip.tone_off) * std::sin(2 * M_PI * clip.tone_hz * s);
        a.samples[size_t(t)] = int16_t(std::lrint(std::max(-1.0, std::min(1.0, v)) * 32767.0));
    }
    return a;
}

GuideExample run_guide_example(FilterTable& table)
{
    GuideExample e;
    const GuideClip& clip = e.clip;
    const Audio with = synthesise_guide_clip(clip, true);
    const Audio without = synthesise_guide_clip(clip, false);
    const Detection d = detect_tones(with, 0, with.frames());
    if (d.tones.empty() || std::fabs(d.tones.front().hz - clip.tone_hz) > 2 * d.resolution_hz)
        throw ToolError(ErrorCode::kGuideBeepMissing, {});
    e.fit = fit_settings(table, with, with.frames(), d.tones.front(), clip.fps_num, clip.fps_den);
    e.tone_frame = int32_t(std::floor(clip.tone_on * clip.fps_num / clip.fps_den));

    e.cut_db = cut_with(table, clip, with, without, e.fit.settings, e.fit.placement);
    Placement on_tone = e.fit.placement;
    on_tone.start_frame = e.tone_frame;
    e.cut_on_tone_db = cut_with(table, clip, with, without, e.fit.settings, on_tone);
    Settings windowed = e.fit.settings;
    windowed.use_window = 1;
    e.cut_window_db = cut_with(table, clip, with, without, windowed, e.fit.placement);
    Settings table_width = e.fit.settings;
    e.table_width = tone_cell(clip.tone_hz, e.fit.settings, slider_ranges(table), clip.rate,
                              e.fit.settings.slider[kFftOrder], 0)
                        .settings.slider[kWidth];
    table_width.slider[kWidth] = e.table_width;
    e.cut_table_width_db = cut_with(table, clip, with, without, table_width, e.fit.placement);
    return e;
}
