#include "tool/session/cut_check.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tool/analysis/measure.h"
#include "tool/analysis/spectrum.h"
#include "tool/analysis/tool_error.h"

namespace {

// The tone alone is rendered at -6 dBFS, where the 16-bit samples carry what the notch
// leaves of it some 90 dB down.
constexpr double kAloneAmplitude = 16384;

// The source and the plug-in's result over the same frames, [first, first + frames) of
// the audio the check was handed.
struct Rendered {
    Audio in, out;
    int64_t first = 0;

    double amplitude(const Audio& a, double hz, int64_t from, int64_t count) const
    {
        const int64_t lo = std::max<int64_t>(from, first);
        const int64_t hi = std::min<int64_t>(from + count, first + a.frames());
        if (hi - lo < 2) return 0;
        return tone_amplitude(a.samples.data(), a.channels, a.rate, hz, lo - first, hi - lo);
    }
};

Rendered render_checked(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& fit,
                        int64_t look_end)
{
    Rendered r;
    r.first = std::min(fit.stretch_first, std::max<int64_t>(0, tone.first));
    const int64_t reads_until =
        plugin_reads_until(audio.rate, file_frames, fit.placement, fit.notch.length) - audio.first_frame;
    if (r.first < 0 || reads_until > audio.frames())
        throw ToolError(ErrorCode::kCheckReadShort, {});
    const int64_t end = std::max(look_end, reads_until);
    r.in.rate = audio.rate;
    r.in.channels = audio.channels;
    r.in.first_frame = audio.first_frame + r.first;
    r.in.samples.assign(audio.samples.begin() + r.first * audio.channels, audio.samples.begin() + end * audio.channels);
    r.out = r.in;
    run_plugin_window(table, &r.out, file_frames, fit.notch.length, fit.settings, fit.placement, false, nullptr);
    return r;
}

// Where the tone sounds in the result at its own level (within 6 dB: half to twice its
// own amplitude, as the detector bounds a tone's extent where it crosses half), read
// through the detector's own block once a video frame. Louder readings are other sound
// over its bin; gaps up to kLeftBridgeSeconds are bridged. The first stretch that lasts
// kLeftShortest and whose median reading lies within kLeftHoldDb of the tone's own level
// is taken: speech or music passing through the bin reads at any level in between.
void find_left(const Rendered& r, const Tone& tone, const Fit& fit, int64_t file_end, CutCheck* c)
{
    const int32_t rate = r.in.rate;
    const int64_t block = analysis_length(rate);
    const int64_t hop = std::max<int64_t>(1, std::llround(double(rate) * fit.placement.video_rate_den /
                                                          fit.placement.video_rate_num));
    const double own = std::pow(10.0, tone.level_dbfs / 20);
    const int64_t bridge = std::llround(kLeftBridgeSeconds * rate), shortest = std::llround(kLeftShortest * rate);
    int64_t run_first = -1, run_last = -1;
    std::vector<double> readings;
    const auto holds = [&] {
        if (run_first < 0 || run_last - run_first + hop < shortest) return false;
        std::nth_element(readings.begin(), readings.begin() + readings.size() / 2, readings.end());
        return std::fabs(20 * std::log10(readings[readings.size() / 2] / own)) <= kLeftHoldDb;
    };
    bool found = false;
    for (int64_t at = c->look_first; at < c->look_end && !found; at += hop) {
        const double a = r.amplitude(r.out, tone.hz, at - block / 2, block);
        if (a < own / 2 || a > 2 * own) continue;
        if (run_first >= 0 && at - run_last > bridge) {
            found = holds();
            if (found) break;
            run_first = -1;
            readings.clear();
        }
        if (run_first < 0) run_first = at;
        run_last = at;
        readings.push_back(a);
    }
    if (!found && !holds()) return;
    c->goes_on = true;
    c->left_first = run_first;
    c->left_end = std::min(c->look_end, run_last + hop);
    // Sounding where the looking stopped tells nothing more when that is where the tone
    // was detected to end, or where the file ends.
    c->left_to_look_end = run_last + hop >= c->look_end && c->look_end < file_end &&
                          (c->look_end != tone.end || tone.to_region_end);
}

// How long the tone takes to switch on at `at` (off, with `rising` false), in frames:
// read from its amplitude through a short probe (about 10 ms, so that its bin is wide
// enough to follow a ramp) stepped across the edge, where it rises from a quarter of
// its own to three quarters (nearer its middle than its foot, where the program's
// sound in the probe's wide bin blurs it). A step read through a Hann window rises so
// over 0.264 of the window, and a raised-cosine ramp of r frames over r / 3; the two add
// as variances. What the notch leaves of a switched tone is its switching, and a
// steeper ramp spreads further.
double switching_frames(const Audio& a, const Tone& tone, int64_t at, bool rising)
{
    int64_t n = 64;
    while (n < a.rate / 100) n *= 2;
    const double own = std::pow(10.0, tone.level_dbfs / 20);
    const int64_t step = std::max<int64_t>(1, n / 16);
    double low = NAN, high = NAN;
    // Walked from outside the tone inwards, in the direction it rises.
    for (int64_t into = -2 * n; into <= 2 * n; into += step) {
        const int64_t centre = rising ? at + into : at - into;
        const int64_t from = centre - n / 2;
        if (from < 0 || from + n > a.frames()) continue;
        const double amp = tone_amplitude(a.samples.data(), a.channels, a.rate, tone.hz, from, n);
        const double t = double(into);
        if (amp >= own / 4 && std::isnan(low)) low = t;
        if (amp >= 0.75 * own && std::isnan(high)) high = t;
        if (amp < own / 4) low = high = NAN;
    }
    if (std::isnan(low) || std::isnan(high)) return 0;
    const double rise = std::fabs(high - low), window = 0.264 * double(n);
    return 3 * std::sqrt(std::max(0.0, rise * rise - window * window));
}

// The tone alone over [first, end) of the rendered frames, switched on and off as the
// source's was, at a level that the 16-bit samples carry finely: the plug-in's notch is
// linear, so what it leaves of this copy is what it left of the tone, whatever sounded
// with it (its switching, spread past the notch; the stretch's edges; what no stretch
// covers).
Rendered tone_alone(FilterTable& table, const Rendered& source, int64_t file_frames, const Tone& tone, const Fit& fit,
                    int64_t first, int64_t end)
{
    const int64_t min_ramp = std::max<int64_t>(1, source.in.rate / 1000);
    // A beep is switched alike at both ends; the steeper reading is the one that the
    // program's sound over an edge did not blur. An edge read as steeper than the probe
    // can tell (0) says nothing when the other tells.
    const double on = switching_frames(source.in, tone, first - source.first, true);
    const double off = switching_frames(source.in, tone, end - source.first, false);
    const double ramp = std::max<double>(min_ramp, on > 0 && off > 0 ? std::min(on, off) : std::max(on, off));
    Rendered r;
    r.first = source.first;
    r.in = source.in;
    std::fill(r.in.samples.begin(), r.in.samples.end(), int16_t(0));
    const int32_t channels = r.in.channels;
    const auto gate = [](double into, double ramp) {
        return into >= ramp / 2 ? 1.0 : into <= -ramp / 2 ? 0.0 : 0.5 - 0.5 * std::cos(M_PI * (into + ramp / 2) / ramp);
    };
    const bool from_start = tone.from_region_start, to_end = tone.to_region_end;
    for (int64_t s = 0; s < r.in.frames(); ++s) {
        const double at = double(r.first + s);
        const double g = (from_start ? (at >= first ? 1.0 : 0.0) : gate(at - double(first), ramp)) *
                         (to_end ? (at < end ? 1.0 : 0.0) : gate(double(end) - at, ramp));
        if (g == 0) continue;
        const int16_t v = int16_t(std::lrint(kAloneAmplitude * g * std::sin(2 * M_PI * tone.hz * at / r.in.rate)));
        for (int32_t k = 0; k < channels; ++k) r.in.samples[size_t(s * channels + k)] = v;
    }
    r.out = r.in;
    run_plugin_window(table, &r.out, file_frames, fit.notch.length, fit.settings, fit.placement, false, nullptr);
    return r;
}

// The tone's power over what the plug-in left of it, over [first, end): the rendering
// of the tone alone, sample by sample, so that everything it leaves counts, not only
// what a probe at its frequency reads. Past the audio rendered the plug-in changed
// nothing: the tone counts there uncut.
double whole_cut_db(const Rendered& alone, int64_t first, int64_t end)
{
    const int64_t held_end = alone.first + alone.in.frames();
    double in = 0, left = 0;
    for (int64_t at = std::max(first, alone.first); at < std::min(end, held_end); ++at)
        for (int32_t k = 0; k < alone.in.channels; ++k) {
            const size_t i = size_t((at - alone.first) * alone.in.channels + k);
            in += double(alone.in.samples[i]) * alone.in.samples[i];
            left += double(alone.out.samples[i]) * alone.out.samples[i];
        }
    if (end > held_end) {
        // At its own level, as the copy holds it: half its amplitude squared a channel.
        const double uncut = double(end - std::max(first, held_end)) * alone.in.channels * kAloneAmplitude * kAloneAmplitude / 2;
        in += uncut;
        left += uncut;
    }
    return in > 0 ? 10 * std::log10(in / std::max(left, 1.0)) : 0;
}

} // namespace

CutCheck check_cut(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& fit)
{
    CutCheck c;
    const int64_t stretch_end = fit.stretch_first + fit.notch.length;
    c.look_first = fit.stretch_first;
    c.look_end = std::min<int64_t>(audio.frames(),
                                   std::max<int64_t>(stretch_end + std::llround(kCheckPastSeconds * audio.rate), tone.end));
    const Rendered r = render_checked(table, audio, file_frames, tone, fit, c.look_end);
    find_left(r, tone, fit, file_frames - audio.first_frame, &c);
    c.extent_first = tone.first;
    c.extent_end = tone.end;
    if (c.goes_on) {
        c.extent_first = std::min(c.extent_first, c.left_first);
        c.extent_end = std::max(c.extent_end, c.left_end);
    }
    c.cut_db = whole_cut_db(tone_alone(table, r, file_frames, tone, fit, c.extent_first, c.extent_end),
                            c.extent_first, c.extent_end);
    c.weak = c.cut_db < kWeakCutDb;
    if (c.goes_on) {
        Tone rest = tone;
        rest.first = c.left_first;
        // Still sounding where the looking stopped, it is taken to go on as far as the
        // audio reaches, so that the next selection is as long as one can be.
        rest.end = c.left_to_look_end ? audio.frames() : c.left_end;
        rest.from_region_start = false;
        rest.to_region_end = c.left_to_look_end;
        rest.harmonics.clear();
        try {
            c.next = fit_settings(table, audio, file_frames, rest, fit.placement.video_rate_num,
                                  fit.placement.video_rate_den);
            c.has_next = true;
        } catch (const ToolError&) {
            // No selection fits what remains (it lies too near the file's end): where it
            // sounds is still reported.
        }
    }
    return c;
}

CutCheck check_in_file(CutCheck c, int64_t offset)
{
    for (int64_t* f : {&c.look_first, &c.look_end, &c.left_first, &c.left_end, &c.extent_first, &c.extent_end,
                       &c.next.stretch_first, &c.next.cut_end})
        *f += offset;
    return c;
}

FrameRange check_reach(FilterTable& table, int32_t rate, int64_t file_frames, const Placement& region,
                       int64_t region_end)
{
    // The result is looked at up to kCheckPastSeconds past the longest stretch and half
    // a block more; the next selection is fitted to a tone starting as late as that.
    const FrameRange first = fit_reach(table, rate, file_frames, region, region_end);
    return fit_reach(table, rate, file_frames, region,
                     first.end + std::llround(kCheckPastSeconds * rate) + analysis_length(rate));
}
